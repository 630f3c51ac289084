#pragma once
// A procedural sky to test a sky box with: blue gradient, sun, hills on the horizon, ground, and
// faint lines of latitude and longitude every 15 degrees. Each texel is coloured by the direction
// through its centre, so the six faces meet without a seam exactly when each lies where the viewer
// draws it; two coloured meridians (gold straight ahead at start, rose to the right) show a face
// that is turned or mirrored.
#include "cube_map.h"
#include "picture.h"

// 0xRRGGBB seen along direction (any length); texelAngle is the width of one texel there, in
// radians, over which edges and lines are smoothed.
uint32_t skyColour(const Vec3& direction, double texelAngle);

// The face's picture, size x size, top row first.
Picture paintFace(SkyFace face, int32_t size);
