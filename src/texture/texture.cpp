#include "texture/texture.h"

#include "platform/bmp.h"
#include "platform/image.h"
#include "platform/window.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <bit>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int32_t FACE_SIZE = 512;
constexpr int32_t MIN_TEXTURE_SIDE = 64;
constexpr uint32_t KEY_COLOUR = 0xFF00FF;  // magenta, after red and blue have changed places
constexpr uint32_t OPAQUE = 0xFF000000;

bool acceptedSide(int32_t side)
{
    // side >= 64 first, so side - 1 cannot overflow and a negative side never reaches the bit test.
    return side >= MIN_TEXTURE_SIDE && (side & (side - 1)) == 0;
}

}  // namespace

TextureFormat textureFormat(int32_t flags)
{
    TextureFormat format;
    format.internalFormat = (flags & (TEX_MASKED | TEX_RGBA)) != 0 ? GL_RGBA : GL_RGB;
    format.magFilter = (flags & TEX_NEAREST) != 0 ? GL_NEAREST : GL_LINEAR;
    if ((flags & TEX_MIPMAP) != 0)
        format.minFilter = (flags & TEX_NEAREST) != 0 ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_LINEAR;
    else
        format.minFilter = format.magFilter;
    return format;
}

// Pixels hold blue in bits 0-7, green in 8-15 and red in 16-23. The texel is uploaded as GL_RGBA
// with GL_UNSIGNED_BYTE, which reads its bytes in memory order R, G, B, A: on a little-endian
// machine that is red in bits 0-7, green 8-15, blue 16-23 and alpha 24-31.
static_assert(std::endian::native == std::endian::little, "texels are built as little-endian words");
uint32_t texelFromPixel(uint32_t pixel, int32_t flags)
{
    const uint32_t texel = ((pixel & 0xFF) << 16) | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF);
    if ((flags & TEX_MASKED) != 0 && texel == KEY_COLOUR)
        return 0;
    return texel | OPAQUE;
}

namespace {

// Every pixel read once, in texture order: the image's bottom row becomes texture row 0, which
// OpenGL places at t = 0, so the top of the picture lies at t = 1. KEY is the flags' TEX_MASKED
// bit, a constant here so that the test for it leaves the loop.
template <int32_t KEY>
void fillTexels(const ImageLayout& layout, uint32_t* texel)
{
    // Below 2^24 every coordinate is a whole float, and at whole-number coordinates inside the
    // image a 4-byte read gives the stored word (image.h): such rows are read straight, without
    // the read's rounding and range checks, which cannot fail here and would cost more than the
    // conversion itself. Other pixel sizes go through the read.
    constexpr int32_t FLOAT_EXACT = 1 << 24;
    const bool straight = layout.bytesPerPixel == 4 && layout.width <= FLOAT_EXACT && layout.height <= FLOAT_EXACT;
    for (int32_t y = layout.height - 1; y >= 0; --y) {
        if (straight) {
            const uint8_t* row = layout.pixels + y * layout.pitch;
            for (int32_t x = 0; x < layout.width; ++x, row += 4) {
                uint32_t pixel;
                std::memcpy(&pixel, row, sizeof pixel);
                *texel++ = texelFromPixel(pixel, KEY);
            }
        } else {
            for (int32_t x = 0; x < layout.width; ++x)
                *texel++ = texelFromPixel(readPixel(layout, static_cast<float>(x), static_cast<float>(y)), KEY);
        }
    }
}

}  // namespace

uint32_t imageToTexture(const ImageBuffer* image, int32_t flags)
{
    const ImageLayout layout = imageLayout(image);
    const int32_t width = layout.width;
    const int32_t height = layout.height;
    if (!acceptedSide(width) || !acceptedSide(height))
        return 0;

    // Both sides are powers of two below 2^31, so the product fits in 64 bits. A size that
    // cannot be allocated fails like a rejected one: before any OpenGL call.
    std::vector<uint32_t> scratch;
    try {
        scratch.resize(static_cast<size_t>(static_cast<int64_t>(width) * height));
    } catch (const std::bad_alloc&) {
        return 0;
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);

    if ((flags & TEX_MASKED) != 0)
        fillTexels<TEX_MASKED>(layout, scratch.data());
    else
        fillTexels<0>(layout, scratch.data());

    const TextureFormat format = textureFormat(flags);
    if ((flags & TEX_MIPMAP) != 0) {
        gluBuild2DMipmaps(GL_TEXTURE_2D, format.internalFormat, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                          scratch.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, format.internalFormat, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     scratch.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, format.minFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, format.magFilter);
    return name;
}

void loadFaceTexture(uint32_t& textureName, const char* fileName)
{
    ImageBuffer* image = createImage(FACE_SIZE, FACE_SIZE, 0);
    if (image == nullptr) {
        textureName = 0;
        return;
    }
    // A file that does not load leaves the image magenta, which is how a missing face shows.
    loadBmp(image, fileName);
    textureName = imageToTexture(image, TEX_MIPMAP);
    // The texture holds its own copy; nothing refers to the image after the conversion.
    destroyImage(image);

    // Without clamping, filtering at a face's border samples the opposite border and seams show.
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
}
