#pragma once
// BMP files made in memory for tests, fuzz seeds and benchmarks. One plain record says what to
// write (size, bits per pixel, row order, header size, masks, colour table, or raw pixel data for
// RLE streams and cut-off data); encodeBmp turns it into the file's bytes; writeFileBytes saves them.
//
// Pixels are given as the file stores them, top row first, so a test states the stored value and,
// separately, the colour it expects back:
//   1, 4, 8 bits: the colour-table index     16 bits: the 16-bit word (5-5-5: 0x7C00 is red)
//   24 bits: 0xRRGGBB (stored B, G, R)       32 bits: the 32-bit word (0xAARRGGBB by default)
//
// The simplest use, a 24-bit picture:
//   BmpFixture face = picture24(512, 512, [](int32_t x, int32_t y) { return uint32_t(x ^ y) * 0x010101u; });
//   writeFileBytes("skyup.bmp", encodeBmp(face));
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BmpFixture {
    int32_t width = 0;
    int32_t height = 0;                // positive; topDown writes it negated
    std::vector<uint32_t> pixels;      // width x height stored values, top row first
    int32_t bitsPerPixel = 24;
    bool topDown = false;              // rows stored top row first, header height negative
    int32_t headerBytes = 40;          // 12 = core header (16-bit sizes, 3-byte table entries)
    uint32_t compression = 0;          // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with alpha
    std::vector<uint32_t> masks;       // red, green, blue[, alpha]: inside a header of 52 or more
                                       // bytes (as many as fit), else right after the header
    std::vector<uint32_t> colourTable; // 0xRRGGBB entries
    int64_t coloursUsed = -1;          // the header's colour count; -1 writes the table's length
    int32_t planes = 1;
    int64_t dataOffset = -1;           // the header's data offset; -1: right after headers, masks and
                                       // table. Data starts there, or right after the table if that is later
    std::vector<uint8_t> rawData;      // when not empty, the pixel data as is (RLE streams, crafted rows)
};

// A 24-bit fixture whose pixel (x, y), y from the top, is colourAt(x, y) as 0xRRGGBB.
template <typename ColourAt>
BmpFixture picture24(int32_t width, int32_t height, ColourAt colourAt)
{
    BmpFixture fixture;
    fixture.width = width;
    fixture.height = height;
    fixture.pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            fixture.pixels.push_back(colourAt(x, y));
    return fixture;
}

namespace bmpwriter {

inline void put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void put32(std::vector<uint8_t>& out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

inline void set32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// One row in the file's format, padded to 4 bytes.
inline void putRow(std::vector<uint8_t>& out, const BmpFixture& fixture, int32_t y)
{
    const size_t start = out.size();
    const uint32_t* row = fixture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(fixture.width);
    const int32_t bits = fixture.bitsPerPixel;
    if (bits < 8) {
        uint32_t accumulator = 0;
        int32_t filled = 0;
        for (int32_t x = 0; x < fixture.width; ++x) {
            accumulator = (accumulator << bits) | (row[x] & ((1u << bits) - 1));
            filled += bits;
            if (filled == 8) {
                out.push_back(static_cast<uint8_t>(accumulator));
                accumulator = 0;
                filled = 0;
            }
        }
        if (filled > 0)
            out.push_back(static_cast<uint8_t>(accumulator << (8 - filled)));
    } else {
        for (int32_t x = 0; x < fixture.width; ++x)
            for (int32_t byte = 0; byte < bits / 8; ++byte)
                out.push_back(static_cast<uint8_t>(row[x] >> (8 * byte)));
    }
    while ((out.size() - start) % 4 != 0)
        out.push_back(0);
}

}  // namespace bmpwriter

// The whole file. Asserts on a record it cannot write (pixels missing, a core header with a size
// past 16 bits or top-down rows).
inline std::vector<uint8_t> encodeBmp(const BmpFixture& fixture)
{
    using namespace bmpwriter;
    const bool core = fixture.headerBytes == 12;
    assert(fixture.headerBytes >= 12);
    assert(!core || (fixture.width <= 0xFFFF && fixture.height <= 0xFFFF && !fixture.topDown));
    assert(!fixture.rawData.empty() ||
           fixture.pixels.size() == static_cast<size_t>(fixture.width) * static_cast<size_t>(fixture.height));

    std::vector<uint8_t> out = {'B', 'M'};
    put32(out, 0);  // file size, set at the end
    put32(out, 0);  // reserved
    put32(out, 0);  // pixel data offset, set below

    // Info header: every field a header of this size holds, in order, cut at headerBytes.
    std::vector<uint8_t> header;
    put32(header, static_cast<uint32_t>(fixture.headerBytes));
    if (core) {
        put16(header, static_cast<uint32_t>(fixture.width));
        put16(header, static_cast<uint32_t>(fixture.height));
    } else {
        put32(header, static_cast<uint32_t>(fixture.width));
        put32(header, static_cast<uint32_t>(fixture.topDown ? -fixture.height : fixture.height));
    }
    put16(header, static_cast<uint32_t>(fixture.planes));
    put16(header, static_cast<uint32_t>(fixture.bitsPerPixel));
    put32(header, fixture.compression);
    put32(header, 0);     // image size, set below
    put32(header, 2835);  // 72 dots per inch, both ways
    put32(header, 2835);
    put32(header, static_cast<uint32_t>(fixture.coloursUsed >= 0 ? fixture.coloursUsed
                                                                 : static_cast<int64_t>(fixture.colourTable.size())));
    put32(header, 0);  // important colours
    const size_t masksInside = fixture.headerBytes >= 52 ? (fixture.headerBytes >= 56 ? 4u : 3u) : 0u;
    for (size_t i = 0; i < 4; ++i)
        put32(header, i < fixture.masks.size() ? fixture.masks[i] : 0);
    put32(header, fixture.headerBytes >= 108 ? 0x73524742u : 0u);  // colour space "sRGB"
    header.resize(static_cast<size_t>(fixture.headerBytes), 0);
    out.insert(out.end(), header.begin(), header.end());

    if (masksInside == 0)
        for (const uint32_t mask : fixture.masks)
            put32(out, mask);

    for (const uint32_t colour : fixture.colourTable) {
        out.push_back(static_cast<uint8_t>(colour));
        out.push_back(static_cast<uint8_t>(colour >> 8));
        out.push_back(static_cast<uint8_t>(colour >> 16));
        if (!core)
            out.push_back(0);
    }

    if (fixture.dataOffset > static_cast<int64_t>(out.size()))
        out.resize(static_cast<size_t>(fixture.dataOffset), 0);
    const size_t dataStart = out.size();
    if (!fixture.rawData.empty()) {
        out.insert(out.end(), fixture.rawData.begin(), fixture.rawData.end());
    } else {
        for (int32_t row = 0; row < fixture.height; ++row)
            putRow(out, fixture, fixture.topDown ? row : fixture.height - 1 - row);
    }

    set32(out, 2, static_cast<uint32_t>(out.size()));
    set32(out, 10, static_cast<uint32_t>(fixture.dataOffset >= 0 ? fixture.dataOffset : static_cast<int64_t>(dataStart)));
    if (!core && fixture.headerBytes >= 24)
        set32(out, 14 + 20, static_cast<uint32_t>(out.size() - dataStart));
    return out;
}

// Writes bytes to path, replacing the file. True on success.
inline bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
