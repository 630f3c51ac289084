#pragma once
// Images as the viewer keeps them: one block holding a header, tagged or short form, followed by
// pixel rows, top row first. Creation with an explicit pixel size, the layout of either header form,
// and the pixel read. Creation at the screen's pixel size belongs to the window (window.h); BMP
// loading into an image to the decoder (bmp.h).
#include <cstdint>
#include <cstring>

// Always handled by pointer; the bytes behind it are the header, then the rows.
struct ImageBuffer;

// First word of a tagged header. A short header can never hold it: its low three bits hold the
// pixel size, which is 1, 2 or 4.
constexpr uint32_t IMAGE_TAG_NEW = 7;
constexpr int64_t IMAGE_HEADER_BYTES = 32;
constexpr int64_t SHORT_HEADER_BYTES = 4;
// What creation fills every byte of every row with, padding included.
constexpr uint32_t IMAGE_FILL_4 = 0xFFFF00FF;  // opaque magenta
constexpr uint16_t IMAGE_FILL_2 = 0xF81F;      // magenta as 5-6-5
constexpr uint8_t IMAGE_FILL_1 = 0xE3;         // magenta as 3-3-2
// A pixel read outside the image.
constexpr uint32_t PIXEL_OUTSIDE = 0xFFFFFFFF;

// Where an image's pixels are, read once from either header form.
struct ImageLayout {
    int32_t width;
    int32_t height;
    int32_t bytesPerPixel;
    int64_t pitch;          // bytes from one row's start to the next
    uint8_t* pixels;        // row 0, the top row
};

// A tagged image of width x height pixels of 1, 2 or 4 bytes, filled as above; header and rows on
// 16-byte boundaries, pitch = width x bytesPerPixel rounded up to 16. Null for a size it cannot
// hold or when memory runs out.
ImageBuffer* createImageWithPixelSize(int32_t width, int32_t height, int32_t bytesPerPixel);
void destroyImage(ImageBuffer* image);

// Reads the header of either form. A short form's rows are width x bytesPerPixel bytes apart.
ImageLayout imageLayout(const ImageBuffer* image);

// Pixel (x, y) with each coordinate rounded to the nearest whole number, halves away from zero:
// a 4-byte image gives the stored word unchanged, a 2-byte image the raw 5-6-5 value, a 1-byte
// image the palette index; PIXEL_OUTSIDE for a position outside the image (NaN included).
uint32_t readPixel(const ImageBuffer* image, float x, float y);

// The same read on a layout taken once, for loops over every pixel.
inline uint32_t readPixel(const ImageLayout& layout, float x, float y)
{
    // Exact in double for every float: a float has 24 significant bits, so adding 0.5 loses
    // nothing, and truncating rounds halves away from zero inside the accepted interval.
    const double dx = x;
    const double dy = y;
    if (!(dx > -0.5 && dx < layout.width - 0.5 && dy > -0.5 && dy < layout.height - 0.5))
        return PIXEL_OUTSIDE;
    const int64_t column = static_cast<int64_t>(dx + 0.5);
    const int64_t row = static_cast<int64_t>(dy + 0.5);
    const uint8_t* at = layout.pixels + row * layout.pitch + column * layout.bytesPerPixel;
    switch (layout.bytesPerPixel) {
    case 4: { uint32_t word; std::memcpy(&word, at, 4); return word; }
    case 2: { uint16_t half; std::memcpy(&half, at, 2); return half; }
    default: return *at;
    }
}
