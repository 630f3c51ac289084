#pragma once
// The viewer's view of the sky box, worked out on the CPU for tests to compare frames with: the
// ray through a screen pixel, where it meets the cube and at which texture coordinate, and where a
// point of the cube lands on the screen. Plus drawing one frame and reading it back.
#include "sky/sky.h"
#include "support/gl_test_window.h"

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <optional>
#include <vector>

struct Vec3 {
    double x, y, z;
};

struct View {
    float pitch, yaw, roll;  // degrees, as drawSky takes them
};

struct FaceHit {
    int32_t face;  // -1 when no face of the table lies that way
    double s, t;
};

constexpr double FIELD_OF_VIEW = 45.0;  // vertical, degrees
constexpr double ASPECT = 1.333333333333333;

inline double component(const Vec3& v, int32_t axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}
inline Vec3 sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 position(const SkyVertex& v) { return {v.x, v.y, v.z}; }
inline double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }
inline double focalLength() { return 1.0 / std::tan(radians(FIELD_OF_VIEW / 2)); }

// Right-handed rotations about the axes, as glRotatef builds them.
inline Vec3 rotateX(const Vec3& v, double degrees)
{
    const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    return {v.x, c * v.y - s * v.z, s * v.y + c * v.z};
}
inline Vec3 rotateY(const Vec3& v, double degrees)
{
    const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}
inline Vec3 rotateZ(const Vec3& v, double degrees)
{
    const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    return {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
}

// The model-view matrix of drawSky is Rx(pitch) Ry(yaw) Rz(roll): cube space to eye space.
inline Vec3 toEye(const Vec3& point, const View& view)
{
    return rotateX(rotateY(rotateZ(point, view.roll), view.yaw), view.pitch);
}

// The cube-space direction seen through the centre of screen pixel (px, py), py counted from the
// bottom as glReadPixels counts: the eye's ray turned back by the inverse rotations, in reverse order.
inline Vec3 viewRay(double px, double py, const View& view)
{
    const double xn = (px + 0.5) / GL_TEST_WIDTH * 2 - 1;
    const double yn = (py + 0.5) / GL_TEST_HEIGHT * 2 - 1;
    const Vec3 eye = {xn * ASPECT / focalLength(), yn / focalLength(), -1.0};
    return rotateZ(rotateY(rotateX(eye, -view.pitch), -view.yaw), -view.roll);
}

// Where a cube-space point lands on the screen, in pixels from the bottom-left corner (pixel
// centres at .5); nothing when it lies behind the eye.
inline std::optional<std::array<double, 2>> toScreen(const Vec3& point, const View& view)
{
    const Vec3 eye = toEye(point, view);
    if (eye.z > -1e-3)
        return std::nullopt;
    const double xn = eye.x * focalLength() / ASPECT / -eye.z;
    const double yn = eye.y * focalLength() / -eye.z;
    return std::array<double, 2>{(xn + 1) / 2 * GL_TEST_WIDTH, (yn + 1) / 2 * GL_TEST_HEIGHT};
}

// The plane of a face as the table gives it: the axis on which all four corners agree, and the sign.
inline std::array<int32_t, 2> facePlane(int32_t face)
{
    for (int32_t axis = 0; axis < 3; ++axis) {
        const double value = component(position(SKY_CUBE[face][0]), axis);
        bool shared = true;
        for (const SkyVertex& v : SKY_CUBE[face])
            shared = shared && component(position(v), axis) == value;
        if (shared)
            return {axis, value > 0 ? 1 : -1};
    }
    return {-1, 0};
}

// Where a ray from the centre meets the cube, and the texture coordinate there: the quad's corners
// P1..P4 span P(a, b) = P1 + a (P2 - P1) + b (P4 - P1), and the coordinate is the bilinear blend of
// the four corner coordinates at (a, b).
inline FaceHit hitCube(const Vec3& ray)
{
    int32_t axis = 0;
    for (int32_t a = 1; a < 3; ++a) {
        if (std::abs(component(ray, a)) > std::abs(component(ray, axis)))
            axis = a;
    }
    const double scale = 1.0 / std::abs(component(ray, axis));
    const Vec3 point = {ray.x * scale, ray.y * scale, ray.z * scale};
    const int32_t sign = component(ray, axis) > 0 ? 1 : -1;
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        if (facePlane(face) != std::array<int32_t, 2>{axis, sign})
            continue;
        const SkyVertex* quad = SKY_CUBE[face];
        const Vec3 origin = position(quad[0]);
        const Vec3 edgeA = sub(position(quad[1]), origin);
        const Vec3 edgeB = sub(position(quad[3]), origin);
        const double a = dot(sub(point, origin), edgeA) / dot(edgeA, edgeA);
        const double b = dot(sub(point, origin), edgeB) / dot(edgeB, edgeB);
        const double w[4] = {(1 - a) * (1 - b), a * (1 - b), a * b, (1 - a) * b};
        double s = 0, t = 0;
        for (size_t i = 0; i < 4; ++i) {
            s += w[i] * quad[i].s;
            t += w[i] * quad[i].t;
        }
        return {face, s, t};
    }
    return {-1, 0, 0};
}

using Rgb = std::array<int32_t, 3>;

struct Frame {
    std::vector<uint8_t> rgba;  // bottom row first, as glReadPixels gives it
    Rgb at(int32_t px, int32_t py) const
    {
        const size_t i = 4 * (static_cast<size_t>(py) * GL_TEST_WIDTH + static_cast<size_t>(px));
        return {rgba[i], rgba[i + 1], rgba[i + 2]};
    }
};

inline Frame readFrame()
{
    glFinish();
    Frame frame;
    frame.rgba.resize(4 * static_cast<size_t>(GL_TEST_WIDTH) * GL_TEST_HEIGHT);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    return frame;
}

// One frame as the viewer draws it: both buffers cleared, identity model-view, the sky.
inline Frame renderSky(const View& view)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    drawSky(view.pitch, view.yaw, view.roll);
    return readFrame();
}
