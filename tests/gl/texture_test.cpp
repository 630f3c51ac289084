// Images to textures on a real OpenGL context: every result is read back from OpenGL.
#include "texture/texture.h"

#include "platform/image.h"
#include "sky/sky.h"
#include "support/bmp_writer.h"
#include "support/gl_test_window.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

struct ImageDeleter {
    void operator()(ImageBuffer* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<ImageBuffer, ImageDeleter>;

// A texel word as OpenGL hands it back with GL_RGBA and GL_UNSIGNED_BYTE: bytes R, G, B, A.
uint32_t rgba(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 0xFF)
{
    const std::array<uint8_t, 4> bytes = {red, green, blue, alpha};
    uint32_t word;
    std::memcpy(&word, bytes.data(), sizeof word);
    return word;
}

// A 4-byte pixel as images hold it: blue in bits 0-7, green 8-15, red 16-23.
constexpr uint32_t pixelOf(uint32_t red, uint32_t green, uint32_t blue, uint32_t top = 0)
{
    return (top << 24) | (red << 16) | (green << 8) | blue;
}

// Different in every channel from its neighbours, green always odd so never magenta, and a top
// byte that must not matter.
uint32_t patternPixel(int32_t x, int32_t y)
{
    const auto channel = [](int32_t value) { return static_cast<uint32_t>(value) & 0xFF; };
    return pixelOf(channel(x * 5 + y), channel(x * 3 + y * 7) | 1, channel(x ^ (y * 9)), channel(x + y * 31));
}

// The texel patternPixel(x, y) must become.
uint32_t patternTexel(int32_t x, int32_t y)
{
    const uint32_t pixel = patternPixel(x, y);
    return rgba(static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8), static_cast<uint8_t>(pixel));
}

void writePixel(const ImageLayout& layout, int32_t x, int32_t y, uint32_t value)
{
    // Little-endian: the low bytes of value are the pixel of a 1- or 2-byte image.
    std::memcpy(layout.pixels + y * layout.pitch + x * layout.bytesPerPixel, &value,
                static_cast<size_t>(layout.bytesPerPixel));
}

template <typename PixelAt>
ImagePtr makeImage(int32_t width, int32_t height, int32_t bytesPerPixel, PixelAt pixelAt)
{
    ImagePtr image(createImageWithPixelSize(width, height, bytesPerPixel));
    if (!image)
        return image;
    const ImageLayout layout = imageLayout(image.get());
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            writePixel(layout, x, y, pixelAt(x, y));
    }
    return image;
}

// A short-form image built by hand: pixel size in bits 0-2 and width in bits 3-15 of the first
// 16-bit word, the height in the second, rows of exactly width x bytesPerPixel from byte 4.
struct ShortImage {
    std::vector<uint32_t> words;  // 32-bit storage only for alignment
    const ImageBuffer* image() const { return reinterpret_cast<const ImageBuffer*>(words.data()); }
};

template <typename PixelAt>
ShortImage makeShortImage(int32_t width, int32_t height, int32_t bytesPerPixel, PixelAt pixelAt)
{
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    ShortImage result;
    result.words.resize((4 + rowBytes * static_cast<size_t>(height) + 3) / 4);
    auto* bytes = reinterpret_cast<uint8_t*>(result.words.data());
    const uint16_t header[2] = {static_cast<uint16_t>(width << 3 | bytesPerPixel), static_cast<uint16_t>(height)};
    std::memcpy(bytes, header, sizeof header);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t value = pixelAt(x, y);
            std::memcpy(bytes + 4 + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x * bytesPerPixel), &value,
                        static_cast<size_t>(bytesPerPixel));
        }
    }
    return result;
}

GLint boundTexture()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

GLint levelParameter(GLint level, GLenum parameter)
{
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, parameter, &value);
    return value;
}

GLint textureParameter(GLenum parameter)
{
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    return value;
}

