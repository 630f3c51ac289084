#include "face_load.h"

#include "platform/bmp.h"
#include "platform/image.h"

#include <cstdlib>
#include <filesystem>

namespace {

std::string sizeText(const BmpDetails& details)
{
    // The height's sign only says the row order; 64-bit so the most negative height negates.
    const long long height = std::llabs(static_cast<long long>(details.height));
    return std::to_string(details.width) + " x " + std::to_string(height) + ", " +
           std::to_string(details.bitsPerPixel) + " bits";
}

std::string fitText(const BmpDetails& details)
{
    const long long height = std::llabs(static_cast<long long>(details.height));
    std::string text;
    if (details.width > FACE_SIZE || height > FACE_SIZE)
        text += ", cropped";
    if (details.width < FACE_SIZE || height < FACE_SIZE)
        text += ", partial";
    return text;
}

std::string describeLoad(int32_t result, const BmpDetails& details, const std::string& path)
{
    switch (result) {
    case BMP_OK:
        return "ok " + sizeText(details) + fitText(details);
    case BMP_CANNOT_OPEN: {
        std::error_code error;
        return std::filesystem::exists(path, error) ? "magenta: cannot open" : "magenta: missing";
    }
    case BMP_NOT_BMP:
        return "magenta: not a BMP";
    case BMP_UNSUPPORTED:
        return std::string("magenta: unsupported: ") +
               (details.unsupportedForm != nullptr ? details.unsupportedForm : "unknown form");
    case BMP_DATA_ENDS_EARLY: {
        const std::string where = "pixel data ends at row " + std::to_string(details.dataEndsAtRow);
        // Top-down rows that stop below the face's last row leave nothing magenta on it.
        if (details.height < 0 && details.dataEndsAtRow >= FACE_SIZE)
            return "ok " + sizeText(details) + fitText(details) + ", " + where;
        return "magenta: " + where + " (" + sizeText(details) + ")";
    }
    default:
        return "magenta: load result " + std::to_string(result);
    }
}

}  // namespace

FaceLoad loadFace(const std::string& path)
{
    FaceLoad load;
    ImageBuffer* image = createImageWithPixelSize(FACE_SIZE, FACE_SIZE, 4);
    if (image == nullptr) {
        load.picture = makePicture(FACE_SIZE, FACE_SIZE, IMAGE_FILL_4 & 0xFFFFFF);
        load.status = "magenta: out of memory";
        return load;
    }
    BmpDetails details;
    const int32_t result = loadBmp(image, path.c_str(), &details);
    // unsupportedForm lasts only until the next load, so the words are taken now.
    load.status = describeLoad(result, details, path);
    load.whole = result == BMP_OK && details.width == FACE_SIZE && std::llabs(details.height) == FACE_SIZE;

    load.picture = makePicture(FACE_SIZE, FACE_SIZE, 0);
    const ImageLayout layout = imageLayout(image);
    for (int32_t y = 0; y < FACE_SIZE; ++y)
        for (int32_t x = 0; x < FACE_SIZE; ++x)
            setPictureAt(load.picture, x, y, readPixel(layout, static_cast<float>(x), static_cast<float>(y)) & 0xFFFFFF);
    destroyImage(image);
    return load;
}

std::string statusLine(const std::string& faceName, const std::string& fileName, const std::string& status)
{
    const auto padded = [](const std::string& text, size_t width) {
        return text.size() < width ? text + std::string(width - text.size(), ' ') : text;
    };
    return padded(faceName, 6) + " " + padded(fileName, 9) + "  " + status;
}
