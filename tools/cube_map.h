#pragma once
// The sky box as directions: where a face's texture coordinate points, and which face and
// coordinate a direction from the eye meets. Everything is read from SKY_CUBE, so a tool built on
// these places each picture exactly where the viewer draws it.
#include "sky/sky.h"

struct Vec3 {
    double x, y, z;
};

// Where a face's picture lies on the cube: position = origin + s * sAxis + t * tAxis.
struct FaceFrame {
    Vec3 origin;  // the corner at s = 0, t = 0
    Vec3 sAxis;
    Vec3 tAxis;
    int axis;     // 0, 1, 2 for the face's plane x, y or z = plane
    double plane;
};

FaceFrame faceFrame(SkyFace face);

// The point of the cube at texture coordinate (s, t) of the face, by bilinear interpolation of
// the table's corners; not normalised.
Vec3 cubePoint(SkyFace face, double s, double t);

struct FaceHit {
    SkyFace face;
    double s, t;
};

// The face a ray from the eye along direction meets first, and where (s and t in [0, 1]). On an
// edge either face may answer.
FaceHit faceHit(const Vec3& direction);

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double k, const Vec3& a) { return {k * a.x, k * a.y, k * a.z}; }
inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 normalised(const Vec3& a);