// One level of the bound texture, texture row 0 (t = 0) first.
std::vector<uint32_t> levelTexels(GLint level)
{
    const GLint width = levelParameter(level, GL_TEXTURE_WIDTH);
    const GLint height = levelParameter(level, GL_TEXTURE_HEIGHT);
    std::vector<uint32_t> texels(static_cast<size_t>(width) * static_cast<size_t>(height));
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

// The first texel that differs, as a readable failure; success when all agree.
testing::AssertionResult texelsEqual(const std::vector<uint32_t>& got, const std::vector<uint32_t>& expected,
                                     int32_t width)
{
    if (got.size() != expected.size())
        return testing::AssertionFailure() << "got " << got.size() << " texels, expected " << expected.size();
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != expected[i]) {
            return testing::AssertionFailure()
                   << std::hex << "texel (s " << std::dec << i % static_cast<size_t>(width) << ", row "
                   << i / static_cast<size_t>(width) << std::hex << ") is 0x" << got[i] << ", expected 0x"
                   << expected[i] << " (words of bytes R, G, B, A)";
        }
    }
    return testing::AssertionSuccess();
}

// Deletes the textures a test made and unbinds, so that no test sees another's state.
struct GlTextures {
    std::vector<GLuint> names;
    ~GlTextures()
    {
        glBindTexture(GL_TEXTURE_2D, 0);
        if (!names.empty())
            glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
    }
    GLuint keep(GLuint name)
    {
        if (name != 0)
            names.push_back(name);
        return name;
    }
};

struct SizeCase {
    int32_t width, height, flags;
};

TEST(ImageToTexture, StoresEveryPixelBottomRowFirst)
{
    constexpr SizeCase CASES[] = {
        {64, 64, 0}, {512, 128, TEX_MIPMAP}, {128, 512, TEX_RGBA | TEX_NEAREST}, {64, 256, TEX_MASKED},
        {512, 512, TEX_MIPMAP},
    };
    for (const SizeCase& c : CASES) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " flags " << c.flags);
        GlTextures textures;
        ImagePtr image = makeImage(c.width, c.height, 4, patternPixel);
        ASSERT_TRUE(image);
        const GLuint name = textures.keep(imageToTexture(image.get(), c.flags));
        ASSERT_NE(name, 0u);
        EXPECT_EQ(boundTexture(), static_cast<GLint>(name));
        EXPECT_EQ(levelParameter(0, GL_TEXTURE_WIDTH), c.width);
        EXPECT_EQ(levelParameter(0, GL_TEXTURE_HEIGHT), c.height);

        std::vector<uint32_t> expected;
        for (int32_t row = 0; row < c.height; ++row) {
            for (int32_t x = 0; x < c.width; ++x)
                expected.push_back(patternTexel(x, c.height - 1 - row));
        }
        const std::vector<uint32_t> texels = levelTexels(0);
        EXPECT_TRUE(texelsEqual(texels, expected, c.width));
    }
}

TEST(ImageToTexture, TopLeftPixelIsTheCornerAtS0T1)
{
    constexpr uint32_t TOP_LEFT = pixelOf(0x12, 0x34, 0x56, 0xAB);
    constexpr uint32_t TOP_RIGHT = pixelOf(0x21, 0x43, 0x65, 0x00);
    constexpr uint32_t BOTTOM_LEFT = pixelOf(0x9A, 0xBC, 0xDE, 0xFF);
    constexpr uint32_t BOTTOM_RIGHT = pixelOf(0x01, 0x02, 0x03, 0x7F);
    constexpr int32_t SIZE = 64;
    GlTextures textures;
    ImagePtr image = makeImage(SIZE, SIZE, 4, [](int32_t x, int32_t y) {
        if (x == 0 && y == 0) return TOP_LEFT;
        if (x == SIZE - 1 && y == 0) return TOP_RIGHT;
        if (x == 0 && y == SIZE - 1) return BOTTOM_LEFT;
        if (x == SIZE - 1 && y == SIZE - 1) return BOTTOM_RIGHT;
        return pixelOf(0x80, 0x80, 0x80);
    });
    ASSERT_TRUE(image);
    ASSERT_NE(textures.keep(imageToTexture(image.get(), 0)), 0u);
    const std::vector<uint32_t> texels = levelTexels(0);
    ASSERT_EQ(texels.size(), static_cast<size_t>(SIZE * SIZE));
    const auto at = [&](int32_t s, int32_t row) { return texels[static_cast<size_t>(row * SIZE + s)]; };
    EXPECT_EQ(at(0, SIZE - 1), rgba(0x12, 0x34, 0x56)) << "top-left pixel belongs at s = 0, t = 1";
    EXPECT_EQ(at(SIZE - 1, SIZE - 1), rgba(0x21, 0x43, 0x65));
    EXPECT_EQ(at(0, 0), rgba(0x9A, 0xBC, 0xDE));
    EXPECT_EQ(at(SIZE - 1, 0), rgba(0x01, 0x02, 0x03));
}

