// The pure parts of the texture conversion, no OpenGL context needed: format and filters from the
// flags, one pixel to one texel, and face loading without a window.
#include "texture/texture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

struct FormatCase {
    int32_t flags;
    int32_t internalFormat;
    int32_t minFilter;
    int32_t magFilter;
};

constexpr FormatCase FORMAT_CASES[] = {
    {0, GL_RGB, GL_LINEAR, GL_LINEAR},
    {TEX_MIPMAP, GL_RGB, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},  // the faces
    {TEX_NEAREST, GL_RGB, GL_NEAREST, GL_NEAREST},
    {TEX_MIPMAP | TEX_NEAREST, GL_RGB, GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST},
    {TEX_MASKED, GL_RGBA, GL_LINEAR, GL_LINEAR},
    {TEX_RGBA, GL_RGBA, GL_LINEAR, GL_LINEAR},
    {TEX_MASKED | TEX_RGBA, GL_RGBA, GL_LINEAR, GL_LINEAR},
    {TEX_MASKED | TEX_MIPMAP, GL_RGBA, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
    {TEX_RGBA | TEX_NEAREST, GL_RGBA, GL_NEAREST, GL_NEAREST},
    {TEX_MASKED | TEX_MIPMAP | TEX_NEAREST | TEX_RGBA, GL_RGBA, GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST},
    {0x10 | 0x100 | TEX_MIPMAP, GL_RGB, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},  // unknown bits ignored
    {-1, GL_RGBA, GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST},
};

TEST(TextureFormat, FormatAndFiltersFollowTheFlags)
{
    for (const FormatCase& c : FORMAT_CASES) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags);
        const TextureFormat format = textureFormat(c.flags);
        EXPECT_EQ(format.internalFormat, c.internalFormat);
        EXPECT_EQ(format.minFilter, c.minFilter);
        EXPECT_EQ(format.magFilter, c.magFilter);
    }
}

using Bytes = std::array<uint8_t, 4>;

struct TexelCase {
    uint32_t pixel;
    int32_t flags;
    Bytes memory;  // the texel's bytes in memory order, as OpenGL reads them: R, G, B, A
};

constexpr TexelCase TEXEL_CASES[] = {
    // red 0x12, green 0x34, blue 0x56: opaque whatever the top byte holds
    {0x00123456, 0, {0x12, 0x34, 0x56, 0xFF}},
    {0xFF123456, 0, {0x12, 0x34, 0x56, 0xFF}},
    {0x5A123456, TEX_MIPMAP, {0x12, 0x34, 0x56, 0xFF}},
    {0x80123456, TEX_MASKED, {0x12, 0x34, 0x56, 0xFF}},
    {0x00000000, 0, {0x00, 0x00, 0x00, 0xFF}},
    {0xFFFFFFFF, 0, {0xFF, 0xFF, 0xFF, 0xFF}},
    // magenta is keyed only under TEX_MASKED, whatever the top byte
    {0xFFFF00FF, 0, {0xFF, 0x00, 0xFF, 0xFF}},
    {0xFFFF00FF, TEX_RGBA, {0xFF, 0x00, 0xFF, 0xFF}},
    {0xFFFF00FF, TEX_MASKED, {0x00, 0x00, 0x00, 0x00}},
    {0x00FF00FF, TEX_MASKED, {0x00, 0x00, 0x00, 0x00}},
    {0x37FF00FF, TEX_MASKED | TEX_MIPMAP | TEX_NEAREST, {0x00, 0x00, 0x00, 0x00}},
    // one step off magenta in each channel is an ordinary colour
    {0x00FE00FF, TEX_MASKED, {0xFE, 0x00, 0xFF, 0xFF}},
    {0x00FF01FF, TEX_MASKED, {0xFF, 0x01, 0xFF, 0xFF}},
    {0x00FF00FE, TEX_MASKED, {0xFF, 0x00, 0xFE, 0xFF}},
    // a 2-byte image reads its raw 5-6-5 magenta, which is no key colour as a 32-bit pixel
    {0x0000F81F, TEX_MASKED, {0x00, 0xF8, 0x1F, 0xFF}},
};

TEST(TextureFormat, TexelSwapsRedAndBlueAndForcesAlphaUnlessKeyed)
{
    for (const TexelCase& c : TEXEL_CASES) {
        SCOPED_TRACE(testing::Message() << std::hex << "pixel 0x" << c.pixel << " flags 0x" << c.flags);
        const uint32_t texel = texelFromPixel(c.pixel, c.flags);
        Bytes memory;
        std::memcpy(memory.data(), &texel, sizeof texel);
        EXPECT_EQ(memory, c.memory);
    }
}

TEST(TextureFormat, FaceWithoutWindowGetsNoTexture)
{
    uint32_t name = 1234;
    loadFaceTexture(name, "skyup.bmp");
    EXPECT_EQ(name, 0u);
}

}  // namespace
