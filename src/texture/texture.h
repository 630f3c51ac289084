#pragma once
// Face pictures to OpenGL textures. imageToTexture is the one place textures are made: it checks
// the size, converts every pixel (red and blue swapped, opaque, magenta keyed on request) and picks
// format and filters from the flags; loadFaceTexture adds the BMP load and the edge clamp.
#include <cstdint>

struct ImageBuffer;

constexpr int32_t TEX_MASKED = 1;   // key colour 0xFF00FF becomes texel 0; four channels stored
constexpr int32_t TEX_MIPMAP = 2;   // full mipmap chain, mipmapping minification
constexpr int32_t TEX_NEAREST = 4;  // nearest magnification; nearest mipmap level
constexpr int32_t TEX_RGBA = 8;     // four channels stored, no keying

// OpenGL enumerants chosen by a flags word, as plain integers so callers need no GL header.
struct TextureFormat {
    int32_t internalFormat;
    int32_t minFilter;
    int32_t magFilter;
};
TextureFormat textureFormat(int32_t flags);

// One pixel read to one scratch texel: a word whose bytes in memory read R, G, B, A.
uint32_t texelFromPixel(uint32_t pixel, int32_t flags);

// A new texture, left bound to GL_TEXTURE_2D, from an image of either header form; 0 with no
// OpenGL call made when a side is below 64 or not a power of two.
uint32_t imageToTexture(const ImageBuffer* image, int32_t flags);

// Loads one face file (relative to the current directory) into a 512 x 512 magenta image and
// makes a mipmapped, edge-clamped texture of it. Stores 0 when no image could be made.
void loadFaceTexture(uint32_t& textureName, const char* fileName);
