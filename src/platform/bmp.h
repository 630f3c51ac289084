#pragma once
// BMP loading into an existing image. The picture's top-left lands on the image's top-left,
// clipped to the smaller width and height; the image's header never changes. A file that cannot
// be opened or is not accepted leaves the image as it was; pixel data that ends early keeps the
// rows converted so far.
//
// Accepted: "BM"; a 12-byte core header or an info header of 16 bytes or more; 0 or 1 plane;
// width > 0, height != 0 (negative: top-down rows); uncompressed 1, 4, 8, 16 (5-5-5), 24 and 32
// bits per pixel, bit fields (one run of bits per mask) at 16 and 32, RLE8 and RLE4 bottom-up.
// A 4-byte pixel is loaded as 0xFF000000 | red << 16 | green << 8 | blue, top byte opaque; narrow
// channels widen by repeating their top bits. A 2-byte image gets that colour as 5-6-5; a 1-byte
// image the colour-table index of a palettised file, else the colour as 3-3-2. Colour-table
// entries the file does not hold (past its count, or cut off by the pixel data) read as black.
// Pixels that run-length data never sets keep the image's fill.
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
    const char* unsupportedForm = nullptr;  // BMP_UNSUPPORTED: the form, in words; valid until the
                                            // next load on the same thread
    int64_t dataEndsAtRow = -1;     // BMP_DATA_ENDS_EARLY: the row where the data stopped, counted from the
                                    // picture's top: the first in file order not loaded whole
};

// Opens fileName as bytes, closes it before returning. 0 on success, else a BmpResult. A null
// image only checks the file. Files over 256 MiB are refused as unsupported.
int32_t loadBmp(ImageBuffer* image, const char* fileName, BmpDetails* details = nullptr);
// The same on bytes already in memory.
int32_t loadBmpFromMemory(ImageBuffer* image, const uint8_t* bytes, size_t size, BmpDetails* details = nullptr);
// A short text for a result code.
const char* bmpResultText(int32_t result);
