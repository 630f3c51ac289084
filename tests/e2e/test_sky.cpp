#include "e2e/test_sky.h"

#include "gl/sky_view.h"
#include "support/bmp_writer.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

// Within this many pixels of a boundary a sample could show a blend of two colours (linear
// filtering spans a texel, under 4 pixels anywhere on the screen), so it is not compared; a view
// off by one degree moves every boundary by about 16 pixels, far more than this.
constexpr int32_t MARGIN = 4;
constexpr int32_t GRID_STEP = 8;
constexpr int32_t CHANNEL_TOLERANCE = 2;

// Three levels per channel, far apart, so that even a blurred sample cannot pass for another colour.
constexpr int32_t LEVELS[3] = {0x10, 0x80, 0xF0};

std::vector<Rgb> makePalette()
{
    std::vector<Rgb> palette;
    for (int32_t r : LEVELS)
        for (int32_t g : LEVELS)
            for (int32_t b : LEVELS) {
                // Magenta is what a missing face shows; no quadrant may look like it.
                if (!(r == 0xF0 && g == 0x10 && b == 0xF0))
                    palette.push_back({r, g, b});
            }
    return palette;
}

bool isMissing(const std::vector<SkyFace>& missing, int32_t face)
{
    return std::find(missing.begin(), missing.end(), face) != missing.end();
}

// The colour the viewer should show at window pixel (x, y), y downwards.
Rgb colourAt(const View& view, double x, double y, const std::vector<SkyFace>& missing)
{
    // viewRay counts rows from the bottom, as OpenGL does.
    const FaceHit hit = hitCube(viewRay(x, GL_TEST_HEIGHT - 1 - y, view));
    if (hit.face < 0)
        return {-1, -1, -1};
    if (isMissing(missing, hit.face))
        return MISSING_FACE;
    // t = 1 is the top edge of the picture and s = 0 its left edge.
    const int32_t quadrant = (hit.t > 0.5 ? 0 : 2) + (hit.s < 0.5 ? 0 : 1);
    return quadrantColour(hit.face, quadrant);
}

}  // namespace

Rgb quadrantColour(int32_t face, int32_t quadrant)
{
    static const std::vector<Rgb> palette = makePalette();
    return palette[static_cast<size_t>(face * 4 + quadrant)];
}

void writeTestSky(const std::string& folder, const std::vector<SkyFace>& leftOut)
{
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        if (isMissing(leftOut, face))
            continue;
        const BmpFixture picture = picture24(FACE_PICTURE_SIZE, FACE_PICTURE_SIZE, [face](int32_t x, int32_t y) {
            const int32_t quadrant = (y < FACE_PICTURE_SIZE / 2 ? 0 : 2) + (x < FACE_PICTURE_SIZE / 2 ? 0 : 1);
            const Rgb colour = quadrantColour(face, quadrant);
            return static_cast<uint32_t>(colour[0] << 16 | colour[1] << 8 | colour[2]);
        });
        writeFileBytes(folder + "/" + SKY_FACE_FILES[face], encodeBmp(picture));
    }
}

Comparison compareView(const Capture& frame, ViewAngles angles, const std::vector<SkyFace>& missing)
{
    const View view = {static_cast<float>(angles.pitch), static_cast<float>(angles.yaw), 0.0f};
    Comparison comparison;
    for (int32_t y = GRID_STEP / 2; y < frame.height; y += GRID_STEP) {
        for (int32_t x = GRID_STEP / 2; x < frame.width; x += GRID_STEP) {
            const Rgb expected = colourAt(view, x, y, missing);
            bool clear = expected[0] >= 0;
            for (int32_t dy = -MARGIN; dy <= MARGIN && clear; dy += MARGIN)
                for (int32_t dx = -MARGIN; dx <= MARGIN && clear; dx += MARGIN)
                    clear = colourAt(view, x + dx, y + dy, missing) == expected;
            if (!clear)
                continue;
            ++comparison.compared;
            const Rgb got = frame.at(x, y);
            for (size_t c = 0; c < 3; ++c) {
                if (std::abs(got[c] - expected[c]) > CHANNEL_TOLERANCE) {
                    comparison.mismatches.push_back({x, y, expected, got});
                    break;
                }
            }
        }
    }
    return comparison;
}

std::string describe(const Comparison& comparison)
{
    std::ostringstream text;
    text << comparison.mismatches.size() << " of " << comparison.compared << " sample points differ";
    const size_t shown = std::min<size_t>(comparison.mismatches.size(), 8);
    for (size_t i = 0; i < shown; ++i) {
        const Mismatch& m = comparison.mismatches[i];
        text << "\n  at (" << m.x << ", " << m.y << ") expected " << m.expected[0] << "," << m.expected[1] << ","
             << m.expected[2] << " got " << m.got[0] << "," << m.got[1] << "," << m.got[2];
    }
    return text.str();
}
