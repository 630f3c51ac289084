#include "platform/image.h"

#include <cstdlib>

namespace {

// Far above any face (1 MiB) or screen, far below what would make the arithmetic below overflow.
constexpr int64_t MAX_IMAGE_BYTES = int64_t{1} << 30;
constexpr int64_t ROW_ALIGNMENT = 16;

// Header fields are little-endian whatever the host; the bytes may sit at any address (a short
// form's rows follow a 4-byte header), hence byte reads.
uint32_t readLe32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

uint16_t readLe16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

void writeLe32(uint8_t* at, uint32_t value)
{
    for (int32_t i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The first row gets the fill's bytes in memory order, every other row a copy of it: a face
// (1 MiB) fills at memory speed.
void fillRows(uint8_t* rows, int64_t pitch, int64_t height, int32_t bytesPerPixel)
{
    uint8_t pattern[4];
    if (bytesPerPixel == 4)
        writeLe32(pattern, IMAGE_FILL_4);
    else if (bytesPerPixel == 2)
        writeLe32(pattern, static_cast<uint32_t>(IMAGE_FILL_2) * 0x10001u);
    else
        writeLe32(pattern, static_cast<uint32_t>(IMAGE_FILL_1) * 0x01010101u);
    for (int64_t i = 0; i < pitch; i += 4)
        std::memcpy(rows + i, pattern, 4);
    for (int64_t y = 1; y < height; ++y)
        std::memcpy(rows + y * pitch, rows, static_cast<size_t>(pitch));
}

}  // namespace

ImageBuffer* createImageWithPixelSize(int32_t width, int32_t height, int32_t bytesPerPixel)
{
    if (width <= 0 || height <= 0 || (bytesPerPixel != 1 && bytesPerPixel != 2 && bytesPerPixel != 4))
        return nullptr;
    // width x 4 < 2^33, so the pitch is exact in 64 bits; once it is at most 2^30, pitch x height
    // stays below 2^61.
    const int64_t pitch = (int64_t{width} * bytesPerPixel + ROW_ALIGNMENT - 1) / ROW_ALIGNMENT * ROW_ALIGNMENT;
    if (pitch > MAX_IMAGE_BYTES || pitch * height > MAX_IMAGE_BYTES - IMAGE_HEADER_BYTES)
        return nullptr;
    const int64_t rowBytes = pitch * height;
    // aligned_alloc wants a multiple of the alignment: 32 and the pitch both are. It returns null
    // rather than throwing when memory runs out.
    auto* block = static_cast<uint8_t*>(
        std::aligned_alloc(static_cast<size_t>(ROW_ALIGNMENT), static_cast<size_t>(IMAGE_HEADER_BYTES + rowBytes)));
    if (block == nullptr)
        return nullptr;

    const uint32_t header[8] = {IMAGE_TAG_NEW, static_cast<uint32_t>(bytesPerPixel), static_cast<uint32_t>(width),
                                static_cast<uint32_t>(height), static_cast<uint32_t>(pitch), 0, 0, 0};
    for (int32_t word = 0; word < 8; ++word)
        writeLe32(block + 4 * word, header[word]);
    fillRows(block + IMAGE_HEADER_BYTES, pitch, height, bytesPerPixel);
    return reinterpret_cast<ImageBuffer*>(block);
}

void destroyImage(ImageBuffer* image)
{
    std::free(image);
}

ImageLayout imageLayout(const ImageBuffer* image)
{
    // The layout hands out writable rows (the decoder writes through it); constness of the
    // header is the caller's business, as with the image itself.
    auto* bytes = reinterpret_cast<uint8_t*>(const_cast<ImageBuffer*>(image));
    ImageLayout layout{};
    if (readLe32(bytes) == IMAGE_TAG_NEW) {
        layout.bytesPerPixel = static_cast<int32_t>(readLe32(bytes + 4));
        layout.width = static_cast<int32_t>(readLe32(bytes + 8));
        layout.height = static_cast<int32_t>(readLe32(bytes + 12));
        layout.pitch = static_cast<int32_t>(readLe32(bytes + 16));
        layout.pixels = bytes + IMAGE_HEADER_BYTES;
    } else {
        const uint16_t sizeWord = readLe16(bytes);
        layout.bytesPerPixel = sizeWord & 7;
        layout.width = sizeWord >> 3;
        layout.height = readLe16(bytes + 2);
        layout.pitch = int64_t{layout.width} * layout.bytesPerPixel;
        layout.pixels = bytes + SHORT_HEADER_BYTES;
    }
    return layout;
}

uint32_t readPixel(const ImageBuffer* image, float x, float y)
{
    if (image == nullptr)
        return PIXEL_OUTSIDE;
    return readPixel(imageLayout(image), x, y);
}
