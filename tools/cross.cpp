#include "cross.h"

#include <algorithm>
#include <cmath>

namespace {

// The viewer at yaw 0 looks along -z with +x to its right and +y up; turning right by a quarter
// turn k times looks along heading(k). Quarter turns as whole numbers keep the vectors exact.
constexpr Vec3 heading(int32_t quarterTurns)
{
    constexpr double SINE[4] = {0, 1, 0, -1};
    const int32_t k = quarterTurns & 3;
    return {SINE[k], 0, -SINE[(k + 1) & 3]};
}

constexpr Vec3 UP{0, 1, 0};
constexpr Vec3 DOWN{0, -1, 0};

constexpr Vec3 negated(const Vec3& v) { return {-v.x, -v.y, -v.z}; }

// 5 x 7 glyphs for the face file names, one row a byte, the leftmost column in bit 4.
struct Glyph {
    char letter;
    uint8_t rows[7];
};

constexpr Glyph GLYPHS[] = {
    {'s', {0x00, 0x00, 0x0F, 0x10, 0x0E, 0x01, 0x1E}}, {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'y', {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E}}, {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}}, {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}},
    {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}}, {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}}, {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}},
    {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
};

const Glyph* findGlyph(char letter)
{
    for (const Glyph& glyph : GLYPHS)
        if (glyph.letter == letter)
            return &glyph;
    return nullptr;
}

uint32_t darker(uint32_t rgb)
{
    return (rgb >> 1) & 0x7F7F7F;
}

}  // namespace

const CrossCell CROSS_CELLS[6] = {
    {0, 1, heading(0), heading(1), UP},
    {1, 1, heading(1), heading(2), UP},
    {2, 1, heading(2), heading(3), UP},
    {3, 1, heading(3), heading(0), UP},
    // Looking up, the strip's first face lies below: the view's top is the way behind.
    {0, 0, UP, heading(1), negated(heading(0))},
    // Looking down, the strip's first face lies above.
    {0, 2, DOWN, heading(1), heading(0)},
};

Picture unfoldCross(const std::array<Picture, FACE_COUNT>& faces)
{
    const int32_t n = faces[0].width;
    Picture cross = makePicture(CROSS_COLUMNS * n, CROSS_ROWS * n, CROSS_BACKGROUND);
    for (const CrossCell& cell : CROSS_CELLS) {
        for (int32_t py = 0; py < n; ++py) {
            const double v = 1 - 2 * (py + 0.5) / n;
            for (int32_t px = 0; px < n; ++px) {
                const double u = 2 * (px + 0.5) / n - 1;
                const FaceHit hit = faceHit(cell.forward + u * cell.right + v * cell.up);
                // Cell and face texels share one grid, so the hit lies at a texel centre and the
                // nearest texel is exact.
                const int32_t x = std::min(n - 1, static_cast<int32_t>(std::floor(hit.s * n)));
                const int32_t y = std::min(n - 1, static_cast<int32_t>(std::floor((1 - hit.t) * n)));
                setPictureAt(cross, cell.column * n + px, cell.row * n + py, pictureAt(faces[static_cast<size_t>(hit.face)], x, y));
            }
        }
    }
    return cross;
}

void stampLabel(Picture& face, const std::string& text)
{
    const int32_t scale = std::max(1, face.width / 128);
    const int32_t margin = 4 * scale;
    const int32_t advance = 6 * scale;
    const int32_t boxWidth = static_cast<int32_t>(text.size()) * advance + 3 * scale;
    const int32_t boxHeight = 11 * scale;
    for (int32_t y = margin; y < std::min(face.height, margin + boxHeight); ++y)
        for (int32_t x = margin; x < std::min(face.width, margin + boxWidth); ++x)
            setPictureAt(face, x, y, darker(pictureAt(face, x, y)));
    int32_t left = margin + 2 * scale;
    const int32_t top = margin + 2 * scale;
    for (const char letter : text) {
        if (const Glyph* glyph = findGlyph(letter)) {
            for (int32_t row = 0; row < 7 * scale; ++row)
                for (int32_t column = 0; column < 5 * scale; ++column) {
                    const int32_t x = left + column;
                    const int32_t y = top + row;
                    const bool set = (glyph->rows[row / scale] >> (4 - column / scale) & 1) != 0;
                    if (set && x < face.width && y < face.height)
                        setPictureAt(face, x, y, 0xFFFFFF);
                }
        }
        left += advance;
    }
}
