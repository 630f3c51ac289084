// Image creation, both header forms, and the pixel read with its rounding.
#include "platform/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

struct ImageDeleter {
    void operator()(ImageBuffer* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<ImageBuffer, ImageDeleter>;

uint32_t headerWord(const ImageBuffer* image, int32_t word)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(image) + 4 * word;
    return static_cast<uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) | static_cast<uint32_t>(bytes[3]) << 24;
}

struct CreationCase {
    int32_t width;
    int32_t height;
    int32_t bytesPerPixel;
    uint32_t pitch;
    uint8_t fill[4];  // the fill's bytes in memory, repeating
};

TEST(ImageCreation, HeaderAlignmentAndFillIncludingPadding)
{
    const CreationCase cases[] = {
        {512, 512, 4, 2048, {0xFF, 0x00, 0xFF, 0xFF}},
        {1, 1, 4, 16, {0xFF, 0x00, 0xFF, 0xFF}},
        {5, 3, 4, 32, {0xFF, 0x00, 0xFF, 0xFF}},
        {9, 2, 2, 32, {0x1F, 0xF8, 0x1F, 0xF8}},
        {16, 1, 1, 16, {0xE3, 0xE3, 0xE3, 0xE3}},
        {17, 4, 1, 32, {0xE3, 0xE3, 0xE3, 0xE3}},
    };
    for (const CreationCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " x " << c.bytesPerPixel);
        ImagePtr image(createImageWithPixelSize(c.width, c.height, c.bytesPerPixel));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(image.get()) % 16, 0u);
        const uint32_t expected[8] = {7, static_cast<uint32_t>(c.bytesPerPixel), static_cast<uint32_t>(c.width),
                                      static_cast<uint32_t>(c.height), c.pitch, 0, 0, 0};
        for (int32_t word = 0; word < 8; ++word)
            EXPECT_EQ(headerWord(image.get(), word), expected[word]) << "word " << word;

        const ImageLayout layout = imageLayout(image.get());
        EXPECT_EQ(layout.width, c.width);
        EXPECT_EQ(layout.height, c.height);
        EXPECT_EQ(layout.bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(layout.pitch, c.pitch);
        EXPECT_EQ(layout.pixels, reinterpret_cast<uint8_t*>(image.get()) + 32);
        const int64_t rowBytes = int64_t{c.pitch} * c.height;
        int64_t wrong = 0;
        for (int64_t i = 0; i < rowBytes; ++i)
            wrong += layout.pixels[i] != c.fill[i % 4];
        EXPECT_EQ(wrong, 0) << "row bytes, padding included, not holding the fill";
    }
}

TEST(ImageCreation, RefusesSizesItCannotHold)
{
    const int32_t cases[][3] = {
        {0, 1, 4},      {1, 0, 4},     {-1, 1, 4},     {1, -1, 4},    {1, 1, 0},   {1, 1, 3},
        {1, 1, 8},      {1, 1, -4},    {INT32_MIN, 1, 4}, {1, INT32_MIN, 4},
        {INT32_MAX, 1, 4},              // pitch 2^33: past the cap, and past 32 bits
        {INT32_MAX, INT32_MAX, 4},      // pitch x height past 2^64
        {65536, 65536, 4},              // 16 GiB
        {16384, 16385, 4},              // just over 1 GiB with the header
    };
    for (const auto& c : cases)
        EXPECT_EQ(createImageWithPixelSize(c[0], c[1], c[2]), nullptr) << c[0] << " x " << c[1] << " x " << c[2];
}

// A short-form image: pixel size in bits 0-2 and width in bits 3-15 of the first 16-bit word,
// height in the second, rows of exactly width x bytesPerPixel from byte 4. Stored one byte into
// its buffer so that the 4-byte pixels are not aligned.
struct ShortImage {
    std::vector<uint8_t> storage;
    ImageBuffer* image() { return reinterpret_cast<ImageBuffer*>(storage.data() + 1); }
};

ShortImage makeShortImage(int32_t width, int32_t height, int32_t bytesPerPixel, const std::vector<uint8_t>& rows)
{
    ShortImage made;
    made.storage.assign(1, 0xAA);
    const uint32_t sizeWord = static_cast<uint32_t>(width) << 3 | static_cast<uint32_t>(bytesPerPixel);
    made.storage.push_back(static_cast<uint8_t>(sizeWord));
    made.storage.push_back(static_cast<uint8_t>(sizeWord >> 8));
    made.storage.push_back(static_cast<uint8_t>(height));
    made.storage.push_back(static_cast<uint8_t>(height >> 8));
    made.storage.insert(made.storage.end(), rows.begin(), rows.end());
    return made;
}

TEST(ImageLayout, ShortFormRowsFollowTheFourByteHeader)
{
    // 3 x 2 pixels of 4 bytes: rows 12 bytes apart, no padding.
    std::vector<uint8_t> rows;
    for (uint8_t i = 0; i < 24; ++i)
        rows.push_back(i);
    ShortImage made = makeShortImage(3, 2, 4, rows);
    const ImageLayout layout = imageLayout(made.image());
    EXPECT_EQ(layout.width, 3);
    EXPECT_EQ(layout.height, 2);
    EXPECT_EQ(layout.bytesPerPixel, 4);
    EXPECT_EQ(layout.pitch, 12);
    EXPECT_EQ(layout.pixels, made.storage.data() + 5);
    EXPECT_EQ(readPixel(made.image(), 0, 0), 0x03020100u);
    EXPECT_EQ(readPixel(made.image(), 2, 0), 0x0B0A0908u);
    EXPECT_EQ(readPixel(made.image(), 1, 1), 0x13121110u);
    EXPECT_EQ(readPixel(made.image(), 3, 0), PIXEL_OUTSIDE);
    EXPECT_EQ(readPixel(made.image(), 0, 2), PIXEL_OUTSIDE);
}

