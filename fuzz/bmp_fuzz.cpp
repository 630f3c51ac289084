// libFuzzer target for the BMP decoder: any bytes, loaded from memory into images of every pixel
// size, some with padded rows; whatever the result, the headers and the row padding stay as
// created and the result is one of the known codes with matching details.
#include "platform/bmp.h"
#include "platform/image.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Target {
    ImageBuffer* image;
    uint8_t header[IMAGE_HEADER_BYTES];
    uint8_t fill[4];  // the fill's bytes in memory
};

Target makeTarget(int32_t width, int32_t height, int32_t bytesPerPixel)
{
    Target target{};
    target.image = createImageWithPixelSize(width, height, bytesPerPixel);
    if (target.image == nullptr)
        std::abort();
    std::memcpy(target.header, target.image, sizeof target.header);
    const ImageLayout layout = imageLayout(target.image);
    std::memcpy(target.fill, layout.pixels + layout.pitch - 4, 4);  // padding: still the fill
    return target;
}

void checkUntouched(const Target& target)
{
    if (std::memcmp(target.header, target.image, sizeof target.header) != 0)
        std::abort();
    const ImageLayout layout = imageLayout(target.image);
    const int64_t used = int64_t{layout.width} * layout.bytesPerPixel;
    for (int64_t y = 0; y < layout.height; ++y) {
        const uint8_t* row = layout.pixels + y * layout.pitch;
        for (int64_t i = used; i < layout.pitch; ++i)
            if (row[i] != target.fill[i % 4])
                std::abort();
    }
}

void checkDetails(int32_t result, const BmpDetails& details)
{
    const bool known = result >= BMP_OK && result <= BMP_DATA_ENDS_EARLY;
    const bool formSaid = (result == BMP_UNSUPPORTED) == (details.unsupportedForm != nullptr);
    const int64_t rows = details.height < 0 ? -int64_t{details.height} : details.height;
    const bool rowSaid = result == BMP_DATA_ENDS_EARLY ? details.dataEndsAtRow >= 0 && details.dataEndsAtRow < rows
                                                       : details.dataEndsAtRow == -1;
    if (!known || !formSaid || !rowSaid)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Made once: the face size (4-byte rows of 2048 bytes, no padding), and sizes whose rows are
    // padded at each pixel size.
    static const Target targets[] = {
        makeTarget(512, 512, 4),
        makeTarget(509, 509, 4),
        makeTarget(509, 509, 1),
        makeTarget(13, 7, 2),
    };
    for (const Target& target : targets) {
        BmpDetails details;
        const int32_t result = loadBmpFromMemory(target.image, data, size, &details);
        checkDetails(result, details);
        checkUntouched(target);
    }
    return 0;
}
