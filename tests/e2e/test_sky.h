#pragma once
// The sky the end-to-end tests show the viewer: each face split into four quadrants of colours no
// other quadrant has, so that any pixel of a frame tells which face the viewer drew there and which
// way up. The expected frame comes from the cube table (SKY_CUBE) and the viewer's projection.
#include "e2e/x_session.h"
#include "sky/sky.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t FACE_PICTURE_SIZE = 512;  // fills the viewer's face image exactly
constexpr Rgb MISSING_FACE = {255, 0, 255};  // magenta

// Colour of quadrant (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right) of a face's picture.
Rgb quadrantColour(int32_t face, int32_t quadrant);

// Writes the six faces as 24-bit BMP files into folder, leaving out the faces listed.
void writeTestSky(const std::string& folder, const std::vector<SkyFace>& leftOut = {});

struct ViewAngles {
    int32_t pitch, yaw;  // degrees, as the viewer accumulates them
};

struct Mismatch {
    int32_t x, y;  // window pixel, y downwards
    Rgb expected, got;
};

struct Comparison {
    int32_t compared = 0;             // sample points far enough from every colour boundary
    std::vector<Mismatch> mismatches;
};

// Compares a frame of the viewer's window with the view at these angles, at a grid of sample
// points, skipping points within a few pixels of a boundary between two colours.
Comparison compareView(const Capture& frame, ViewAngles view, const std::vector<SkyFace>& missing = {});
std::string describe(const Comparison& comparison);
