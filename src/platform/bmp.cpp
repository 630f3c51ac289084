#include "platform/bmp.h"

#include "platform/image.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A face is 768 KiB; a file this large is no face, and refusing it keeps a mistaken path (a disk
// image, a device) from filling memory.
constexpr int64_t MAX_FILE_BYTES = int64_t{256} << 20;
constexpr int64_t FILE_HEADER_BYTES = 14;
constexpr int64_t CORE_HEADER_BYTES = 12;
constexpr int64_t MIN_INFO_HEADER_BYTES = 16;
constexpr int64_t PLAIN_INFO_HEADER_BYTES = 40;
constexpr int64_t OS2_INFO_HEADER_BYTES = 64;  // same size, different fields after byte 40: no masks

constexpr uint32_t COMPRESSION_NONE = 0;
constexpr uint32_t COMPRESSION_RLE8 = 1;
constexpr uint32_t COMPRESSION_RLE4 = 2;
constexpr uint32_t COMPRESSION_BIT_FIELDS = 3;
constexpr uint32_t COMPRESSION_ALPHA_BIT_FIELDS = 6;

// Pixels converted per step when the image is not 4 bytes per pixel; a multiple of 8 keeps every
// step's first pixel on a byte boundary at 1 and 4 bits per pixel.
constexpr int32_t CHUNK_PIXELS = 256;
constexpr uint32_t OPAQUE = 0xFF000000;

// Reads little-endian values from the file in memory. Every read is preceded by has(); a read
// without room is a bug in this file, caught in debug builds.
struct ByteReader {
    const uint8_t* bytes;
    int64_t size;
    int64_t position;
};

bool has(const ByteReader& reader, int64_t count)
{
    return count >= 0 && count <= reader.size - reader.position;
}

uint8_t read8(ByteReader& reader)
{
    assert(has(reader, 1));
    return reader.bytes[reader.position++];
}

