// The BMP decoder on files made in memory: every accepted form against colours worked out by
// hand, clipping, rejections, cut-off data, run-length streams, and the extremes of the header.
#include "platform/bmp.h"

#include "fixtures.h"
#include "platform/image.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t FILL = IMAGE_FILL_4;

struct ImageDeleter {
    void operator()(ImageBuffer* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<ImageBuffer, ImageDeleter>;

ImagePtr makeImage(int32_t width, int32_t height, int32_t bytesPerPixel = 4)
{
    return ImagePtr(createImageWithPixelSize(width, height, bytesPerPixel));
}

// Header and rows, padding included.
std::vector<uint8_t> wholeImage(const ImageBuffer* image)
{
    const ImageLayout layout = imageLayout(image);
    const auto* start = reinterpret_cast<const uint8_t*>(image);
    const uint8_t* end = layout.pixels + layout.pitch * layout.height;
    return std::vector<uint8_t>(start, end);
}

int32_t load(ImageBuffer* image, const std::vector<uint8_t>& bytes, BmpDetails* details = nullptr)
{
    return loadBmpFromMemory(image, bytes.data(), bytes.size(), details);
}

// The whole image as expected: picture (width x height, top row first) at the top-left, fill elsewhere.
std::vector<uint32_t> framed(const ImageBuffer* image, int32_t width, int32_t height, const std::vector<uint32_t>& picture,
                             uint32_t fill = FILL)
{
    const ImageLayout layout = imageLayout(image);
    std::vector<uint32_t> expected(static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height), fill);
    for (int32_t y = 0; y < std::min(height, layout.height); ++y)
        for (int32_t x = 0; x < std::min(width, layout.width); ++x)
            expected[static_cast<size_t>(y * layout.width + x)] = picture[static_cast<size_t>(y * width + x)];
    return expected;
}

// Every byte outside the pixels (header, row padding) against the image as it was before the load.
void expectHeaderAndPaddingKept(const ImageBuffer* image, const std::vector<uint8_t>& before)
{
    const ImageLayout layout = imageLayout(image);
    const std::vector<uint8_t> after = wholeImage(image);
    ASSERT_EQ(after.size(), before.size());
    const size_t headerBytes = static_cast<size_t>(layout.pixels - reinterpret_cast<const uint8_t*>(image));
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<ptrdiff_t>(headerBytes), after.begin()))
        << "header changed";
    int32_t changed = 0;
    for (int32_t y = 0; y < layout.height; ++y) {
        const size_t rowStart = headerBytes + static_cast<size_t>(y * layout.pitch);
        for (size_t i = static_cast<size_t>(layout.width * layout.bytesPerPixel); i < static_cast<size_t>(layout.pitch); ++i)
            if (after[rowStart + i] != before[rowStart + i] && ++changed <= 8)
                ADD_FAILURE() << "padding byte " << i << " of row " << y << " changed";
    }
}

