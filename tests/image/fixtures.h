#pragma once
// The BMP forms the decoder accepts, each a 3 x 2 picture with the colours it must load as,
// worked out by hand from the stored values. Shared by the decoder tests and write_fixtures,
// which saves them as the fuzzer's first corpus.
#include "support/bmp_writer.h"

#include <string>
#include <vector>

struct FormCase {
    std::string name;
    BmpFixture fixture;
    std::vector<uint32_t> expected;  // 3 x 2 loaded 4-byte pixels, top row first
};

inline BmpFixture formFixture(int32_t bitsPerPixel, int32_t headerBytes, std::vector<uint32_t> pixels)
{
    BmpFixture fixture;
    fixture.width = 3;
    fixture.height = 2;
    fixture.bitsPerPixel = bitsPerPixel;
    fixture.headerBytes = headerBytes;
    fixture.pixels = std::move(pixels);
    return fixture;
}

inline std::vector<FormCase> formCases()
{
    std::vector<FormCase> cases;
    const auto add = [&](std::string name, BmpFixture fixture, std::vector<uint32_t> expected) {
        cases.push_back({std::move(name), std::move(fixture), std::move(expected)});
    };

    BmpFixture oneBit = formFixture(1, 40, {1, 0, 1, 0, 1, 1});
    oneBit.colourTable = {0x102030, 0xA0B0C0};
    add("1bit_info40", oneBit, {0xFFA0B0C0, 0xFF102030, 0xFFA0B0C0, 0xFF102030, 0xFFA0B0C0, 0xFFA0B0C0});

    // A core header's table has no count: it is 2^bits entries, here cut short by the pixel data.
    BmpFixture fourBit = formFixture(4, 12, {3, 2, 1, 0, 0, 3});
    fourBit.colourTable = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    add("4bit_core", fourBit, {0xFF808080, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFF0000, 0xFF808080});

    // A 16-byte header ends before the colour count: 0, so 256 entries, cut short as above.
    BmpFixture eightBit = formFixture(8, 16, {0, 1, 2, 2, 1, 0});
    eightBit.colourTable = {0x123456, 0x654321, 0xABCDEF};
    add("8bit_os2_16", eightBit, {0xFF123456, 0xFF654321, 0xFFABCDEF, 0xFFABCDEF, 0xFF654321, 0xFF123456});

    BmpFixture eightBitV4 = formFixture(8, 108, {4, 3, 2, 1, 0, 4});
    eightBitV4.colourTable = {0x000000, 0x111111, 0x222222, 0x333333, 0x444444};
    add("8bit_v4", eightBitV4, {0xFF444444, 0xFF333333, 0xFF222222, 0xFF111111, 0xFF000000, 0xFF444444});

    // 5-5-5, top bit unused: v -> v * 8 + v / 4, so 16 -> 132 (0x84).
    add("16bit_555_info40", formFixture(16, 40, {0x7C00, 0x03E0, 0x001F, 0x4210, 0x7FFF, 0x8000}),
        {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF848484, 0xFFFFFFFF, 0xFF000000});

    // 5-6-5 masks after a 40-byte header: green 1 -> 1 * 4 + 1 / 16 = 4.
    BmpFixture rgb565 = formFixture(16, 40, {0xF800, 0x07E0, 0x001F, 0x0821, 0xFFFF, 0x0020});
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    add("16bit_565_bitfields_info40", rgb565,
        {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF080408, 0xFFFFFFFF, 0xFF000400});

    // 4-4-4 masks inside a 124-byte header: v -> v * 17; bits outside every mask read nothing.
    BmpFixture rgb444 = formFixture(16, 124, {0x0F00, 0x0123, 0x0FFF, 0xF000, 0x0888, 0x0001});
    rgb444.compression = 3;
    rgb444.masks = {0x0F00, 0x00F0, 0x000F};
    add("16bit_444_bitfields_v5", rgb444, {0xFFFF0000, 0xFF112233, 0xFFFFFFFF, 0xFF000000, 0xFF888888, 0xFF000011});

    // 3-, 2- and 1-bit channels: 3 bits 101 -> 10110110, 001 -> 00100100; 2 bits 01 -> 01010101;
    // 1 bit 1 -> 11111111.
    BmpFixture narrow = formFixture(16, 108, {0xA801, 0xE000, 0x1800, 0x0001, 0x2000, 0x0800});
    narrow.compression = 3;
    narrow.masks = {0xE000, 0x1800, 0x0001};
    add("16bit_321_bitfields_v4", narrow, {0xFFB655FF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF240000, 0xFF005500});

    // Alpha bit fields in a 56-byte header; the alpha mask is read past and never used.
    BmpFixture argb4444 = formFixture(16, 56, {0xF123, 0x0F00, 0x00F0, 0x000F, 0xFFFF, 0xF000});
    argb4444.compression = 6;
    argb4444.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
    add("16bit_4444_alphabitfields_56", argb4444,
        {0xFF112233, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000});

    const std::vector<uint32_t> colours = {0x123456, 0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    const std::vector<uint32_t> opaque = {0xFF123456, 0xFFFFFFFF, 0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    add("24bit_info40", formFixture(24, 40, colours), opaque);
    add("24bit_core", formFixture(24, 12, colours), opaque);
    add("24bit_v5", formFixture(24, 124, colours), opaque);
    add("24bit_64", formFixture(24, 64, colours), opaque);

    // Without masks the top byte is ignored.
    add("32bit_info40", formFixture(32, 40, {0x12345678, 0x00FFFFFF, 0xFF000000, 0x80FF0000, 0x0000FF00, 0x000000FF}),
        {0xFF345678, 0xFFFFFFFF, 0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF});

    BmpFixture rgbx = formFixture(32, 108, {0x11223344, 0xFF000000, 0x000000FF, 0x00FF0000, 0x0000FF00, 0xFFFFFF00});
    rgbx.compression = 3;
    rgbx.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
    add("32bit_bitfields_v4", rgbx, {0xFF112233, 0xFFFF0000, 0xFF000000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});

    // 10-bit channels keep their top 8 bits: 0x200 -> 0x80, 4 -> 1, 1 -> 0.
    BmpFixture wide = formFixture(32, 40, {0x3FF80001, 0xC0000000, 0x000003FF, 0x00100000, 0x00400000, 0x3FFFFFFF});
    wide.compression = 3;
    wide.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    add("32bit_101010_bitfields_info40", wide, {0xFFFF8000, 0xFF000000, 0xFF0000FF, 0xFF000000, 0xFF010000, 0xFFFFFFFF});

    // A zero mask gives a channel of 0.
    BmpFixture noBlue = formFixture(32, 52, {0x00FFFFFF, 0x12345678, 0x000000FF, 0x00FF0000, 0x0000FF00, 0});
    noBlue.compression = 3;
    noBlue.masks = {0xFF0000, 0x00FF00, 0};
    add("32bit_zero_blue_mask_52", noBlue, {0xFFFFFF00, 0xFF345600, 0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF000000});

    BmpFixture argb = formFixture(32, 40, {0x80102030, 0x00FF0000, 0xFF00FF00, 0x000000FF, 0x7F7F7F7F, 0});
    argb.compression = 6;
    argb.masks = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
    add("32bit_alphabitfields_info40", argb, {0xFF102030, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF7F7F7F, 0xFF000000});
    return cases;
}

// A top-down copy of a form; a core header has no top-down rows.
inline bool canStoreTopDown(const BmpFixture& fixture)
{
    return fixture.headerBytes != 12 && fixture.compression != 1 && fixture.compression != 2;
}

// A 512 x 512 24-bit face with every channel varying, as the viewer loads them.
inline BmpFixture faceFixture(int32_t width = 512, int32_t height = 512)
{
    return picture24(width, height, [](int32_t x, int32_t y) {
        return static_cast<uint32_t>((x * 7 + y) & 0xFF) << 16 | static_cast<uint32_t>((x ^ y) & 0xFF) << 8 |
               static_cast<uint32_t>((y * 3) & 0xFF);
    });
}