uint16_t read16(ByteReader& reader)
{
    assert(has(reader, 2));
    const uint8_t* at = reader.bytes + reader.position;
    reader.position += 2;
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t read32(ByteReader& reader)
{
    assert(has(reader, 4));
    const uint8_t* at = reader.bytes + reader.position;
    reader.position += 4;
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

void skip(ByteReader& reader, int64_t count)
{
    assert(has(reader, count));
    reader.position += count;
}

// Fields past the end of a short info header read as 0, which makes them "uncompressed",
// "no colour count" and "no masks".
uint32_t read32OrZero(ByteReader& reader)
{
    return has(reader, 4) ? read32(reader) : 0;
}

// One colour channel of a 16- or 32-bit pixel: (pixel AND mask) shifted down, its low bits
// dropped past 8, then widened to 8 bits through the table.
struct Channel {
    uint32_t mask;
    int32_t shift;
    int32_t drop;
    uint8_t widened[256];
};

// Everything the headers said, checked; the pixel stage needs nothing else.
struct BmpHeader {
    int64_t dataOffset;
    int64_t headerBytes;
    int64_t width;
    int64_t height;  // positive; topDown tells the row order
    bool topDown;
    int32_t bitsPerPixel;
    uint32_t compression;
    uint32_t coloursUsed;
    uint32_t masks[3];  // red, green, blue; the alpha mask is never used (loaded pixels are opaque)
    int64_t tableStart;
    int32_t tableEntryBytes;
};

struct Decoder {
    BmpHeader header;
    uint32_t palette[256];  // opaque 0xRRGGBB; entries the file does not have stay black
    Channel channels[3];
};

// Where the picture goes: the image's rows, and the part of the picture that lands on them.
struct Target {
    uint8_t* pixels;
    int64_t pitch;
    int32_t bytesPerPixel;
    int32_t copyWidth;
    int32_t copyHeight;
};

// unsupportedForm texts that carry a number are formatted here; BmpDetails says how long they last.
thread_local char formText[64];

const char* describe(const char* format, int64_t value)
{
    std::snprintf(formText, sizeof formText, format, static_cast<long long>(value));
    return formText;
}

BmpResult unsupported(BmpDetails* details, const char* form)
{
    if (details != nullptr)
        details->unsupportedForm = form;
    return BMP_UNSUPPORTED;
}

// Repeats an n-bit value's bits from the top down until 8 bits are filled, so that 0 stays 0 and
// the largest value becomes 255: 5 bits v -> v * 8 + v / 4, 6 bits v -> v * 4 + v / 16. Wider
// values keep their top 8 bits; a channel without bits is 0.
uint8_t widenChannel(uint32_t value, int32_t bits)
{
    if (bits <= 0)
        return 0;
    if (bits >= 8)
        return static_cast<uint8_t>(value >> (bits - 8));
    uint32_t result = 0;
    for (int32_t filled = 0; filled < 8; filled += bits) {
        const int32_t shift = 8 - bits - filled;
        result |= shift >= 0 ? value << shift : value >> -shift;
    }
    return static_cast<uint8_t>(result);
}

// ---- Header stages: each reads, checks and returns a result; none writes a pixel.

BmpResult readFileHeader(ByteReader& reader, BmpHeader& header)
{
    if (!has(reader, FILE_HEADER_BYTES))
        return BMP_NOT_BMP;
    const uint8_t first = read8(reader);
    const uint8_t second = read8(reader);
    if (first != 'B' || second != 'M')
        return BMP_NOT_BMP;
    skip(reader, 8);  // file size and reserved words: often wrong in the wild, never needed
    header.dataOffset = read32(reader);
    return BMP_OK;
}

const char* compressionText(uint32_t compression)
{
    switch (compression) {
    case 4: return "compression 4 (JPEG)";
    case 5: return "compression 5 (PNG)";
    default: return describe("compression %lld", compression);
    }
}

BmpResult readInfoHeader(ByteReader& reader, BmpHeader& header, BmpDetails* details)
{
    if (!has(reader, 4))
        return BMP_NOT_BMP;
    header.headerBytes = read32(reader);
    if (header.headerBytes != CORE_HEADER_BYTES && header.headerBytes < MIN_INFO_HEADER_BYTES)
        return unsupported(details, describe("info header of %lld bytes", header.headerBytes));
    // The size word is already read; the rest of the header must be in the file.
    if (!has(reader, header.headerBytes - 4))
        return BMP_NOT_BMP;
    ByteReader fields{reader.bytes, reader.position + header.headerBytes - 4, reader.position};
    skip(reader, header.headerBytes - 4);

    int64_t signedHeight = 0;
    uint32_t planes = 0;
    if (header.headerBytes == CORE_HEADER_BYTES) {
        // The core header's sizes are unsigned 16-bit: no top-down rows.
        header.width = read16(fields);
        signedHeight = read16(fields);
        planes = read16(fields);
        header.bitsPerPixel = read16(fields);
        header.tableEntryBytes = 3;
    } else {
        header.width = static_cast<int32_t>(read32(fields));
        signedHeight = static_cast<int32_t>(read32(fields));
        planes = read16(fields);
        header.bitsPerPixel = read16(fields);
        header.compression = read32OrZero(fields);
        read32OrZero(fields);  // image size: recomputed from width and depth
        read32OrZero(fields);  // resolution
        read32OrZero(fields);
        header.coloursUsed = read32OrZero(fields);
        read32OrZero(fields);  // important colours
        if (header.headerBytes != OS2_INFO_HEADER_BYTES)
            for (uint32_t& mask : header.masks)
                mask = read32OrZero(fields);
        header.tableEntryBytes = 4;
    }
    if (details != nullptr) {
        details->width = static_cast<int32_t>(header.width);
        details->height = static_cast<int32_t>(signedHeight);
        details->bitsPerPixel = header.bitsPerPixel;
    }
    // Negated in 64 bits: -(-2^31) does not fit in 32.
    header.topDown = signedHeight < 0;
    header.height = header.topDown ? -signedHeight : signedHeight;

    if (planes > 1)
        return unsupported(details, describe("%lld planes", planes));
    if (header.width <= 0)
        return unsupported(details, describe("width %lld", header.width));
    if (header.height == 0)
        return unsupported(details, "height 0");

    const int32_t bits = header.bitsPerPixel;
    switch (header.compression) {
    case COMPRESSION_NONE:
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return unsupported(details, describe("bits per pixel %lld", bits));
        break;
    case COMPRESSION_RLE8:
    case COMPRESSION_RLE4:
        if (bits != (header.compression == COMPRESSION_RLE8 ? 8 : 4))
            return unsupported(details, describe(header.compression == COMPRESSION_RLE8 ? "RLE8 with %lld bits per pixel"
                                                                                      : "RLE4 with %lld bits per pixel",
                                                 bits));
        // Run-length data is laid out bottom-up; a top-down file of it has no agreed meaning.
        if (header.topDown)
            return unsupported(details, "run-length compression with top-down rows");
        break;
    case COMPRESSION_BIT_FIELDS:
    case COMPRESSION_ALPHA_BIT_FIELDS:
        if (bits != 16 && bits != 32)
            return unsupported(details, describe("bit fields with %lld bits per pixel", bits));
        // Masks follow a 40-byte header or sit inside one of 52 bytes or more. In a smaller
        // header, or the 64-byte one, the same number means Huffman coding.
        if (header.headerBytes != PLAIN_INFO_HEADER_BYTES &&
            (header.headerBytes < 52 || header.headerBytes == OS2_INFO_HEADER_BYTES))
            return unsupported(details, describe("bit fields with an info header of %lld bytes", header.headerBytes));
        break;
    default:
        return unsupported(details, compressionText(header.compression));
    }
    return BMP_OK;
}

const char* maskText(int32_t channel, const char* problem)
{
    static const char* const names[3] = {"red", "green", "blue"};
    std::snprintf(formText, sizeof formText, "%s mask %s", names[channel], problem);
    return formText;
}

BmpResult readMasks(ByteReader& reader, Decoder& decoder, BmpDetails* details)
{
    BmpHeader& header = decoder.header;
    const bool bitFields =
        header.compression == COMPRESSION_BIT_FIELDS || header.compression == COMPRESSION_ALPHA_BIT_FIELDS;
    if (bitFields && header.headerBytes == PLAIN_INFO_HEADER_BYTES) {
        const int64_t maskBytes = header.compression == COMPRESSION_ALPHA_BIT_FIELDS ? 16 : 12;
        if (!has(reader, maskBytes))
            return BMP_NOT_BMP;
        for (uint32_t& mask : header.masks)
            mask = read32(reader);
        skip(reader, maskBytes - 12);
    } else if (!bitFields) {
        // Without bit fields any masks in the header are ignored: 16 bits mean 5-5-5, 32 bits 8-8-8.
        if (header.bitsPerPixel == 16) {
            header.masks[0] = 0x7C00;
            header.masks[1] = 0x03E0;
            header.masks[2] = 0x001F;
        } else {
            header.masks[0] = 0xFF0000;
            header.masks[1] = 0x00FF00;
            header.masks[2] = 0x0000FF;
        }
    }
    header.tableStart = reader.position;
    // Palettised and 24-bit pixels never go through the masks.
    if (header.bitsPerPixel != 16 && header.bitsPerPixel != 32)
        return BMP_OK;
    for (int32_t i = 0; i < 3; ++i) {
        const uint32_t mask = header.masks[i];
        Channel& channel = decoder.channels[i];
        channel.mask = mask;
        channel.shift = mask == 0 ? 0 : std::countr_zero(mask);
        const int32_t bits = std::popcount(mask);
        if (mask != 0 && (mask >> channel.shift) != (uint32_t{0xFFFFFFFF} >> (32 - bits)))
            return unsupported(details, maskText(i, "not one run of bits"));
        if (header.bitsPerPixel < 32 && (mask >> header.bitsPerPixel) != 0)
            return unsupported(details, maskText(i, "wider than the pixel"));
        channel.drop = std::max(bits - 8, 0);
        const int32_t kept = std::min(bits, 8);
        for (uint32_t value = 0; value < 256; ++value)
            channel.widened[value] = widenChannel(value & ((uint32_t{1} << kept) - 1), kept);
    }
    return BMP_OK;
}

// The pixel data may not overlap the headers. An offset past the end of the file is accepted
// here; the pixel stage then finds no rows.
BmpResult checkDataOffset(const BmpHeader& header, BmpDetails* details)
{
    if (header.dataOffset < header.tableStart)
        return unsupported(details, describe("pixel data offset %lld inside the headers", header.dataOffset));
    return BMP_OK;
}

// The table holds min(colours used, 2^bits) entries (0 colours used means 2^bits), of which those
// that lie wholly before the pixel data and inside the file are read. Every other index reads as
// black, so neither a large count nor a table cut short is refused.
void readColourTable(const ByteReader& reader, Decoder& decoder)
{
    const BmpHeader& header = decoder.header;
    for (uint32_t& entry : decoder.palette)
        entry = OPAQUE;
    if (header.bitsPerPixel > 8)
        return;
    const int64_t maximum = int64_t{1} << header.bitsPerPixel;
    const int64_t declared = header.coloursUsed == 0 ? maximum : std::min<int64_t>(header.coloursUsed, maximum);
    const int64_t tableEnd = std::min(header.dataOffset, reader.size);
    const int64_t room = std::max<int64_t>(tableEnd - header.tableStart, 0) / header.tableEntryBytes;
    ByteReader table{reader.bytes, tableEnd, header.tableStart};
    const int64_t entries = std::min(declared, room);
    for (int64_t i = 0; i < entries; ++i) {
        const uint8_t blue = read8(table);
        const uint8_t green = read8(table);
        const uint8_t red = read8(table);
        skip(table, header.tableEntryBytes - 3);
        decoder.palette[i] = OPAQUE | uint32_t{red} << 16 | uint32_t{green} << 8 | blue;
    }
}

// ---- Pixel stage: source pixels to opaque 0xRRGGBB words, then into the image's pixel size.

// Stores 4-byte words at out through memcpy: the image's rows may sit at any address (a short
// form's rows start at byte 4), and the compiler makes one store of it.
inline void store32(uint8_t* out, uint32_t word)
{
    std::memcpy(out, &word, 4);
}

template <int32_t BITS>
inline uint32_t indexAt(const uint8_t* row, int64_t x)
{
    if constexpr (BITS == 8)
        return row[x];
    else if constexpr (BITS == 4)
        return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    else
        return (row[x >> 3] >> (7 - (x & 7))) & 0x01;
}

template <int32_t BITS>
void convertIndexed(const Decoder& decoder, const uint8_t* row, int64_t first, int32_t count, uint8_t* out)
{
    for (int32_t i = 0; i < count; ++i)
        store32(out + 4 * i, decoder.palette[indexAt<BITS>(row, first + i)]);
}

template <int32_t BITS>
void copyIndices(const uint8_t* row, int64_t first, int32_t count, uint8_t* out)
{
    for (int32_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>(indexAt<BITS>(row, first + i));
}

inline uint32_t maskedPixel(const Channel (&channels)[3], uint32_t pixel)
{
    const Channel& red = channels[0];
    const Channel& green = channels[1];
    const Channel& blue = channels[2];
    return OPAQUE | uint32_t{red.widened[((pixel & red.mask) >> red.shift >> red.drop) & 0xFF]} << 16 |
           uint32_t{green.widened[((pixel & green.mask) >> green.shift >> green.drop) & 0xFF]} << 8 |
           blue.widened[((pixel & blue.mask) >> blue.shift >> blue.drop) & 0xFF];
}

void convert16(const Decoder& decoder, const uint8_t* row, int64_t first, int32_t count, uint8_t* out)
{
    const uint8_t* in = row + 2 * first;
    for (int32_t i = 0; i < count; ++i, in += 2)
        store32(out + 4 * i, maskedPixel(decoder.channels, static_cast<uint32_t>(in[0] | in[1] << 8)));
}

void convert32(const Decoder& decoder, const uint8_t* row, int64_t first, int32_t count, uint8_t* out)
{
    const uint8_t* in = row + 4 * first;
    for (int32_t i = 0; i < count; ++i, in += 4) {
        const uint32_t pixel = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                               static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
        store32(out + 4 * i, maskedPixel(decoder.channels, pixel));
    }
}

// The common face format. On a little-endian host four pixels (12 bytes: B G R B | G R B G |
// R B G R) are read as three words and cut apart with shifts: no per-byte loads, no branches.
void convert24(const uint8_t* row, int64_t first, int32_t count, uint8_t* out)
{
    const uint8_t* in = row + 3 * first;
    int32_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 4 <= count; i += 4, in += 12, out += 16) {
            uint32_t words[3];
            std::memcpy(words, in, 12);
            store32(out, OPAQUE | words[0]);
            store32(out + 4, OPAQUE | words[0] >> 24 | words[1] << 8);
            store32(out + 8, OPAQUE | words[1] >> 16 | words[2] << 16);
            store32(out + 12, OPAQUE | words[2] >> 8);
        }
    }
    for (; i < count; ++i, in += 3, out += 4)
        store32(out, OPAQUE | uint32_t{in[2]} << 16 | uint32_t{in[1]} << 8 | in[0]);
}

// count pixels of one row from pixel first on, as opaque words at out.
void convertPixels(const Decoder& decoder, const uint8_t* row, int64_t first, int32_t count, uint8_t* out)
{
    switch (decoder.header.bitsPerPixel) {
    case 1: convertIndexed<1>(decoder, row, first, count, out); break;
    case 4: convertIndexed<4>(decoder, row, first, count, out); break;
    case 8: convertIndexed<8>(decoder, row, first, count, out); break;
    case 16: convert16(decoder, row, first, count, out); break;
    case 24: convert24(row, first, count, out); break;
    default: convert32(decoder, row, first, count, out); break;
    }
}

// 5-6-5 for 2-byte images, 3-3-2 for 1-byte images, each channel's top bits.
uint16_t packTo16(uint32_t colour)
{
    return static_cast<uint16_t>((colour >> 8 & 0xF800) | (colour >> 5 & 0x07E0) | (colour >> 3 & 0x001F));
}

uint8_t packTo8(uint32_t colour)
{
    return static_cast<uint8_t>((colour >> 16 & 0xE0) | (colour >> 11 & 0x1C) | (colour >> 6 & 0x03));
}

void packColours(const uint8_t* colours, int32_t count, uint8_t* out, int32_t bytesPerPixel)
{
    for (int32_t i = 0; i < count; ++i) {
        uint32_t colour;
        std::memcpy(&colour, colours + 4 * i, 4);
        if (bytesPerPixel == 2) {
            const uint16_t packed = packTo16(colour);
            std::memcpy(out + 2 * i, &packed, 2);
        } else {
            out[i] = packTo8(colour);
        }
    }
}

bool palettised(const BmpHeader& header)
{
    return header.bitsPerPixel <= 8;
}

// The first copyWidth pixels of one picture row into one image row.
void convertRow(const Decoder& decoder, const Target& target, const uint8_t* row, uint8_t* out)
{
    if (target.bytesPerPixel == 4) {
        convertPixels(decoder, row, 0, target.copyWidth, out);
        return;
    }
    if (target.bytesPerPixel == 1 && palettised(decoder.header)) {
        switch (decoder.header.bitsPerPixel) {
        case 1: copyIndices<1>(row, 0, target.copyWidth, out); break;
        case 4: copyIndices<4>(row, 0, target.copyWidth, out); break;
        default: copyIndices<8>(row, 0, target.copyWidth, out); break;
        }
        return;
    }
    uint8_t colours[4 * CHUNK_PIXELS];
    for (int32_t first = 0; first < target.copyWidth; first += CHUNK_PIXELS) {
        const int32_t count = std::min(CHUNK_PIXELS, target.copyWidth - first);
        convertPixels(decoder, row, first, count, colours);
        packColours(colours, count, out + int64_t{first} * target.bytesPerPixel, target.bytesPerPixel);
    }
}

// Rows are 4-byte aligned; a row is present when its pixel bytes are, its padding not needed.
BmpResult decodeRows(const Decoder& decoder, const ByteReader& file, const Target& target, BmpDetails* details)
{
    const BmpHeader& header = decoder.header;
    const int64_t rowBits = header.width * header.bitsPerPixel;  // below 2^37
    const int64_t rowStride = (rowBits + 31) / 32 * 4;
    const int64_t rowBytes = (rowBits + 7) / 8;
    const int64_t available = std::max<int64_t>(file.size - header.dataOffset, 0);
    const int64_t rowsPresent = available < rowBytes ? 0 : std::min(header.height, (available - rowBytes) / rowStride + 1);

    for (int32_t y = 0; y < target.copyHeight; ++y) {
        const int64_t stored = header.topDown ? y : header.height - 1 - y;
        if (stored >= rowsPresent)
            continue;
        convertRow(decoder, target, file.bytes + header.dataOffset + stored * rowStride, target.pixels + y * target.pitch);
    }
    if (rowsPresent < header.height) {
        if (details != nullptr)
            details->dataEndsAtRow = header.topDown ? rowsPresent : header.height - 1 - rowsPresent;
        return BMP_DATA_ENDS_EARLY;
    }
    return BMP_OK;
}

// Writes one run of palette indices, clipped, at column x of the row stored at position stored
// (bottom-up). indexOf(i) gives the run's i-th index.
template <typename IndexOf>
void writeRun(const Decoder& decoder, const Target& target, int64_t x, int64_t stored, int64_t count, IndexOf indexOf)
{
    const int64_t y = decoder.header.height - 1 - stored;
    if (y < 0 || y >= target.copyHeight || x >= target.copyWidth)
        return;
    const int64_t end = std::min<int64_t>(x + count, target.copyWidth);
    uint8_t* out = target.pixels + y * target.pitch;
    for (int64_t column = x; column < end; ++column) {
        const uint32_t index = indexOf(column - x);
        if (target.bytesPerPixel == 1) {
            out[column] = static_cast<uint8_t>(index);
        } else if (target.bytesPerPixel == 2) {
            const uint16_t packed = packTo16(decoder.palette[index]);
            std::memcpy(out + 2 * column, &packed, 2);
        } else {
            store32(out + 4 * column, decoder.palette[index]);
        }
    }
}

// RLE8 and RLE4: pairs of (count, index) repeat an index (RLE4: two alternating nibbles); a zero
// count escapes to end of line (0), end of picture (1), a move (2, dx, dy) or an absolute run of
// n indices padded to 16 bits (n >= 3). Pixels no run sets keep the image's fill.
BmpResult decodeRle(const Decoder& decoder, const ByteReader& file, const Target& target, BmpDetails* details)
{
    const BmpHeader& header = decoder.header;
    const bool fourBit = header.compression == COMPRESSION_RLE4;
    ByteReader reader{file.bytes, file.size, std::min(header.dataOffset, file.size)};
    // Each step reads at least two bytes and moves at most 255 pixels or rows: x and the row
    // stay far inside 64 bits for any size of input.
    int64_t x = 0;
    int64_t stored = 0;
    while (stored < header.height) {
        if (!has(reader, 2))
            break;
        const uint8_t count = read8(reader);
        const uint8_t value = read8(reader);
        if (count > 0) {
            writeRun(decoder, target, x, stored, count, [&](int64_t i) -> uint32_t {
                return fourBit ? ((i & 1) ? value & 0x0F : value >> 4) : value;
            });
            x += count;
        } else if (value == 0) {
            x = 0;
            ++stored;
        } else if (value == 1) {
            return BMP_OK;
        } else if (value == 2) {
            if (!has(reader, 2))
                break;
            x += read8(reader);
            stored += read8(reader);
        } else {
            const int64_t bytes = fourBit ? (value + 1) / 2 : value;
            if (!has(reader, bytes))
                break;
            const uint8_t* run = reader.bytes + reader.position;
            writeRun(decoder, target, x, stored, value, [&](int64_t i) -> uint32_t {
                return fourBit ? ((i & 1) ? run[i >> 1] & 0x0F : run[i >> 1] >> 4) : run[i];
            });
            x += value;
            skip(reader, bytes);
            if ((bytes & 1) != 0 && has(reader, 1))
                skip(reader, 1);
        }
    }
    // Past the last row nothing more can land: the picture is complete.
    if (stored >= header.height)
        return BMP_OK;
    if (details != nullptr)
        details->dataEndsAtRow = header.height - 1 - stored;
    return BMP_DATA_ENDS_EARLY;
}

BmpResult decodeBmp(ImageBuffer* image, const uint8_t* bytes, size_t size, BmpDetails* details)
{
    if (bytes == nullptr)
        return BMP_NOT_BMP;
    ByteReader reader{bytes, static_cast<int64_t>(std::min<size_t>(size, static_cast<size_t>(INT64_MAX))), 0};
    Decoder decoder{};
    BmpResult result = readFileHeader(reader, decoder.header);
    if (result == BMP_OK)
        result = readInfoHeader(reader, decoder.header, details);
    if (result == BMP_OK)
        result = readMasks(reader, decoder, details);
    if (result == BMP_OK)
        result = checkDataOffset(decoder.header, details);
    if (result != BMP_OK)
        return result;
    readColourTable(reader, decoder);

    // An image whose header holds no usable size receives nothing; the file is still checked.
    Target target{};
    if (image != nullptr) {
        const ImageLayout layout = imageLayout(image);
        const bool usable = layout.width > 0 && layout.height > 0 &&
                            (layout.bytesPerPixel == 1 || layout.bytesPerPixel == 2 || layout.bytesPerPixel == 4);
        if (usable) {
            target.pixels = layout.pixels;
            target.pitch = layout.pitch;
            target.bytesPerPixel = layout.bytesPerPixel;
            target.copyWidth = static_cast<int32_t>(std::min<int64_t>(layout.width, decoder.header.width));
            target.copyHeight = static_cast<int32_t>(std::min<int64_t>(layout.height, decoder.header.height));
        }
    }
    const uint32_t compression = decoder.header.compression;
    if (compression == COMPRESSION_RLE8 || compression == COMPRESSION_RLE4)
        return decodeRle(decoder, reader, target, details);
    return decodeRows(decoder, reader, target, details);
}

// Reads the whole file; refuses one past MAX_FILE_BYTES without holding more than that.
BmpResult readWholeFile(const char* fileName, std::vector<uint8_t>& bytes, BmpDetails* details)
{
    if (fileName == nullptr)
        return BMP_CANNOT_OPEN;
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr)
        return BMP_CANNOT_OPEN;
    BmpResult result = BMP_OK;
    try {
        // Read at once as much as the file system says the file holds, plus one byte to notice
        // growth; then in steps until the end or the cap, whatever the reported size.
        size_t step = size_t{1} << 16;
        if (std::fseek(file, 0, SEEK_END) == 0) {
            const long reported = std::ftell(file);
            if (reported > 0 && reported <= MAX_FILE_BYTES)
                step = static_cast<size_t>(reported) + 1;
            std::rewind(file);
        }
        constexpr size_t LIMIT = static_cast<size_t>(MAX_FILE_BYTES) + 1;
        for (;;) {
            const size_t used = bytes.size();
            if (used == LIMIT) {
                result = unsupported(details, "file larger than 256 MiB");
                break;
            }
            // Never more than the cap and one byte, even while the buffer grows.
            step = std::min(step, LIMIT - used);
            if (bytes.capacity() < used + step)
                bytes.reserve(std::min(std::max(2 * bytes.capacity(), used + step), LIMIT));
            bytes.resize(used + step);
            const size_t got = std::fread(bytes.data() + used, 1, step, file);
            bytes.resize(used + got);
            if (got < step) {
                if (std::ferror(file) != 0)
                    result = BMP_CANNOT_OPEN;
                break;
            }
            step = size_t{1} << 16;
        }
    } catch (const std::bad_alloc&) {
        result = BMP_CANNOT_OPEN;
    }
    std::fclose(file);
    return result;
}

}  // namespace

int32_t loadBmpFromMemory(ImageBuffer* image, const uint8_t* bytes, size_t size, BmpDetails* details)
{
    if (details != nullptr)
        *details = BmpDetails{};
    return decodeBmp(image, bytes, size, details);
}

int32_t loadBmp(ImageBuffer* image, const char* fileName, BmpDetails* details)
{
    if (details != nullptr)
        *details = BmpDetails{};
    std::vector<uint8_t> bytes;
    const BmpResult result = readWholeFile(fileName, bytes, details);
    if (result != BMP_OK)
        return result;
    return decodeBmp(image, bytes.data(), bytes.size(), details);
}

const char* bmpResultText(int32_t result)
{
    switch (result) {
    case BMP_OK: return "ok";
    case BMP_CANNOT_OPEN: return "cannot open";
    case BMP_NOT_BMP: return "not a BMP";
    case BMP_UNSUPPORTED: return "unsupported form";
    case BMP_DATA_ENDS_EARLY: return "pixel data ends early";
    default: return "unknown result";
    }
}