struct FormatCase {
    int32_t flags;
    GLint internalFormat, minFilter, magFilter;
};

TEST(ImageToTexture, FormatFiltersAndMipmapChainComeFromTheFlags)
{
    constexpr FormatCase CASES[] = {
        {TEX_MIPMAP, GL_RGB, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
        {TEX_MIPMAP | TEX_NEAREST, GL_RGB, GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST},
        {TEX_MIPMAP | TEX_MASKED, GL_RGBA, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
        {0, GL_RGB, GL_LINEAR, GL_LINEAR},
        {TEX_NEAREST, GL_RGB, GL_NEAREST, GL_NEAREST},
        {TEX_RGBA, GL_RGBA, GL_LINEAR, GL_LINEAR},
    };
    constexpr int32_t WIDTH = 512;
    constexpr int32_t HEIGHT = 128;
    constexpr uint32_t COLOUR = pixelOf(0x20, 0x60, 0xA0, 0x11);
    ImagePtr image = makeImage(WIDTH, HEIGHT, 4, [](int32_t, int32_t) { return COLOUR; });
    ASSERT_TRUE(image);
    for (const FormatCase& c : CASES) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags);
        GlTextures textures;
        ASSERT_NE(textures.keep(imageToTexture(image.get(), c.flags)), 0u);
        EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), c.internalFormat);
        EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), c.minFilter);
        EXPECT_EQ(textureParameter(GL_TEXTURE_MAG_FILTER), c.magFilter);
        // The edge clamp belongs to face loading alone.
        EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
        EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);

        const int32_t levels = (c.flags & TEX_MIPMAP) != 0 ? 10 : 1;  // 512 x 128 down to 1 x 1
        for (int32_t level = 0; level < levels; ++level) {
            SCOPED_TRACE(testing::Message() << "level " << level);
            const GLint width = levelParameter(level, GL_TEXTURE_WIDTH);
            const GLint height = levelParameter(level, GL_TEXTURE_HEIGHT);
            EXPECT_EQ(width, std::max(WIDTH >> level, 1));
            EXPECT_EQ(height, std::max(HEIGHT >> level, 1));
            EXPECT_EQ(levelParameter(level, GL_TEXTURE_INTERNAL_FORMAT), c.internalFormat);
            const std::vector<uint32_t> texels = levelTexels(level);
            EXPECT_TRUE(texelsEqual(texels, std::vector<uint32_t>(texels.size(), rgba(0x20, 0x60, 0xA0)), width));
        }
        EXPECT_EQ(levelParameter(levels, GL_TEXTURE_WIDTH), 0) << "no level past the chain";
    }
}

TEST(ImageToTexture, MagentaIsKeyedOnlyWhenMasked)
{
    constexpr int32_t SIZE = 64;
    struct Spot {
        int32_t x, y;
        uint32_t pixel;
        uint32_t masked, plain;  // expected texels
    };
    const Spot spots[] = {
        {0, 0, 0xFFFF00FF, rgba(0, 0, 0, 0), rgba(0xFF, 0x00, 0xFF)},
        {5, 7, 0x00FF00FF, rgba(0, 0, 0, 0), rgba(0xFF, 0x00, 0xFF)},
        {SIZE - 1, SIZE - 1, 0x42FF00FF, rgba(0, 0, 0, 0), rgba(0xFF, 0x00, 0xFF)},
        {9, 9, 0x00FE00FF, rgba(0xFE, 0x00, 0xFF), rgba(0xFE, 0x00, 0xFF)},
        {10, 3, 0x00FF01FF, rgba(0xFF, 0x01, 0xFF), rgba(0xFF, 0x01, 0xFF)},
        {20, 30, 0xFF123456, rgba(0x12, 0x34, 0x56), rgba(0x12, 0x34, 0x56)},
    };
    ImagePtr image = makeImage(SIZE, SIZE, 4, [&](int32_t x, int32_t y) {
        for (const Spot& spot : spots) {
            if (spot.x == x && spot.y == y)
                return spot.pixel;
        }
        return pixelOf(0x10, 0x20, 0x30);
    });
    ASSERT_TRUE(image);
    for (const int32_t flags : {TEX_MASKED, TEX_MASKED | TEX_MIPMAP, 0, TEX_RGBA}) {
        SCOPED_TRACE(testing::Message() << "flags " << flags);
        GlTextures textures;
        ASSERT_NE(textures.keep(imageToTexture(image.get(), flags)), 0u);
        const bool masked = (flags & TEX_MASKED) != 0;
        if (masked || (flags & TEX_RGBA) != 0) {
            EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA) << "keyed texels need alpha stored";
        }
        const std::vector<uint32_t> texels = levelTexels(0);
        ASSERT_EQ(texels.size(), static_cast<size_t>(SIZE * SIZE));
        for (const Spot& spot : spots) {
            const uint32_t got = texels[static_cast<size_t>((SIZE - 1 - spot.y) * SIZE + spot.x)];
            EXPECT_EQ(got, masked ? spot.masked : spot.plain) << std::hex << "pixel 0x" << spot.pixel;
        }
    }
}