TEST(ImageLayout, ShortFormLargestWidthAndTwoBytePixels)
{
    // Width 8191 fills all 13 bits; a 2-byte pixel reads zero-extended.
    std::vector<uint8_t> rows(8191 * 2, 0);
    rows[8190 * 2] = 0x34;
    rows[8190 * 2 + 1] = 0x12;
    ShortImage made = makeShortImage(8191, 1, 2, rows);
    const ImageLayout layout = imageLayout(made.image());
    EXPECT_EQ(layout.width, 8191);
    EXPECT_EQ(layout.pitch, 8191 * 2);
    EXPECT_EQ(readPixel(made.image(), 8190, 0), 0x1234u);
    EXPECT_EQ(readPixel(made.image(), 8191, 0), PIXEL_OUTSIDE);
}

// Each pixel of a width x height image holds a value naming its position.
ImagePtr numberedImage(int32_t width, int32_t height, int32_t bytesPerPixel)
{
    ImagePtr image(createImageWithPixelSize(width, height, bytesPerPixel));
    const ImageLayout layout = imageLayout(image.get());
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t value = 0xA0000000u | static_cast<uint32_t>(y) << 12 | static_cast<uint32_t>(x);
            std::memcpy(layout.pixels + y * layout.pitch + x * bytesPerPixel, &value,
                        static_cast<size_t>(bytesPerPixel));  // little-endian: the low bytes
        }
    return image;
}

constexpr uint32_t at(uint32_t x, uint32_t y)
{
    return 0xA0000000u | y << 12 | x;
}

TEST(ReadPixel, RoundsHalvesAwayFromZeroAndKeepsToTheImage)
{
    ImagePtr image = numberedImage(512, 512, 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    struct Case {
        float x;
        float y;
        uint32_t expected;
    };
    const Case cases[] = {
        {0, 0, at(0, 0)},
        {0.49f, 0, at(0, 0)},
        {0.5f, 0, at(1, 0)},
        {1.5f, 2.5f, at(2, 3)},
        {-0.49f, -0.49f, at(0, 0)},
        {-0.5f, 0, PIXEL_OUTSIDE},
        {0, -0.5f, PIXEL_OUTSIDE},
        {-1, 0, PIXEL_OUTSIDE},
        {511, 511, at(511, 511)},
        {511.49f, 0, at(511, 0)},
        {0, 511.49f, at(0, 511)},
        {511.5f, 0, PIXEL_OUTSIDE},
        {0, 511.5f, PIXEL_OUTSIDE},
        {512, 0, PIXEL_OUTSIDE},
        {std::nextafter(511.5f, 0.0f), 7, at(511, 7)},
        {nan, 0, PIXEL_OUTSIDE},
        {0, nan, PIXEL_OUTSIDE},
        {infinity, 0, PIXEL_OUTSIDE},
        {-infinity, 0, PIXEL_OUTSIDE},
        {3e38f, 3e38f, PIXEL_OUTSIDE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readPixel(image.get(), c.x, c.y), c.expected) << "at (" << c.x << ", " << c.y << ")";
}

TEST(ReadPixel, GivesEachPixelSizeZeroExtended)
{
    struct Case {
        int32_t bytesPerPixel;
        uint32_t mask;
    };
    for (const Case c : {Case{4, 0xFFFFFFFF}, Case{2, 0xFFFF}, Case{1, 0xFF}}) {
        SCOPED_TRACE(c.bytesPerPixel);
        ImagePtr image = numberedImage(7, 5, c.bytesPerPixel);
        for (uint32_t y = 0; y < 5; ++y)
            for (uint32_t x = 0; x < 7; ++x)
                EXPECT_EQ(readPixel(image.get(), static_cast<float>(x), static_cast<float>(y)), at(x, y) & c.mask)
                    << "at (" << x << ", " << y << ")";
        EXPECT_EQ(readPixel(image.get(), 7, 0), PIXEL_OUTSIDE);
        EXPECT_EQ(readPixel(image.get(), 0, 5), PIXEL_OUTSIDE);
    }
}

TEST(ReadPixel, FreshImageReadsTheFillAndNullReadsOutside)
{
    ImagePtr four(createImageWithPixelSize(3, 3, 4));
    ImagePtr two(createImageWithPixelSize(3, 3, 2));
    ImagePtr one(createImageWithPixelSize(3, 3, 1));
    EXPECT_EQ(readPixel(four.get(), 2, 2), 0xFFFF00FFu);
    EXPECT_EQ(readPixel(two.get(), 2, 2), 0xF81Fu);
    EXPECT_EQ(readPixel(one.get(), 2, 2), 0xE3u);
    EXPECT_EQ(readPixel(nullptr, 0, 0), PIXEL_OUTSIDE);
}

}  // namespace