// Every pixel against expected, header and padding as before.
void expectImage(const ImageBuffer* image, const std::vector<uint8_t>& before, const std::vector<uint32_t>& expected)
{
    expectHeaderAndPaddingKept(image, before);
    const ImageLayout layout = imageLayout(image);
    int32_t wrong = 0;
    for (int32_t y = 0; y < layout.height; ++y) {
        for (int32_t x = 0; x < layout.width; ++x) {
            const uint32_t got = readPixel(layout, static_cast<float>(x), static_cast<float>(y));
            const uint32_t want = expected[static_cast<size_t>(y * layout.width + x)];
            if (got != want && ++wrong <= 8)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): expected 0x" << std::hex << want << ", got 0x" << got;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels differing";
}

void set32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void set16(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// Offsets of the info header's fields in the file.
constexpr size_t HEADER_SIZE_AT = 14;
constexpr size_t WIDTH_AT = 18;
constexpr size_t HEIGHT_AT = 22;
constexpr size_t PLANES_AT = 26;
constexpr size_t BITS_AT = 28;
constexpr size_t COMPRESSION_AT = 30;
constexpr size_t DATA_OFFSET_AT = 10;

TEST(BmpForms, EachFormLoadsItsColoursInEitherRowOrder)
{
    for (const FormCase& form : formCases()) {
        for (const bool topDown : {false, true}) {
            if (topDown && !canStoreTopDown(form.fixture))
                continue;
            SCOPED_TRACE(form.name + (topDown ? " top-down" : " bottom-up"));
            BmpFixture fixture = form.fixture;
            fixture.topDown = topDown;
            // One column and row more than the picture: the rest must keep the fill.
            ImagePtr image = makeImage(4, 3);
            const std::vector<uint8_t> before = wholeImage(image.get());
            BmpDetails details;
            ASSERT_EQ(load(image.get(), encodeBmp(fixture), &details), BMP_OK) << details.unsupportedForm;
            EXPECT_EQ(details.width, 3);
            EXPECT_EQ(details.height, topDown ? -2 : 2);
            EXPECT_EQ(details.bitsPerPixel, fixture.bitsPerPixel);
            expectImage(image.get(), before, framed(image.get(), 3, 2, form.expected));
        }
    }
}

TEST(BmpForms, TwoAndOneBytePixelsPackTheColourOrKeepTheIndex)
{
    // 0xFF8040: 5-6-5 31, 32, 8 = 0xFC08; 3-3-2 7, 4, 1 = 0xF1. 0x123456: 5-6-5 2, 13, 10 =
    // 0x11AA; 3-3-2 0, 1, 1 = 0x05. Index 200 lies past the two-entry table: black.
    BmpFixture trueColour = formFixture(24, 40, {0xFF8040, 0x123456, 0xFFFFFF});
    trueColour.height = 1;
    BmpFixture palettised = formFixture(8, 40, {0, 1, 200});
    palettised.height = 1;
    palettised.colourTable = {0xFF8040, 0x123456};
    struct Case {
        const char* name;
        const BmpFixture& fixture;
        int32_t bytesPerPixel;
        std::vector<uint32_t> expected;
        uint32_t fill;
    };
    const Case cases[] = {
        {"24-bit into 2 bytes", trueColour, 2, {0xFC08, 0x11AA, 0xFFFF}, IMAGE_FILL_2},
        {"24-bit into 1 byte", trueColour, 1, {0xF1, 0x05, 0xFF}, IMAGE_FILL_1},
        {"8-bit into 2 bytes", palettised, 2, {0xFC08, 0x11AA, 0x0000}, IMAGE_FILL_2},
        {"8-bit into 1 byte", palettised, 1, {0, 1, 200}, IMAGE_FILL_1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 9 pixels wide: rows padded to 32 bytes (2-byte) or 16 (1-byte).
        ImagePtr image = makeImage(9, 2, c.bytesPerPixel);
        const std::vector<uint8_t> before = wholeImage(image.get());
        ASSERT_EQ(load(image.get(), encodeBmp(c.fixture)), BMP_OK);
        expectImage(image.get(), before, framed(image.get(), 3, 1, c.expected, c.fill));
    }
}

TEST(BmpForms, LoadsIntoAShortFormImageAtAnOddAddress)
{
    std::vector<uint8_t> storage(1 + 4 + 3 * 2 * 4, 0);
    const uint16_t sizeWord = 3 << 3 | 4;
    storage[1] = static_cast<uint8_t>(sizeWord);
    storage[2] = static_cast<uint8_t>(sizeWord >> 8);
    storage[3] = 2;
    auto* image = reinterpret_cast<ImageBuffer*>(storage.data() + 1);
    const std::vector<uint8_t> before = wholeImage(image);
    const FormCase form = formCases().front();
    ASSERT_EQ(load(image, encodeBmp(form.fixture)), BMP_OK);
    expectImage(image, before, form.expected);
}

TEST(BmpClipping, LargerPictureIsCroppedToItsTopLeft)
{
    // 7 x 5, each pixel naming its place, into 4 x 3: the image holds picture (x, y) for x < 4,
    // y < 3 whichever order the rows are stored in.
    BmpFixture fixture = picture24(7, 5, [](int32_t x, int32_t y) { return static_cast<uint32_t>(0x100 * y + x); });
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        fixture.topDown = topDown;
        ImagePtr image = makeImage(4, 3);
        const std::vector<uint8_t> before = wholeImage(image.get());
        ASSERT_EQ(load(image.get(), encodeBmp(fixture)), BMP_OK);
        expectImage(image.get(), before,
                    {0xFF000000, 0xFF000001, 0xFF000002, 0xFF000003, 0xFF000100, 0xFF000101, 0xFF000102, 0xFF000103,
                     0xFF000200, 0xFF000201, 0xFF000202, 0xFF000203});
    }
}

TEST(BmpClipping, FaceSizedPicturesAgainstAFaceImage)
{
    struct Case {
        int32_t width;
        int32_t height;
    };
    for (const Case c : {Case{1024, 768}, Case{256, 256}, Case{512, 512}, Case{513, 511}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const BmpFixture fixture = faceFixture(c.width, c.height);
        ImagePtr image = makeImage(512, 512);
        const std::vector<uint8_t> before = wholeImage(image.get());
        ASSERT_EQ(load(image.get(), encodeBmp(fixture)), BMP_OK);
        std::vector<uint32_t> opaque(fixture.pixels);
        for (uint32_t& pixel : opaque)
            pixel |= 0xFF000000;
        expectImage(image.get(), before, framed(image.get(), c.width, c.height, opaque));
    }
}

struct Rejection {
    const char* name;
    std::vector<uint8_t> bytes;
    BmpResult result;
    const char* form;  // BMP_UNSUPPORTED only
};

std::vector<uint8_t> file24()
{
    return encodeBmp(formFixture(24, 40, {1, 2, 3, 4, 5, 6}));
}

std::vector<uint8_t> with32(std::vector<uint8_t> bytes, size_t at, uint32_t value)
{
    set32(bytes, at, value);
    return bytes;
}

std::vector<uint8_t> with16(std::vector<uint8_t> bytes, size_t at, uint32_t value)
{
    set16(bytes, at, value);
    return bytes;
}

std::vector<uint8_t> cut(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> withCompression(int32_t bitsPerPixel, int32_t headerBytes, uint32_t compression,
                                     std::vector<uint32_t> masks = {})
{
    BmpFixture fixture = formFixture(bitsPerPixel, headerBytes, {0, 0, 0, 0, 0, 0});
    fixture.compression = compression;
    fixture.masks = std::move(masks);
    if (compression == 1 || compression == 2)
        fixture.rawData = {0, 1};
    return encodeBmp(fixture);
}

std::vector<Rejection> rejections()
{
    const std::vector<uint8_t> good = file24();
    std::vector<uint8_t> topDownRle = withCompression(8, 40, 1);
    set32(topDownRle, HEIGHT_AT, static_cast<uint32_t>(-2));
    std::vector<uint8_t> bitFieldsMasksCut = withCompression(16, 40, 3, {0xF800, 0x07E0, 0x001F});
    bitFieldsMasksCut.resize(14 + 40 + 8);
    return {
        {"empty", {}, BMP_NOT_BMP, nullptr},
        {"signature only", {'B', 'M'}, BMP_NOT_BMP, nullptr},
        {"second signature byte wrong", with16(good, 0, 'B' | 'A' << 8), BMP_NOT_BMP, nullptr},
        {"first signature byte wrong", with16(good, 0, 'C' | 'M' << 8), BMP_NOT_BMP, nullptr},
        {"file header alone", cut(good, 14), BMP_NOT_BMP, nullptr},
        {"header size cut", cut(good, 17), BMP_NOT_BMP, nullptr},
        {"info header cut one byte short", cut(good, 14 + 39), BMP_NOT_BMP, nullptr},
        {"info header larger than the file", with32(good, HEADER_SIZE_AT, 0xFFFFFFFF), BMP_NOT_BMP, nullptr},
        {"masks cut off", bitFieldsMasksCut, BMP_NOT_BMP, nullptr},
        {"header of 0 bytes", with32(good, HEADER_SIZE_AT, 0), BMP_UNSUPPORTED, "info header of 0 bytes"},
        {"header of 8 bytes", with32(good, HEADER_SIZE_AT, 8), BMP_UNSUPPORTED, "info header of 8 bytes"},
        {"header of 15 bytes", with32(good, HEADER_SIZE_AT, 15), BMP_UNSUPPORTED, "info header of 15 bytes"},
        {"two planes", with16(good, PLANES_AT, 2), BMP_UNSUPPORTED, "2 planes"},
        {"width 0", with32(good, WIDTH_AT, 0), BMP_UNSUPPORTED, "width 0"},
        {"width -1", with32(good, WIDTH_AT, 0xFFFFFFFF), BMP_UNSUPPORTED, "width -1"},
        {"height 0", with32(good, HEIGHT_AT, 0), BMP_UNSUPPORTED, "height 0"},
        {"bits per pixel 0", with16(good, BITS_AT, 0), BMP_UNSUPPORTED, "bits per pixel 0"},
        {"bits per pixel 2", with16(good, BITS_AT, 2), BMP_UNSUPPORTED, "bits per pixel 2"},
        {"bits per pixel 7", with16(good, BITS_AT, 7), BMP_UNSUPPORTED, "bits per pixel 7"},
        {"bits per pixel 64", with16(good, BITS_AT, 64), BMP_UNSUPPORTED, "bits per pixel 64"},
        {"JPEG", with32(good, COMPRESSION_AT, 4), BMP_UNSUPPORTED, "compression 4 (JPEG)"},
        {"PNG", with32(good, COMPRESSION_AT, 5), BMP_UNSUPPORTED, "compression 5 (PNG)"},
        {"compression 7", with32(good, COMPRESSION_AT, 7), BMP_UNSUPPORTED, "compression 7"},
        {"bit fields at 24 bits", with32(good, COMPRESSION_AT, 3), BMP_UNSUPPORTED, "bit fields with 24 bits per pixel"},
        {"bit fields at 8 bits", withCompression(8, 40, 3), BMP_UNSUPPORTED, "bit fields with 8 bits per pixel"},
        {"RLE8 at 4 bits", withCompression(4, 40, 1), BMP_UNSUPPORTED, "RLE8 with 4 bits per pixel"},
        {"RLE4 at 8 bits", withCompression(8, 40, 2), BMP_UNSUPPORTED, "RLE4 with 8 bits per pixel"},
        {"RLE top-down", topDownRle, BMP_UNSUPPORTED, "run-length compression with top-down rows"},
        {"bit fields in a 24-byte header", withCompression(16, 24, 3), BMP_UNSUPPORTED,
         "bit fields with an info header of 24 bytes"},
        {"bit fields in an OS/2 64-byte header", withCompression(16, 64, 3), BMP_UNSUPPORTED,
         "bit fields with an info header of 64 bytes"},
        {"red mask with a gap", withCompression(16, 40, 3, {0xF0F0, 0x0F00, 0x000F}), BMP_UNSUPPORTED,
         "red mask not one run of bits"},
        {"green mask past 16 bits", withCompression(16, 40, 3, {0xF800, 0x1F0000, 0x001F}), BMP_UNSUPPORTED,
         "green mask wider than the pixel"},
        {"data offset 0", with32(good, DATA_OFFSET_AT, 0), BMP_UNSUPPORTED, "pixel data offset 0 inside the headers"},
        {"data offset inside the info header", with32(good, DATA_OFFSET_AT, 53), BMP_UNSUPPORTED,
         "pixel data offset 53 inside the headers"},
        {"data offset on the masks", with32(withCompression(16, 40, 3, {0xF800, 0x07E0, 0x001F}), DATA_OFFSET_AT, 54),
         BMP_UNSUPPORTED, "pixel data offset 54 inside the headers"},
    };
}

TEST(BmpRejections, LeaveTheImageByteIdenticalAndSayWhy)
{
    for (const Rejection& rejection : rejections()) {
        SCOPED_TRACE(rejection.name);
        for (const int32_t bytesPerPixel : {4, 2, 1}) {
            ImagePtr image = makeImage(5, 3, bytesPerPixel);
            const std::vector<uint8_t> before = wholeImage(image.get());
            BmpDetails details;
            EXPECT_EQ(load(image.get(), rejection.bytes, &details), rejection.result);
            EXPECT_EQ(wholeImage(image.get()), before);
            if (rejection.form == nullptr)
                EXPECT_EQ(details.unsupportedForm, nullptr);
            else
                EXPECT_STREQ(details.unsupportedForm, rejection.form);
            EXPECT_EQ(details.dataEndsAtRow, -1);
        }
    }
}

TEST(BmpRejections, DetailsShowTheHeaderOfAnUnsupportedFile)
{
    BmpDetails details;
    EXPECT_EQ(load(nullptr, with16(file24(), BITS_AT, 7), &details), BMP_UNSUPPORTED);
    EXPECT_EQ(details.width, 3);
    EXPECT_EQ(details.height, 2);
    EXPECT_EQ(details.bitsPerPixel, 7);
}

// 3 x 4 at 24 bits: rows of 9 pixel bytes padded to 12. Pixel (x, y) is 0x0000yx.
struct Truncation {
    const char* name;
    bool topDown;
    int64_t dataBytes;       // of 48, or -1: data offset past the end of the file
    BmpResult result;
    std::array<bool, 4> loaded;  // picture rows, top first
    int64_t dataEndsAtRow;
};

TEST(BmpTruncation, KeepsWholeRowsAndSaysWhereTheDataStopped)
{
    const Truncation cases[] = {
        {"bottom-up, 2 rows and 5 bytes", false, 29, BMP_DATA_ENDS_EARLY, {false, false, true, true}, 1},
        {"top-down, 2 rows and 5 bytes", true, 29, BMP_DATA_ENDS_EARLY, {true, true, false, false}, 2},
        {"bottom-up, last row one byte short", false, 44, BMP_DATA_ENDS_EARLY, {false, true, true, true}, 0},
        {"top-down, last row one byte short", true, 44, BMP_DATA_ENDS_EARLY, {true, true, true, false}, 3},
        {"last row without its padding", false, 45, BMP_OK, {true, true, true, true}, -1},
        {"bottom-up, no data", false, 0, BMP_DATA_ENDS_EARLY, {false, false, false, false}, 3},
        {"top-down, no data", true, 0, BMP_DATA_ENDS_EARLY, {false, false, false, false}, 0},
        {"data offset past the end", false, -1, BMP_DATA_ENDS_EARLY, {false, false, false, false}, 3},
    };
    for (const Truncation& c : cases) {
        SCOPED_TRACE(c.name);
        BmpFixture fixture = picture24(3, 4, [](int32_t x, int32_t y) { return static_cast<uint32_t>(y << 4 | x); });
        fixture.topDown = c.topDown;
        std::vector<uint8_t> bytes = encodeBmp(fixture);
        ASSERT_EQ(bytes.size(), 54u + 48u);
        if (c.dataBytes >= 0) {
            bytes.resize(static_cast<size_t>(54 + c.dataBytes));
        } else {
            bytes.resize(54);
            set32(bytes, DATA_OFFSET_AT, 1000);
        }
        std::vector<uint32_t> picture(12, FILL);
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 3; ++x)
                if (c.loaded[y])
                    picture[y * 3 + x] = 0xFF000000 | y << 4 | x;
        ImagePtr image = makeImage(4, 5);
        const std::vector<uint8_t> before = wholeImage(image.get());
        BmpDetails details;
        EXPECT_EQ(load(image.get(), bytes, &details), c.result);
        EXPECT_EQ(details.dataEndsAtRow, c.dataEndsAtRow);
        expectImage(image.get(), before, framed(image.get(), 3, 4, picture));
    }
}

// A 1 x 1 24-bit file with a 40-byte header whose height is given by hand.
std::vector<uint8_t> onePixelFile(int32_t width, int32_t height, uint16_t bitsPerPixel)
{
    constexpr std::array<uint8_t, 14 + 40 + 4> bytes = {
        'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header: size, reserved, data at 54
        40, 0, 0, 0,                                     // info header size
        0, 0, 0, 0, 0, 0, 0, 0,                          // width, height: set below
        1, 0, 24, 0,                                     // planes, bits per pixel
        0, 0, 0, 0, 4, 0, 0, 0,                          // no compression, 4 bytes of data
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // resolution, colour counts
        0x56, 0x34, 0x12, 0,                             // one pixel: blue, green, red, padding
    };
    static_assert(bytes.size() == 58, "file header, info header and one padded row");
    std::vector<uint8_t> file(bytes.begin(), bytes.end());
    set32(file, WIDTH_AT, static_cast<uint32_t>(width));
    set32(file, HEIGHT_AT, static_cast<uint32_t>(height));
    set16(file, BITS_AT, bitsPerPixel);
    return file;
}

TEST(BmpHeights, ExtremeHeightsAreNegatedAndBoundedIn64Bits)
{
    struct Case {
        const char* name;
        int32_t width;
        int32_t height;
        uint16_t bitsPerPixel;
        bool firstPixelLoaded;
        int64_t dataEndsAtRow;
    };
    const Case cases[] = {
        // 2^31 rows top-down: the first is in the file, the second is where the data stops.
        {"most negative height", 1, INT32_MIN, 24, true, 1},
        {"height -1", 1, -1, 24, true, -1},
        // Bottom-up: the one stored row is the picture's last, far below the image.
        {"largest height", 1, INT32_MAX, 24, false, INT32_MAX - 2},
        {"largest width", INT32_MAX, 1, 32, false, 0},
        {"largest width, most negative height", INT32_MAX, INT32_MIN, 32, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImagePtr image = makeImage(2, 2);
        const std::vector<uint8_t> before = wholeImage(image.get());
        BmpDetails details;
        EXPECT_EQ(load(image.get(), onePixelFile(c.width, c.height, c.bitsPerPixel), &details),
                  c.dataEndsAtRow < 0 ? BMP_OK : BMP_DATA_ENDS_EARLY);
        EXPECT_EQ(details.width, c.width);
        EXPECT_EQ(details.height, c.height);
        EXPECT_EQ(details.dataEndsAtRow, c.dataEndsAtRow);
        expectImage(image.get(), before, {c.firstPixelLoaded ? 0xFF123456 : FILL, FILL, FILL, FILL});
    }
}

TEST(BmpPalette, OnlyTheEntriesTheFileHoldsGiveColours)
{
    struct Case {
        const char* name;
        int32_t bitsPerPixel;
        std::vector<uint32_t> table;
        int64_t coloursUsed;
        std::vector<uint32_t> pixels;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"index past a two-entry table", 8, {0x102030, 0x405060}, -1, {0, 1, 2, 255},
         {0xFF102030, 0xFF405060, 0xFF000000, 0xFF000000}},
        {"count below the entries present", 8, {0x102030, 0x405060, 0x708090, 0xA0B0C0}, 2, {3, 2, 1, 0},
         {0xFF000000, 0xFF000000, 0xFF405060, 0xFF102030}},
        {"count above 2^bits", 1, {0x102030, 0x405060}, 1000, {1, 0, 0, 1},
         {0xFF405060, 0xFF102030, 0xFF102030, 0xFF405060}},
        {"count 0 means 2^bits, cut by the data", 4, {0x102030, 0x405060}, 0, {1, 0, 2, 15},
         {0xFF405060, 0xFF102030, 0xFF000000, 0xFF000000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpFixture fixture = formFixture(c.bitsPerPixel, 40, c.pixels);
        fixture.width = 4;
        fixture.height = 1;
        fixture.colourTable = c.table;
        fixture.coloursUsed = c.coloursUsed;
        ImagePtr image = makeImage(4, 1);
        const std::vector<uint8_t> before = wholeImage(image.get());
        ASSERT_EQ(load(image.get(), encodeBmp(fixture)), BMP_OK);
        expectImage(image.get(), before, c.expected);
    }
}

// Palette entry i is grey i x 0x111111; F marks a pixel no run sets.
constexpr uint32_t F = FILL;
constexpr uint32_t grey(uint32_t index)
{
    return 0xFF000000 | index * 0x111111;
}

BmpFixture rleFixture(int32_t bitsPerPixel, int32_t width, int32_t height, std::vector<uint8_t> stream)
{
    BmpFixture fixture;
    fixture.width = width;
    fixture.height = height;
    fixture.bitsPerPixel = bitsPerPixel;
    fixture.compression = bitsPerPixel == 8 ? 1 : 2;
    for (uint32_t i = 0; i < 16; ++i)
        fixture.colourTable.push_back(i * 0x111111);
    fixture.rawData = std::move(stream);
    return fixture;
}

struct RleCase {
    const char* name;
    BmpFixture fixture;
    BmpResult result;
    int64_t dataEndsAtRow;
    std::vector<uint32_t> expected;  // 4 x 3, top row first
};

std::vector<RleCase> rleCases()
{
    return {
        // Rows are stored bottom-up: the first line is the picture's last row.
        {"RLE8 runs, absolute run, move, end",
         rleFixture(8, 4, 3,
                    {0xFF, 5,                 // 255 x index 5: clipped to the row
                     0, 0,                    // end of line
                     0, 3, 1, 2, 200, 0,      // absolute run of 3, padded to 16 bits; 200 is past the table
                     0, 0,                    //
                     0, 2, 1, 0,              // move right 1
                     1, 7,                    //
                     0, 1}),                  // end of picture
         BMP_OK, -1, {F, grey(7), F, F, grey(1), grey(2), 0xFF000000, F, grey(5), grey(5), grey(5), grey(5)}},
        {"RLE4 nibble runs and odd absolute runs",
         rleFixture(4, 4, 3,
                    {4, 0x12,                      // 1, 2, 1, 2
                     0, 0,                         //
                     0, 5, 0xAB, 0xCD, 0xE0, 0,    // 5 nibbles in 3 bytes, padded; the fifth clipped
                     0, 0,                         //
                     0, 3, 0x45, 0x60,             // 3 nibbles in 2 bytes: no padding
                     0, 1}),
         BMP_OK, -1,
         {grey(4), grey(5), grey(6), F, grey(10), grey(11), grey(12), grey(13), grey(1), grey(2), grey(1), grey(2)}},
        {"RLE8 move past the last row ends the picture", rleFixture(8, 4, 3, {2, 3, 0, 2, 0, 9}), BMP_OK, -1,
         {F, F, F, F, F, F, F, F, grey(3), grey(3), F, F}},
        {"RLE8 without end of picture", rleFixture(8, 4, 3, {2, 3, 0, 0, 1}), BMP_DATA_ENDS_EARLY, 1,
         {F, F, F, F, F, F, F, F, grey(3), grey(3), F, F}},
        {"RLE8 absolute run cut off", rleFixture(8, 4, 3, {2, 3, 0, 0, 3, 4, 0, 4, 1, 1}), BMP_DATA_ENDS_EARLY, 1,
         {F, F, F, F, grey(4), grey(4), grey(4), F, grey(3), grey(3), F, F}},
        {"RLE4 move cut off", rleFixture(4, 4, 3, {1, 0x90, 0, 2, 1}), BMP_DATA_ENDS_EARLY, 2,
         {F, F, F, F, F, F, F, F, grey(9), F, F, F}},
    };
}

TEST(BmpRle, RunsLandWhereTheStreamSaysAndTheRestKeepsTheFill)
{
    for (const RleCase& c : rleCases()) {
        SCOPED_TRACE(c.name);
        ImagePtr image = makeImage(4, 3);
        const std::vector<uint8_t> before = wholeImage(image.get());
        BmpDetails details;
        EXPECT_EQ(load(image.get(), encodeBmp(c.fixture), &details), c.result);
        EXPECT_EQ(details.dataEndsAtRow, c.dataEndsAtRow);
        expectImage(image.get(), before, c.expected);
    }
}

TEST(BmpRle, OneByteImagesGetTheIndices)
{
    ImagePtr image = makeImage(4, 1, 1);
    const std::vector<uint8_t> before = wholeImage(image.get());
    ASSERT_EQ(load(image.get(), encodeBmp(rleFixture(4, 4, 1, {3, 0x9A, 0, 1}))), BMP_OK);
    expectImage(image.get(), before, {9, 10, 9, IMAGE_FILL_1});
}

TEST(BmpFile, LoadsAFileAsFromMemoryAndClosesIt)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("bmp_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> bytes = encodeBmp(faceFixture(300, 200));
    const std::string path = (folder / "face.bmp").string();
    ASSERT_TRUE(writeFileBytes(path, bytes));
    ASSERT_TRUE(writeFileBytes((folder / "empty.bmp").string(), {}));

    ImagePtr fromFile = makeImage(512, 512);
    ImagePtr fromMemory = makeImage(512, 512);
    EXPECT_EQ(loadBmp(fromFile.get(), path.c_str()), BMP_OK);
    EXPECT_EQ(load(fromMemory.get(), bytes), BMP_OK);
    EXPECT_EQ(wholeImage(fromFile.get()), wholeImage(fromMemory.get()));
    // Closed before the call returned: the file can be replaced and removed at once.
    EXPECT_TRUE(writeFileBytes(path, {}));

    struct Case {
        const char* name;
        std::string path;
        BmpResult result;
    };
    const Case cases[] = {
        {"missing file", (folder / "missing.bmp").string(), BMP_CANNOT_OPEN},
        {"a folder", folder.string(), BMP_CANNOT_OPEN},
        {"empty file", (folder / "empty.bmp").string(), BMP_NOT_BMP},
    };
    for (const Case& c : cases) {
        ImagePtr image = makeImage(3, 3);
        const std::vector<uint8_t> before = wholeImage(image.get());
        EXPECT_EQ(loadBmp(image.get(), c.path.c_str()), c.result) << c.name;
        EXPECT_EQ(wholeImage(image.get()), before) << c.name;
    }
    EXPECT_EQ(loadBmp(nullptr, nullptr), BMP_CANNOT_OPEN);
    std::filesystem::remove_all(folder);
}

TEST(BmpFile, NullImageOnlyChecksTheFile)
{
    BmpDetails details;
    std::vector<uint8_t> bytes = encodeBmp(faceFixture(16, 16));
    EXPECT_EQ(load(nullptr, bytes, &details), BMP_OK);
    EXPECT_EQ(details.width, 16);
    bytes.resize(bytes.size() - 48 * 3);
    EXPECT_EQ(load(nullptr, bytes, &details), BMP_DATA_ENDS_EARLY);
    EXPECT_EQ(details.dataEndsAtRow, 2);
    EXPECT_EQ(loadBmpFromMemory(nullptr, nullptr, 0, &details), BMP_NOT_BMP);
}

// Inputs the fuzzer turned up, kept as files in inputs/ with the result each must give; every one
// must leave the header and the row padding of images with padded rows alone.
TEST(BmpFoundInputs, EachGivesItsResultAndKeepsToThePixels)
{
    struct Case {
        const char* file;
        BmpResult result;
        int64_t dataEndsAtRow;
    };
    const Case cases[] = {
        // Core header, 3 x 85 at 4 bits; its colour table and data offset lie past the end.
        {"core_table_cut_by_file_end.bmp", BMP_DATA_ENDS_EARLY, 84},
        // 16-byte header, 16646147 x -256 at 8 bits, data offset past the end.
        {"os2_16_byte_header_huge_width_top_down.bmp", BMP_DATA_ENDS_EARLY, 0},
        // Core header, 64259 x 84 at 16 bits, 0 planes, one byte after the headers.
        {"core_16bit_zero_planes_one_data_byte.bmp", BMP_DATA_ENDS_EARLY, 83},
        // 40-byte header with bit fields, and the file ends where the masks should be.
        {"bit_field_masks_cut.bmp", BMP_NOT_BMP, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = std::string(BMP_INPUTS_DIR) + "/" + c.file;
        for (const int32_t bytesPerPixel : {4, 1}) {
            ImagePtr image = makeImage(509, 509, bytesPerPixel);
            const std::vector<uint8_t> before = wholeImage(image.get());
            BmpDetails details;
            EXPECT_EQ(loadBmp(image.get(), path.c_str(), &details), c.result);
            EXPECT_EQ(details.dataEndsAtRow, c.dataEndsAtRow);
            expectHeaderAndPaddingKept(image.get(), before);
        }
    }
}

TEST(BmpResultText, NamesEveryResult)
{
    const std::pair<int32_t, const char*> cases[] = {
        {BMP_OK, "ok"},
        {BMP_CANNOT_OPEN, "cannot open"},
        {BMP_NOT_BMP, "not a BMP"},
        {BMP_UNSUPPORTED, "unsupported form"},
        {BMP_DATA_ENDS_EARLY, "pixel data ends early"},
        {99, "unknown result"},
    };
    for (const auto& [result, text] : cases)
        EXPECT_STREQ(bmpResultText(result), text) << result;
}

}  // namespace
