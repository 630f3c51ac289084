#pragma once
// The six faces unfolded into one picture, 4 x 3 cells, each cell as the viewer shows it from
// inside the box: the side faces in a strip, turning right from the one straight ahead at start;
// above the first the view straight up, below it the view straight down. Every cross pixel is a
// direction and samples the face it meets, so faces land where the viewer puts them, turns included.
#include "cube_map.h"
#include "picture.h"

#include <array>
#include <string>

constexpr int32_t CROSS_COLUMNS = 4;
constexpr int32_t CROSS_ROWS = 3;
constexpr uint32_t CROSS_BACKGROUND = 0x303030;  // cells outside the cross

// A cell's point (u, v), both in [-1, 1], u to the right and v up, looks along
// forward + u * right + v * up.
struct CrossCell {
    int32_t column;
    int32_t row;
    Vec3 forward;
    Vec3 right;
    Vec3 up;
};

// The strip's four cells left to right, then the view up, then the view down.
extern const CrossCell CROSS_CELLS[6];

// faces: FACE_COUNT square pictures of one size n, indexed by SkyFace. The cross is 4n x 3n.
Picture unfoldCross(const std::array<Picture, FACE_COUNT>& faces);

// Writes text in the face picture's top-left corner, the way the file's own pixels run, so the
// label reads upright exactly when the file's top is up in the view.
void stampLabel(Picture& face, const std::string& text);
