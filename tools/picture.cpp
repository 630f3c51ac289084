#include "picture.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace {

size_t pixelIndex(const Picture& picture, int32_t x, int32_t y)
{
    return (static_cast<size_t>(y) * static_cast<size_t>(picture.width) + static_cast<size_t>(x)) * 3;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

void put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

Picture makePicture(int32_t width, int32_t height, uint32_t fillRgb)
{
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0; i < picture.rgb.size(); i += 3) {
        picture.rgb[i] = static_cast<uint8_t>(fillRgb >> 16);
        picture.rgb[i + 1] = static_cast<uint8_t>(fillRgb >> 8);
        picture.rgb[i + 2] = static_cast<uint8_t>(fillRgb);
    }
    return picture;
}

uint32_t pictureAt(const Picture& picture, int32_t x, int32_t y)
{
    const uint8_t* at = picture.rgb.data() + pixelIndex(picture, x, y);
    return static_cast<uint32_t>(at[0]) << 16 | static_cast<uint32_t>(at[1]) << 8 | at[2];
}

void setPictureAt(Picture& picture, int32_t x, int32_t y, uint32_t rgb)
{
    uint8_t* at = picture.rgb.data() + pixelIndex(picture, x, y);
    at[0] = static_cast<uint8_t>(rgb >> 16);
    at[1] = static_cast<uint8_t>(rgb >> 8);
    at[2] = static_cast<uint8_t>(rgb);
}

Picture downscaled(const Picture& picture, int32_t factor)
{
    if (factor <= 1)
        return picture;
    Picture small = makePicture(picture.width / factor, picture.height / factor, 0);
    const uint32_t count = static_cast<uint32_t>(factor * factor);
    for (int32_t y = 0; y < small.height; ++y) {
        for (int32_t x = 0; x < small.width; ++x) {
            uint32_t sum[3] = {0, 0, 0};
            for (int32_t dy = 0; dy < factor; ++dy)
                for (int32_t dx = 0; dx < factor; ++dx) {
                    const uint8_t* at = picture.rgb.data() + pixelIndex(picture, x * factor + dx, y * factor + dy);
                    for (size_t c = 0; c < 3; ++c)
                        sum[c] += at[c];
                }
            uint8_t* to = small.rgb.data() + pixelIndex(small, x, y);
            for (size_t c = 0; c < 3; ++c)
                to[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return small;
}

bool writePng(const Picture& picture, const std::string& path)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_RGB;
    const int written = png_image_write_to_file(&image, path.c_str(), 0, picture.rgb.data(), 0, nullptr);
    png_image_free(&image);
    return written != 0;
}

bool writePpm(const Picture& picture, const std::string& path)
{
    const std::string header = "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), picture.rgb.begin(), picture.rgb.end());
    return writeBytes(path, bytes);
}

bool writeBmp24(const Picture& picture, const std::string& path)
{
    const uint32_t rowBytes = (static_cast<uint32_t>(picture.width) * 3 + 3) & ~3u;
    const uint32_t dataBytes = rowBytes * static_cast<uint32_t>(picture.height);
    constexpr uint32_t HEADERS = 14 + 40;
    std::vector<uint8_t> out = {'B', 'M'};
    out.reserve(HEADERS + dataBytes);
    put32(out, HEADERS + dataBytes);
    put32(out, 0);
    put32(out, HEADERS);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(picture.width));
    put32(out, static_cast<uint32_t>(picture.height));  // positive: bottom row first
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);  // uncompressed
    put32(out, dataBytes);
    put32(out, 2835);  // 72 dots per inch
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int32_t y = picture.height - 1; y >= 0; --y) {
        const size_t start = out.size();
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint8_t* at = picture.rgb.data() + pixelIndex(picture, x, y);
            out.push_back(at[2]);  // stored blue, green, red
            out.push_back(at[1]);
            out.push_back(at[0]);
        }
        out.resize(start + rowBytes, 0);
    }
    return writeBytes(path, out);
}

bool writePngOrPpm(const Picture& picture, const std::string& path)
{
    const bool ppm = path.size() >= 4 && path.compare(path.size() - 4, 4, ".ppm") == 0;
    return ppm ? writePpm(picture, path) : writePng(picture, path);
}
