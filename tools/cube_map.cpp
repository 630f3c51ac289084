#include "cube_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

Vec3 position(const SkyVertex& vertex) { return {vertex.x, vertex.y, vertex.z}; }

double component(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// The table's vertex at corner (s, t), each 0 or 1. The quads list their corners in drawing
// order, not by coordinate, so look them up.
Vec3 corner(SkyFace face, double s, double t)
{
    for (const SkyVertex& vertex : SKY_CUBE[face])
        if (vertex.s == s && vertex.t == t)
            return position(vertex);
    std::abort();  // every face has all four corners; a table without them is a build mistake
}

FaceFrame makeFrame(SkyFace face)
{
    FaceFrame frame{};
    frame.origin = corner(face, 0, 0);
    frame.sAxis = corner(face, 1, 0) - frame.origin;
    frame.tAxis = corner(face, 0, 1) - frame.origin;
    // The plane is the coordinate all four corners share.
    for (int axis = 0; axis < 3; ++axis) {
        const double first = component(position(SKY_CUBE[face][0]), axis);
        bool shared = true;
        for (const SkyVertex& vertex : SKY_CUBE[face])
            shared = shared && component(position(vertex), axis) == first;
        if (shared) {
            frame.axis = axis;
            frame.plane = first;
        }
    }
    return frame;
}

const std::array<FaceFrame, FACE_COUNT>& frames()
{
    static const std::array<FaceFrame, FACE_COUNT> all = [] {
        std::array<FaceFrame, FACE_COUNT> made{};
        for (int face = 0; face < FACE_COUNT; ++face)
            made[static_cast<size_t>(face)] = makeFrame(static_cast<SkyFace>(face));
        return made;
    }();
    return all;
}

}  // namespace

FaceFrame faceFrame(SkyFace face) { return frames()[static_cast<size_t>(face)]; }

Vec3 cubePoint(SkyFace face, double s, double t)
{
    const Vec3 p00 = corner(face, 0, 0);
    const Vec3 p10 = corner(face, 1, 0);
    const Vec3 p01 = corner(face, 0, 1);
    const Vec3 p11 = corner(face, 1, 1);
    return (1 - s) * (1 - t) * p00 + s * (1 - t) * p10 + (1 - s) * t * p01 + s * t * p11;
}

FaceHit faceHit(const Vec3& direction)
{
    // The first plane the ray reaches is the one with the smallest positive distance along it.
    FaceHit best{FACE_UP, 0, 0};
    double nearest = INFINITY;
    for (int face = 0; face < FACE_COUNT; ++face) {
        const FaceFrame& frame = frames()[static_cast<size_t>(face)];
        const double along = component(direction, frame.axis);
        if (along == 0 || (along > 0) != (frame.plane > 0))
            continue;
        const double distance = frame.plane / along;
        if (distance < nearest) {
            nearest = distance;
            best.face = static_cast<SkyFace>(face);
        }
    }
    // A face is a parallelogram, so the bilinear map is affine and inverts with a 2 x 2 solve.
    const FaceFrame& frame = frames()[static_cast<size_t>(best.face)];
    const Vec3 offset = nearest * direction - frame.origin;
    const double ss = dot(frame.sAxis, frame.sAxis);
    const double st = dot(frame.sAxis, frame.tAxis);
    const double tt = dot(frame.tAxis, frame.tAxis);
    const double os = dot(offset, frame.sAxis);
    const double ot = dot(offset, frame.tAxis);
    const double determinant = ss * tt - st * st;
    best.s = std::clamp((os * tt - ot * st) / determinant, 0.0, 1.0);
    best.t = std::clamp((ot * ss - os * st) / determinant, 0.0, 1.0);
    return best;
}

Vec3 normalised(const Vec3& a)
{
    const double length = std::sqrt(dot(a, a));
    return (1 / length) * a;
}