// The bytes of a tagged header alone: enough for sizes that must be refused before any pixel is read.
struct alignas(16) TaggedHeader {
    int32_t words[8];
    const ImageBuffer* image() const { return reinterpret_cast<const ImageBuffer*>(words); }
};

// The name glGenTextures hands out next, minus the one it handed out last: a name made and deleted
// again, twice, shows the allocator's step whichever way it reuses names.
struct NameProbe {
    GLuint before, after;
};
NameProbe probeNames()
{
    NameProbe probe{};
    glGenTextures(1, &probe.before);
    glDeleteTextures(1, &probe.before);
    glGenTextures(1, &probe.after);
    glDeleteTextures(1, &probe.after);
    return probe;
}

testing::AssertionResult refusedWithoutTrace(const ImageBuffer* image, int32_t flags)
{
    GLuint sentinel = 0;
    glGenTextures(1, &sentinel);
    glBindTexture(GL_TEXTURE_2D, sentinel);
    const NameProbe control = probeNames();
    while (glGetError() != GL_NO_ERROR) {
    }

    GLuint before = 0;
    glGenTextures(1, &before);
    glDeleteTextures(1, &before);
    const uint32_t name = imageToTexture(image, flags);
    const GLint bound = boundTexture();
    const GLenum error = glGetError();
    GLuint after = 0;
    glGenTextures(1, &after);
    glDeleteTextures(1, &after);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &sentinel);
    if (name != 0)
        glDeleteTextures(1, &name);

    if (name != 0)
        return testing::AssertionFailure() << "made texture " << name;
    if (bound != static_cast<GLint>(sentinel))
        return testing::AssertionFailure() << "binding changed from " << sentinel << " to " << bound;
    if (after - before != control.after - control.before)
        return testing::AssertionFailure() << "a texture name was taken: names went from " << before << " to "
                                           << after << ", with nothing in between from " << control.before
                                           << " to " << control.after;
    if (error != GL_NO_ERROR)
        return testing::AssertionFailure() << "OpenGL error 0x" << std::hex << error;
    return testing::AssertionSuccess();
}

TEST(ImageToTexture, RefusesSidesBelow64OrNotPowersOfTwoWithoutTrace)
{
    constexpr std::array<int32_t, 2> SIZES[] = {
        {32, 32}, {100, 128}, {48, 64}, {64, 48}, {128, 100}, {63, 64}, {64, 63}, {65, 64},
        {64, 65}, {1, 1}, {96, 96}, {64, 192},
    };
    for (const auto& [width, height] : SIZES) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        ImagePtr image = makeImage(width, height, 4, patternPixel);
        ASSERT_TRUE(image);
        for (const int32_t flags : {0, TEX_MIPMAP, TEX_MASKED | TEX_NEAREST})
            EXPECT_TRUE(refusedWithoutTrace(image.get(), flags));
    }

    // Sizes no image can be created with: zero and negative, the most negative included.
    constexpr std::array<int32_t, 2> HEADER_SIZES[] = {
        {0, 64}, {64, 0}, {-64, 64}, {64, -64}, {-64, -64}, {INT32_MIN, 64}, {64, INT32_MIN}, {-1, -1},
    };
    for (const auto& [width, height] : HEADER_SIZES) {
        SCOPED_TRACE(testing::Message() << width << " x " << height << " (header only)");
        const TaggedHeader header = {{static_cast<int32_t>(IMAGE_TAG_NEW), 4, width, height, 256, 0, 0, 0}};
        EXPECT_TRUE(refusedWithoutTrace(header.image(), TEX_MIPMAP));
    }

    // A short header's sides are unsigned, at most 8191 wide.
    const ShortImage narrow = makeShortImage(32, 64, 4, patternPixel);
    EXPECT_TRUE(refusedWithoutTrace(narrow.image(), 0));
    const ShortImage oddWidth = makeShortImage(8191, 64, 1, [](int32_t, int32_t) { return 0u; });
    EXPECT_TRUE(refusedWithoutTrace(oddWidth.image(), 0));
}

