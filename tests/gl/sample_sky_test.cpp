// The sample sky, made by the project's own tool and loaded as the viewer loads it, seen across
// every cube edge: the pixels on either side of an edge must continue each other. A face in the
// wrong place, mirrored or turned breaks that continuity and shows as a seam: the sky's gradient
// alone is too symmetric to tell, but its hills, its coloured lines and its sun are not, and a
// line that reaches an edge on one side must go on across it.
#include "sky/sky.h"

#include "sky_view.h"
#include "support/gl_test_window.h"
#include "texture/texture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Each side is extrapolated to the edge from its pixels NEAR and FAR pixels away, so a smooth
// gradient across the edge is no seam. Where one side's samples differ by more than SMOOTH (a line
// runs along the edge or crosses it at a slant, an outline or the sun is near) the point is left
// out; a line crossing the edge squarely keeps every sample of a side on it, and is judged.
constexpr double NEAR = 5.0;
constexpr double FAR = 8.0;
constexpr int32_t SMOOTH = 8;
constexpr int32_t TOLERANCE = 24;  // per channel, for filtering at different scales on both sides
constexpr double SCREEN_MARGIN = 10.0;

struct Edge {
    Vec3 from, to;
    int32_t faces[2];
};

// The faces of the table that hold both ends of an edge.
std::array<int32_t, 2> facesOf(const Vec3& a, const Vec3& b)
{
    std::array<int32_t, 2> faces = {-1, -1};
    size_t found = 0;
    for (int32_t face = 0; face < FACE_COUNT && found < 2; ++face) {
        const auto [axis, sign] = facePlane(face);
        if (component(a, axis) == sign && component(b, axis) == sign)
            faces[found++] = face;
    }
    return faces;
}

std::vector<Edge> cubeEdges()
{
    std::vector<Edge> edges;
    for (int32_t axis = 0; axis < 3; ++axis) {
        for (const double p : {-1.0, 1.0}) {
            for (const double q : {-1.0, 1.0}) {
                Vec3 from{}, to{};
                const auto set = [](Vec3& v, int32_t a, double value) { (a == 0 ? v.x : a == 1 ? v.y : v.z) = value; };
                set(from, axis, -1.0);
                set(to, axis, 1.0);
                set(from, (axis + 1) % 3, p);
                set(to, (axis + 1) % 3, p);
                set(from, (axis + 2) % 3, q);
                set(to, (axis + 2) % 3, q);
                const std::array<int32_t, 2> faces = facesOf(from, to);
                edges.push_back({from, to, {faces[0], faces[1]}});
            }
        }
    }
    return edges;
}

std::filesystem::path skyFolder;

struct SampleSkyTest : testing::Test {
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/skyview-sample-sky-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        skyFolder = pattern;
        const std::string command =
            std::string("'") + SKYFACE_PATH + "' generate '" + skyFolder.string() + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        for (int32_t face = 0; face < FACE_COUNT; ++face) {
            const std::filesystem::path file = skyFolder / SKY_FACE_FILES[face];
            ASSERT_TRUE(std::filesystem::exists(file)) << file;
            loadFaceTexture(faceTextures[face], file.c_str());
            ASSERT_NE(faceTextures[face], 0u);
        }
        buildSkyList(faceTextures);
    }

    static void TearDownTestSuite()
    {
        if (skyList != 0)
            glDeleteLists(skyList, 1);
        skyList = 0;
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(FACE_COUNT, faceTextures);
        for (uint32_t& name : faceTextures)
            name = 0;
        std::error_code ignored;
        std::filesystem::remove_all(skyFolder, ignored);
    }

    void SetUp() override { setViewerProjection(); }
};

// Distances from the edge, in pixels along the screen normal, that one side is sampled at. The
// colour at the edge is extrapolated from NEAR and FAR; all of them must lie close together.
constexpr double ACROSS[] = {4.0, NEAR, 6.0, 7.0, FAR, 10.0, 13.0, 16.0};

struct SideSample {
    int32_t face;
    Rgb near, far;
    bool smooth;
};

// One side of an edge point, sampled along the screen normal at each distance of ACROSS.
std::optional<SideSample> sideSample(const Frame& frame, const View& view, const std::array<double, 2>& at,
                                     const std::array<double, 2>& normal, double side)
{
    SideSample sample{-1, {}, {}, true};
    Rgb low = {255, 255, 255}, high = {0, 0, 0};
    for (const double across : ACROSS) {
        const double x = at[0] + side * across * normal[0];
        const double y = at[1] + side * across * normal[1];
        const int32_t px = static_cast<int32_t>(std::floor(x));
        const int32_t py = static_cast<int32_t>(std::floor(y));
        if (px < 0 || py < 0 || px >= GL_TEST_WIDTH || py >= GL_TEST_HEIGHT)
            return std::nullopt;
        const int32_t face = hitCube(viewRay(px, py, view)).face;
        if (sample.face >= 0 && face != sample.face)
            return std::nullopt;
        sample.face = face;
        const Rgb colour = frame.at(px, py);
        for (size_t c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], colour[c]);
            high[c] = std::max(high[c], colour[c]);
        }
        if (across == NEAR)
            sample.near = colour;
        if (across == FAR)
            sample.far = colour;
    }
    for (size_t c = 0; c < 3; ++c)
        sample.smooth = sample.smooth && high[c] - low[c] <= SMOOTH;
    return sample;
}

// The colour a side's straight gradient reaches at the edge itself.
std::array<double, 3> atEdge(const SideSample& sample)
{
    std::array<double, 3> colour{};
    for (size_t c = 0; c < 3; ++c)
        colour[c] = sample.near[c] + (sample.near[c] - sample.far[c]) * NEAR / (FAR - NEAR);
    return colour;
}

