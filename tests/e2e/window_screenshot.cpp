// Saves a window of the display in DISPLAY as a PNG, for scripts/run and the README's picture:
//   window_screenshot [--scale N] TITLE OUT.png
// TITLE is the window's name (WM_NAME); N (1 to 8) shrinks the picture, each output pixel the
// mean of an N x N block. Exit status 0 on success, 1 on failure, 2 for a usage error.
#include "e2e/x_session.h"

#include <X11/Xlib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// libpng reports errors by longjmp back to the setjmp here; nothing with a destructor lives between.
bool encodeRows(png_structp png, png_infop info, FILE* file, const std::vector<uint8_t>& rows, int32_t width,
                int32_t height)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, &rows[static_cast<size_t>(y) * static_cast<size_t>(width) * 3]);
    png_write_end(png, nullptr);
    return true;
}

bool writePng(const std::string& path, const Capture& capture, int32_t scale)
{
    const int32_t width = capture.width / scale;
    const int32_t height = capture.height / scale;
    std::vector<uint8_t> rows(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            int32_t sum[3] = {0, 0, 0};
            for (int32_t dy = 0; dy < scale; ++dy)
                for (int32_t dx = 0; dx < scale; ++dx)
                    for (size_t c = 0; c < 3; ++c)
                        sum[c] += capture.at(x * scale + dx, y * scale + dy)[c];
            uint8_t* out = &rows[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            for (size_t c = 0; c < 3; ++c)
                out[c] = static_cast<uint8_t>(sum[c] / (scale * scale));
        }
    }

    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && encodeRows(png, info, file, rows, width, height);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    int32_t scale = 1;
    int first = 1;
    if (argc == 5 && std::strcmp(argv[1], "--scale") == 0) {
        scale = std::atoi(argv[2]);
        first = 3;
    }
    if (argc - first != 2 || scale < 1 || scale > 8) {
        std::fprintf(stderr, "usage: window_screenshot [--scale N] TITLE OUT.png\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "window_screenshot: cannot open the display\n");
        return 1;
    }
    const std::optional<Window> window = findWindow(display, argv[first], 10s);
    const std::optional<Capture> capture = window ? captureWindow(display, *window) : std::nullopt;
    XCloseDisplay(display);
    if (!capture) {
        std::fprintf(stderr, "window_screenshot: no window titled %s to read\n", argv[first]);
        return 1;
    }
    if (!writePng(argv[first + 1], *capture, scale)) {
        std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[first + 1]);
        return 1;
    }
    return 0;
}
