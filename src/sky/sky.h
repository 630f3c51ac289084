#pragma once
// The sky box: a cube of six textured squares around the eye, compiled once into a display list
// and drawn every frame with rotation only, behind everything else.
#include <cstdint>

enum SkyFace : int32_t { FACE_UP, FACE_DOWN, FACE_RIGHT, FACE_LEFT, FACE_FRONT, FACE_BACK, FACE_COUNT };

// Each face's picture file, in the current directory.
inline constexpr const char* SKY_FACE_FILES[FACE_COUNT] = {
    "skyup.bmp", "skydn.bmp", "skyrt.bmp", "skylf.bmp", "skyft.bmp", "skybk.bmp",
};

struct SkyVertex {
    double s, t;     // t = 1 is the top edge of the face's picture, s = 0 its left edge
    float x, y, z;
};

// The cube, half-size 1 around the eye: four vertices a face, in drawing order.
inline constexpr SkyVertex SKY_CUBE[FACE_COUNT][4] = {
    /* up,    y = +1 */ {{0, 1, -1, 1, -1}, {1, 1, -1, 1, 1}, {1, 0, 1, 1, 1}, {0, 0, 1, 1, -1}},
    /* down,  y = -1 */ {{0, 1, 1, -1, -1}, {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, 1, -1, 1}},
    /* right, x = +1 */ {{1, 1, 1, 1, 1}, {0, 1, 1, 1, -1}, {0, 0, 1, -1, -1}, {1, 0, 1, -1, 1}},
    /* left,  x = -1 */ {{0, 1, -1, 1, 1}, {1, 1, -1, 1, -1}, {1, 0, -1, -1, -1}, {0, 0, -1, -1, 1}},
    /* front, z = +1 */ {{0, 1, 1, 1, 1}, {1, 1, -1, 1, 1}, {1, 0, -1, -1, 1}, {0, 0, 1, -1, 1}},
    /* back,  z = -1 */ {{1, 1, 1, 1, -1}, {0, 1, -1, 1, -1}, {0, 0, -1, -1, -1}, {1, 0, 1, -1, -1}},
};

// The face textures by SkyFace; 0 until the faces are loaded.
extern uint32_t faceTextures[FACE_COUNT];
// The compiled cube; 0 until buildSkyList has run.
extern uint32_t skyList;

// Compiles the cube with these six texture names into skyList; draws nothing.
void buildSkyList(const uint32_t textureNames[FACE_COUNT]);
// Draws the cube around the eye turned by pitch about X, then yaw about Y, then roll about Z
// (degrees), whatever matrix the caller had; leaves the enable flags as they were, the colour white
// and the depth buffer cleared.
void drawSky(float pitch, float yaw, float roll);