TEST(ImageToTexture, ShortFormConvertsLikeTaggedForm)
{
    constexpr int32_t WIDTH = 128;
    constexpr int32_t HEIGHT = 64;
    ImagePtr tagged = makeImage(WIDTH, HEIGHT, 4, patternPixel);
    ASSERT_TRUE(tagged);
    const ShortImage shortForm = makeShortImage(WIDTH, HEIGHT, 4, patternPixel);
    ASSERT_EQ(imageLayout(shortForm.image()).width, WIDTH);

    GlTextures textures;
    ASSERT_NE(textures.keep(imageToTexture(tagged.get(), TEX_MIPMAP)), 0u);
    const std::vector<uint32_t> fromTagged = levelTexels(0);
    const std::vector<uint32_t> fromTaggedSmallest = levelTexels(7);
    ASSERT_NE(textures.keep(imageToTexture(shortForm.image(), TEX_MIPMAP)), 0u);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_WIDTH), WIDTH);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_HEIGHT), HEIGHT);
    EXPECT_TRUE(texelsEqual(levelTexels(0), fromTagged, WIDTH));
    EXPECT_TRUE(texelsEqual(levelTexels(7), fromTaggedSmallest, 1));
}

// Narrow pixels go through the same read: a 2-byte image gives its raw 5-6-5 value and a 1-byte
// image its palette index, converted as if they were 32-bit pixels.
TEST(ImageToTexture, EveryPixelSizeAndFormConvertsWhatThePixelReadGives)
{
    constexpr int32_t SIZE = 64;
    for (const int32_t bytesPerPixel : {1, 2, 4}) {
        for (const bool shortForm : {false, true}) {
            SCOPED_TRACE(testing::Message() << bytesPerPixel << " bytes per pixel, "
                                            << (shortForm ? "short" : "tagged") << " form");
            ImagePtr tagged;
            ShortImage shortImage;
            const ImageBuffer* image = nullptr;
            if (shortForm) {
                shortImage = makeShortImage(SIZE, SIZE, bytesPerPixel, patternPixel);
                image = shortImage.image();
            } else {
                tagged = makeImage(SIZE, SIZE, bytesPerPixel, patternPixel);
                image = tagged.get();
            }
            ASSERT_NE(image, nullptr);
            for (const int32_t flags : {0, TEX_MASKED}) {
                std::vector<uint32_t> expected;
                for (int32_t y = SIZE - 1; y >= 0; --y) {
                    for (int32_t x = 0; x < SIZE; ++x) {
                        const uint32_t pixel =
                            readPixel(image, static_cast<float>(x), static_cast<float>(y));
                        expected.push_back(texelFromPixel(pixel, flags));
                    }
                }
                GlTextures textures;
                ASSERT_NE(textures.keep(imageToTexture(image, flags)), 0u);
                EXPECT_TRUE(texelsEqual(levelTexels(0), expected, SIZE)) << "flags " << flags;
            }
        }
    }
}

// Face files written into a folder of their own, removed again after each test.
struct FaceTextureTest : testing::Test {
    std::filesystem::path folder;
    GlTextures textures;

