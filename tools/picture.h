#pragma once
// Plain RGB pictures for the face tool, and the three files it writes: PNG (through libpng),
// binary PPM, and the 24-bit bottom-up BMP the viewer reads.
#include <cstdint>
#include <string>
#include <vector>

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;  // red, green, blue per pixel, top row first, no padding
};

Picture makePicture(int32_t width, int32_t height, uint32_t fillRgb);
// Colours as 0xRRGGBB.
uint32_t pictureAt(const Picture& picture, int32_t x, int32_t y);
void setPictureAt(Picture& picture, int32_t x, int32_t y, uint32_t rgb);

// Each output pixel the average of a factor x factor block; factor divides both sides.
Picture downscaled(const Picture& picture, int32_t factor);

// True when the whole file was written.
bool writePng(const Picture& picture, const std::string& path);
bool writePpm(const Picture& picture, const std::string& path);
bool writeBmp24(const Picture& picture, const std::string& path);
// PPM when the path ends in ".ppm", else PNG.
bool writePngOrPpm(const Picture& picture, const std::string& path);
