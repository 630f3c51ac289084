#pragma once
// BMP loading into an existing image. The picture's top-left lands on the image's top-left,
// clipped to the smaller width and height; the image's header never changes. A file that cannot
// be opened or is not accepted leaves the image as it was; pixel data that ends early keeps the
// rows converted so far.
#include <cstddef>
#include <cstdint>

struct ImageBuffer;

enum BmpResult : int32_t {
    BMP_OK = 0,
    BMP_CANNOT_OPEN = 1,
    BMP_NOT_BMP = 2,          // short, or no "BM" signature
    BMP_UNSUPPORTED = 3,      // a BMP, but a form this decoder does not accept
    BMP_DATA_ENDS_EARLY = 4,  // header accepted, pixel data cut off
};

// What a load found out about the file, for tools that explain a result.
struct BmpDetails {
    int32_t width = 0;              // as the header gives them; height negative for top-down rows
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    const char* unsupportedForm = nullptr;  // BMP_UNSUPPORTED: the form, in words
    int64_t dataEndsAtRow = -1;     // BMP_DATA_ENDS_EARLY: first row (counted from the picture's top) not loaded whole
};

// Opens fileName as bytes, closes it before returning. 0 on success, else a BmpResult.
int32_t loadBmp(ImageBuffer* image, const char* fileName, BmpDetails* details = nullptr);
// The same on bytes already in memory.
int32_t loadBmpFromMemory(ImageBuffer* image, const uint8_t* bytes, size_t size, BmpDetails* details = nullptr);
// A short text for a result code.
const char* bmpResultText(int32_t result);