    void SetUp() override
    {
        char pattern[] = "/tmp/skyview-faces-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::string write(const char* name, const BmpFixture& fixture) const
    {
        const std::string path = (folder / name).string();
        EXPECT_TRUE(writeFileBytes(path, encodeBmp(fixture))) << path;
        return path;
    }

    // Loads a face as the viewer does and checks what every face texture shares: 512 x 512,
    // three channels, a mipmap chain down to 1 x 1, the viewer's filters, clamped edges, left bound.
    GLuint loadFace(const std::string& path)
    {
        uint32_t name = 0;
        loadFaceTexture(name, path.c_str());
        textures.keep(name);
        EXPECT_NE(name, 0u);
        EXPECT_EQ(boundTexture(), static_cast<GLint>(name));
        EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
        for (GLint level = 0; level <= 9; ++level) {
            EXPECT_EQ(levelParameter(level, GL_TEXTURE_WIDTH), 512 >> level) << "level " << level;
            EXPECT_EQ(levelParameter(level, GL_TEXTURE_HEIGHT), 512 >> level) << "level " << level;
        }
        EXPECT_EQ(levelParameter(10, GL_TEXTURE_WIDTH), 0);
        EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
        EXPECT_EQ(textureParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
        EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
        return name;
    }
};

uint32_t patternColour(int32_t x, int32_t y)
{
    return patternPixel(x, y) & 0xFFFFFF;
}

// What a 512 x 512 face texture holds when the file's picture is width x height: the picture's
// top-left part at the top-left (t = 1 downwards), magenta wherever the picture does not reach.
std::vector<uint32_t> expectedFace(int32_t width, int32_t height)
{
    std::vector<uint32_t> texels;
    for (int32_t row = 0; row < 512; ++row) {
        const int32_t y = 511 - row;
        for (int32_t x = 0; x < 512; ++x)
            texels.push_back(x < width && y < height ? patternTexel(x, y) : rgba(0xFF, 0x00, 0xFF));
    }
    return texels;
}

TEST_F(FaceTextureTest, MissingFileGivesOpaqueMagentaFace)
{
    for (const std::string& path : {(folder / "skyup.bmp").string(), folder.string(), std::string()}) {
        SCOPED_TRACE("file '" + path + "'");
        loadFace(path);
        for (const GLint level : {0, 4, 9}) {
            const std::vector<uint32_t> texels = levelTexels(level);
            EXPECT_TRUE(texelsEqual(texels, std::vector<uint32_t>(texels.size(), rgba(0xFF, 0x00, 0xFF)), 512 >> level))
                << "level " << level;
        }
    }
    // Not a BMP at all: the same.
    const std::string text = (folder / "skydn.bmp").string();
    ASSERT_TRUE(writeFileBytes(text, {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'}));
    loadFace(text);
    EXPECT_TRUE(texelsEqual(levelTexels(0), expectedFace(0, 0), 512));
}

TEST_F(FaceTextureTest, FaceFileFillsTheTextureTopRowAtT1)
{
    loadFace(write("skyft.bmp", picture24(512, 512, patternColour)));
    EXPECT_TRUE(texelsEqual(levelTexels(0), expectedFace(512, 512), 512));
}

TEST_F(FaceTextureTest, PartialAndOversizedPicturesAreClippedAtTheTopLeft)
{
    constexpr std::array<int32_t, 2> SIZES[] = {{256, 256}, {1024, 768}, {64, 512}, {512, 1}, {600, 200}};
    for (const auto& [width, height] : SIZES) {
        SCOPED_TRACE(testing::Message() << width << " x " << height << " picture");
        loadFace(write("skybk.bmp", picture24(width, height, patternColour)));
        EXPECT_TRUE(texelsEqual(levelTexels(0), expectedFace(width, height), 512));
    }
}

TEST_F(FaceTextureTest, TopDownAndBottomUpFilesGiveTheSameTexture)
{
    BmpFixture bottomUp = picture24(512, 512, patternColour);
    BmpFixture topDown = bottomUp;
    topDown.topDown = true;
    loadFace(write("skylf.bmp", bottomUp));
    std::vector<std::vector<uint32_t>> levels;
    for (GLint level = 0; level <= 9; ++level)
        levels.push_back(levelTexels(level));
    loadFace(write("skyrt.bmp", topDown));
    for (GLint level = 0; level <= 9; ++level)
        EXPECT_TRUE(texelsEqual(levelTexels(level), levels[static_cast<size_t>(level)], 512 >> level)) << "level " << level;
    EXPECT_TRUE(texelsEqual(levels[0], expectedFace(512, 512), 512));
}

}  // namespace