struct SeamCount {
    int32_t checked = 0;
    int32_t seams = 0;
    testing::Message firstSeams;
};

// Walks one cube edge on the screen and compares both sides at every point it can judge.
void checkEdge(const Frame& frame, const View& view, const Edge& edge, SeamCount& count)
{
    // About a pixel apart on the screen, so that no line crossing the edge is stepped over.
    constexpr int32_t STEPS = 2000;
    for (int32_t step = 1; step < STEPS; ++step) {
        const double u = static_cast<double>(step) / STEPS;
        const Vec3 point = {edge.from.x + u * (edge.to.x - edge.from.x), edge.from.y + u * (edge.to.y - edge.from.y),
                            edge.from.z + u * (edge.to.z - edge.from.z)};
        const double du = 1e-3;
        const Vec3 further = {point.x + du * (edge.to.x - edge.from.x), point.y + du * (edge.to.y - edge.from.y),
                              point.z + du * (edge.to.z - edge.from.z)};
        const auto at = toScreen(point, view);
        const auto next = toScreen(further, view);
        if (!at || !next || (*at)[0] < SCREEN_MARGIN || (*at)[1] < SCREEN_MARGIN ||
            (*at)[0] > GL_TEST_WIDTH - SCREEN_MARGIN || (*at)[1] > GL_TEST_HEIGHT - SCREEN_MARGIN)
            continue;
        const double dx = (*next)[0] - (*at)[0];
        const double dy = (*next)[1] - (*at)[1];
        const double length = std::hypot(dx, dy);
        if (length == 0)
            continue;
        const std::array<double, 2> normal = {-dy / length, dx / length};
        const auto a = sideSample(frame, view, *at, normal, 1.0);
        const auto b = sideSample(frame, view, *at, normal, -1.0);
        // Both sides must lie on the edge's two faces, one each; near a corner a third face can
        // come in, and such points are left out.
        if (!a || !b || a->face == b->face)
            continue;
        if ((a->face != edge.faces[0] && a->face != edge.faces[1]) ||
            (b->face != edge.faces[0] && b->face != edge.faces[1]))
            continue;
        if (!a->smooth || !b->smooth)
            continue;
        ++count.checked;
        const std::array<double, 3> ca = atEdge(*a);
        const std::array<double, 3> cb = atEdge(*b);
        bool agree = true;
        for (size_t c = 0; c < 3; ++c)
            agree = agree && std::abs(ca[c] - cb[c]) <= TOLERANCE;
        if (!agree && count.seams++ < 5) {
            count.firstSeams << "\n  pitch " << view.pitch << " yaw " << view.yaw << ", faces " << a->face << " | "
                             << b->face << " at screen (" << static_cast<int32_t>((*at)[0]) << ", "
                             << static_cast<int32_t>((*at)[1]) << "): " << std::lround(ca[0]) << " "
                             << std::lround(ca[1]) << " " << std::lround(ca[2]) << " against " << std::lround(cb[0])
                             << " " << std::lround(cb[1]) << " " << std::lround(cb[2]);
        }
    }
}

// The edge positions come from toScreen: it must undo viewRay.
TEST(SampleSkyGeometry, ScreenPositionUndoesViewRay)
{
    for (const View view : {View{-35, 45, 0}, View{50, 270, 0}, View{10, 30, 25}}) {
        for (const std::array<int32_t, 2> pixel : {std::array<int32_t, 2>{0, 0}, {511, 383}, {1023, 767}, {100, 700}}) {
            const auto back = toScreen(viewRay(pixel[0], pixel[1], view), view);
            ASSERT_TRUE(back);
            EXPECT_NEAR((*back)[0], pixel[0] + 0.5, 1e-6);
            EXPECT_NEAR((*back)[1], pixel[1] + 0.5, 1e-6);
        }
    }
}

TEST_F(SampleSkyTest, EveryCubeEdgeIsSeamless)
{
    const std::vector<Edge> edges = cubeEdges();
    ASSERT_EQ(edges.size(), 12u);
    for (const Edge& edge : edges)
        ASSERT_TRUE(edge.faces[0] >= 0 && edge.faces[1] >= 0) << "an edge the table does not close";

    // Each upright edge where it crosses the horizon and each corner of the cube straight ahead
    // from above and below, and each top and bottom edge head-on.
    std::vector<View> views;
    for (const float yaw : {45.0f, 135.0f, 225.0f, 315.0f}) {
        for (const float pitch : {-35.0f, 0.0f, 35.0f})
            views.push_back({pitch, yaw, 0.0f});
    }
    for (const float yaw : {0.0f, 90.0f, 180.0f, 270.0f}) {
        for (const float pitch : {-50.0f, 50.0f})
            views.push_back({pitch, yaw, 0.0f});
    }

    std::vector<int32_t> checkedPerEdge(edges.size(), 0);
    SeamCount total;
    for (const View& view : views) {
        const Frame frame = renderSky(view);
        for (size_t e = 0; e < edges.size(); ++e) {
            const int32_t before = total.checked;
            checkEdge(frame, view, edges[e], total);
            checkedPerEdge[e] += total.checked - before;
        }
    }
    for (size_t e = 0; e < edges.size(); ++e) {
        EXPECT_GE(checkedPerEdge[e], 300) << "edge between faces " << edges[e].faces[0] << " and " << edges[e].faces[1]
                                         << " was hardly checked";
    }
    EXPECT_EQ(total.seams, 0) << total.seams << " of " << total.checked << " edge points show a seam:" << total.firstSeams;
}

}  // namespace
