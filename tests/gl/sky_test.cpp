// The sky box drawn on a real OpenGL context. Every face gets a picture whose four quadrants have
// colours of their own; the expected colour of a screen pixel comes from the viewer's projection,
// the view rotation and the cube table, so a face in the wrong place, mirrored or turned shows.
#include "sky/sky.h"

#include "platform/image.h"
#include "sky_view.h"
#include "support/gl_test_window.h"
#include "texture/texture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

namespace {

constexpr int32_t PICTURE_SIZE = 64;
// How close to a face's border or a quadrant boundary (in texture coordinates) a sample may lie:
// four texels keeps it clear of filtering across them.
constexpr double MARGIN = 4.0 / PICTURE_SIZE;
constexpr int32_t TOLERANCE = 3;  // per channel, for rounding in the rasteriser

// Quadrant 0 is the picture's top-left, 1 top-right, 2 bottom-left, 3 bottom-right. Faces differ
// by 40 in red, quadrants by 60 in green, so any confusion of either is far beyond the tolerance.
Rgb quadrantColour(int32_t face, int32_t quadrant)
{
    return {30 + 40 * face, 40 + 60 * quadrant, 220 - 35 * face};
}

// Face and quadrant read back from a colour, or nothing when it is none of them.
std::optional<std::array<int32_t, 2>> identify(const Rgb& colour)
{
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        for (int32_t quadrant = 0; quadrant < 4; ++quadrant) {
            const Rgb expected = quadrantColour(face, quadrant);
            bool close = true;
            for (size_t c = 0; c < 3; ++c)
                close = close && std::abs(colour[c] - expected[c]) <= TOLERANCE;
            if (close)
                return std::array<int32_t, 2>{face, quadrant};
        }
    }
    return std::nullopt;
}

// The expected colour at a screen pixel, or nothing when it lies too near a border to be sure.
std::optional<Rgb> expectedColour(int32_t px, int32_t py, const View& view)
{
    const FaceHit hit = hitCube(viewRay(px, py, view));
    const auto nearLine = [](double coordinate) {
        return coordinate < MARGIN || coordinate > 1 - MARGIN || std::abs(coordinate - 0.5) < MARGIN;
    };
    if (hit.face < 0 || nearLine(hit.s) || nearLine(hit.t))
        return std::nullopt;
    const int32_t quadrant = (hit.t < 0.5 ? 2 : 0) + (hit.s > 0.5 ? 1 : 0);
    return quadrantColour(hit.face, quadrant);
}

// Compares a grid of sample pixels with the colours the geometry predicts.
testing::AssertionResult matchesGeometry(const Frame& frame, const View& view,
                                         std::optional<Rgb> (*expectedAt)(int32_t, int32_t, const View&))
{
    int32_t checked = 0;
    int32_t wrong = 0;
    testing::Message firstWrong;
    for (int32_t py = 6; py < GL_TEST_HEIGHT; py += 12) {
        for (int32_t px = 8; px < GL_TEST_WIDTH; px += 16) {
            const std::optional<Rgb> expected = expectedAt(px, py, view);
            if (!expected)
                continue;
            ++checked;
            const Rgb got = frame.at(px, py);
            bool close = true;
            for (size_t c = 0; c < 3; ++c)
                close = close && std::abs(got[c] - (*expected)[c]) <= TOLERANCE;
            if (!close && wrong++ < 5) {
                firstWrong << "\n  pixel (" << px << ", " << py << "): got " << got[0] << " " << got[1] << " "
                           << got[2] << ", expected " << (*expected)[0] << " " << (*expected)[1] << " "
                           << (*expected)[2];
            }
        }
    }
    if (checked < 500)
        return testing::AssertionFailure() << "only " << checked << " pixels could be checked";
    if (wrong != 0)
        return testing::AssertionFailure() << wrong << " of " << checked << " sample pixels wrong:" << firstWrong;
    return testing::AssertionSuccess() << checked << " sample pixels match";
}

struct ImageDeleter {
    void operator()(ImageBuffer* image) const { destroyImage(image); }
};

// A picture of four flat quadrants for one face.
uint32_t quadrantTexture(int32_t face, int32_t flags)
{
    std::unique_ptr<ImageBuffer, ImageDeleter> image(createImageWithPixelSize(PICTURE_SIZE, PICTURE_SIZE, 4));
    if (!image)
        return 0;
    const ImageLayout layout = imageLayout(image.get());
    for (int32_t y = 0; y < PICTURE_SIZE; ++y) {
        for (int32_t x = 0; x < PICTURE_SIZE; ++x) {
            const int32_t quadrant = (y < PICTURE_SIZE / 2 ? 0 : 2) + (x < PICTURE_SIZE / 2 ? 0 : 1);
            const Rgb colour = quadrantColour(face, quadrant);
            const uint32_t pixel = static_cast<uint32_t>(colour[0] << 16 | colour[1] << 8 | colour[2]);
            std::memcpy(layout.pixels + y * layout.pitch + x * 4, &pixel, 4);
        }
    }
    return imageToTexture(image.get(), flags);
}

struct SkyTest : testing::Test {
    void SetUp() override
    {
        setViewerProjection();
        for (int32_t face = 0; face < FACE_COUNT; ++face) {
            // Both kinds of texture the conversion makes: the viewer's mipmapped one and a plain one.
            faceTextures[face] = quadrantTexture(face, face % 2 == 0 ? TEX_MIPMAP : TEX_NEAREST);
            ASSERT_NE(faceTextures[face], 0u);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    void TearDown() override
    {
        if (skyList != 0)
            glDeleteLists(skyList, 1);
        skyList = 0;
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(FACE_COUNT, faceTextures);
        for (uint32_t& name : faceTextures)
            name = 0;
        glClearColor(0, 0, 0, 0);
        glColor4f(1, 1, 1, 1);
    }
};

struct AheadCase {
    View view;
    SkyFace face;
};

// Straight ahead along each axis, and with yaw only the picture upright and unmirrored: its
// top-left quadrant up and to the left of the screen centre.
TEST_F(SkyTest, EachViewAlongAnAxisShowsItsFace)
{
    buildSkyList(faceTextures);
    constexpr AheadCase CASES[] = {
        {{0, 0, 0}, FACE_BACK},  {{0, 90, 0}, FACE_RIGHT},  {{0, 180, 0}, FACE_FRONT},
        {{0, 270, 0}, FACE_LEFT}, {{90, 0, 0}, FACE_DOWN},   {{-90, 0, 0}, FACE_UP},
    };
    constexpr int32_t CX = GL_TEST_WIDTH / 2;
    constexpr int32_t CY = GL_TEST_HEIGHT / 2;
    constexpr int32_t OFFSET = 150;
    for (const AheadCase& c : CASES) {
        SCOPED_TRACE(testing::Message() << "pitch " << c.view.pitch << " yaw " << c.view.yaw);
        const Frame frame = renderSky(c.view);
        // The four pixels around the centre, each in its own quadrant of the face ahead.
        const std::array<int32_t, 2> corners[] = {
            {CX - OFFSET, CY + OFFSET}, {CX + OFFSET, CY + OFFSET}, {CX - OFFSET, CY - OFFSET}, {CX + OFFSET, CY - OFFSET},
        };
        std::array<int32_t, 4> quadrants{};
        for (size_t i = 0; i < 4; ++i) {
            const Rgb got = frame.at(corners[i][0], corners[i][1]);
            const auto seen = identify(got);
            ASSERT_TRUE(seen) << "unknown colour " << got[0] << " " << got[1] << " " << got[2];
            EXPECT_EQ((*seen)[0], c.face) << "screen corner " << i;
            quadrants[i] = (*seen)[1];
        }
        if (c.view.pitch == 0) {
            EXPECT_EQ(quadrants, (std::array<int32_t, 4>{0, 1, 2, 3})) << "picture mirrored or turned";
        }
        EXPECT_TRUE(matchesGeometry(frame, c.view, expectedColour));
    }
}

TEST_F(SkyTest, ObliqueViewsMatchTheCubeTable)
{
    buildSkyList(faceTextures);
    constexpr View VIEWS[] = {
        {30, 45, 0},   {-30, 135, 0}, {20, 225, 0},   {-45, 315, 0}, {60, 10, 0},   {-70, 200, 0},
        {89, 0, 0},    {-89, 90, 0},  {10, 30, 25},   {-20, -60, -40}, {0, 0, 90},  {45, -100, 170},
    };
    for (const View& view : VIEWS) {
        SCOPED_TRACE(testing::Message() << "pitch " << view.pitch << " yaw " << view.yaw << " roll " << view.roll);
        EXPECT_TRUE(matchesGeometry(renderSky(view), view, expectedColour));
    }
}

TEST_F(SkyTest, AnglesAreNotWrappedButRepeatEvery360Degrees)
{
    buildSkyList(faceTextures);
    const Frame at40 = renderSky({0, 40, 0});
    const Frame at400 = renderSky({0, 400, 0});
    const Frame atMinus320 = renderSky({0, -320, 0});
    const Frame tilted = renderSky({25, 40, 0});
    const Frame tiltedTurned = renderSky({385, 760, 0});
    // Rotations by 400 and 40 degrees agree only to float rounding, which may move a border by a
    // pixel; everything else must be identical.
    const auto differing = [](const Frame& a, const Frame& b) {
        int32_t count = 0;
        for (size_t i = 0; i < a.rgba.size(); i += 4)
            count += std::memcmp(&a.rgba[i], &b.rgba[i], 3) != 0 ? 1 : 0;
        return count;
    };
    EXPECT_LE(differing(at40, at400), 64);
    EXPECT_LE(differing(at40, atMinus320), 64);
    EXPECT_LE(differing(tilted, tiltedTurned), 64);
    EXPECT_GT(differing(at40, tilted), 100000) << "the comparison must be able to see a change";
}

TEST_F(SkyTest, CallerMatrixIsDroppedAndKept)
{
    buildSkyList(faceTextures);
    const Frame plain = renderSky({15, 70, 0});

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(3.0f, -2.0f, -7.0f);
    glRotatef(33.0f, 0.3f, 1.0f, 0.2f);
    glScalef(2.0f, 2.0f, 2.0f);
    GLfloat before[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    GLint depthBefore = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    drawSky(15.0f, 70.0f, 0.0f);
    const Frame moved = readFrame();

    GLfloat after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    GLint depthAfter = 0, attribDepth = 0, matrixMode = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attribDepth);
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(after[i], before[i]) << "model-view element " << i;
    EXPECT_EQ(depthAfter, depthBefore);
    EXPECT_EQ(attribDepth, 0);
    EXPECT_EQ(matrixMode, GL_MODELVIEW);
    EXPECT_TRUE(plain.rgba == moved.rgba) << "a translation, rotation or scale set before drawSky reached the sky";
    glLoadIdentity();
}

TEST_F(SkyTest, ColourIsWhiteAfterwardsAndTexturesShowTheirOwnColours)
{
    buildSkyList(faceTextures);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glColor4f(0.2f, 0.4f, 0.6f, 0.8f);
    drawSky(0.0f, 0.0f, 0.0f);
    const Frame frame = readFrame();
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 1.0f);
    EXPECT_EQ(colour[3], 1.0f);
    // A tinted colour would have modulated the textures.
    EXPECT_TRUE(matchesGeometry(frame, {0, 0, 0}, expectedColour));
}

struct EnableCase {
    bool texture, depthTest, lighting, blend;
};

TEST_F(SkyTest, EnableFlagsAreAsTheyWereBefore)
{
    buildSkyList(faceTextures);
    constexpr EnableCase CASES[] = {
        {false, false, false, false}, {true, true, true, true}, {true, false, true, false}, {false, true, false, true},
    };
    const auto set = [](GLenum flag, bool on) { on ? glEnable(flag) : glDisable(flag); };
    // Blending that would show: the sky added onto a grey background.
    glBlendFunc(GL_ONE, GL_ONE);
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    for (const EnableCase& c : CASES) {
        SCOPED_TRACE(testing::Message() << "texture " << c.texture << " depth " << c.depthTest << " lighting "
                                        << c.lighting << " blend " << c.blend);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        set(GL_TEXTURE_2D, c.texture);
        set(GL_DEPTH_TEST, c.depthTest);
        set(GL_LIGHTING, c.lighting);
        set(GL_BLEND, c.blend);
        drawSky(-10.0f, 200.0f, 0.0f);
        const Frame frame = readFrame();
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), c.texture ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), c.depthTest ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(glIsEnabled(GL_LIGHTING), c.lighting ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(glIsEnabled(GL_BLEND), c.blend ? GL_TRUE : GL_FALSE);
        // Whatever was on before, the sky is drawn textured, unlit and opaque.
        EXPECT_TRUE(matchesGeometry(frame, {-10, 200, 0}, expectedColour));
    }
    set(GL_TEXTURE_2D, false);
    set(GL_DEPTH_TEST, false);
    set(GL_LIGHTING, false);
    set(GL_BLEND, false);
    glBlendFunc(GL_ONE, GL_ZERO);
}

TEST_F(SkyTest, SkyIgnoresDepthAndLeavesItCleared)
{
    buildSkyList(faceTextures);
    for (const bool depthTest : {true, false}) {
        SCOPED_TRACE(testing::Message() << "caller's depth test " << (depthTest ? "on" : "off"));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        // Something inside the cube first, nearer than any face, writing depths over the middle of
        // the screen: a depth-tested sky would stay hidden behind it.
        glEnable(GL_DEPTH_TEST);
        glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
        glBegin(GL_QUADS);
        glVertex3f(-0.15f, -0.15f, -0.5f);
        glVertex3f(0.15f, -0.15f, -0.5f);
        glVertex3f(0.15f, 0.15f, -0.5f);
        glVertex3f(-0.15f, 0.15f, -0.5f);
        glEnd();
        float centreDepth = 1.0f;
        glReadPixels(GL_TEST_WIDTH / 2, GL_TEST_HEIGHT / 2, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &centreDepth);
        ASSERT_LT(centreDepth, 0.99f) << "the quad wrote no depth";
        if (!depthTest)
            glDisable(GL_DEPTH_TEST);

        drawSky(0.0f, 0.0f, 0.0f);
        const Frame frame = readFrame();
        EXPECT_TRUE(matchesGeometry(frame, {0, 0, 0}, expectedColour)) << "the sky must cover the quad";

        std::vector<float> depths(static_cast<size_t>(GL_TEST_WIDTH) * GL_TEST_HEIGHT, 0.0f);
        glReadPixels(0, 0, GL_TEST_WIDTH, GL_TEST_HEIGHT, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
        size_t notCleared = 0;
        for (const float depth : depths)
            notCleared += depth != 1.0f ? 1 : 0;
        EXPECT_EQ(notCleared, 0u) << "pixels whose depth is not 1.0 after drawSky";
        EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), depthTest ? GL_TRUE : GL_FALSE);
    }
    glDisable(GL_DEPTH_TEST);
}

// Texture object 0 given a picture of its own, so that a face compiled with it shows.
constexpr Rgb DEFAULT_TEXTURE_COLOUR = {250, 240, 10};

std::optional<Rgb> expectedWithRightFaceUnnamed(int32_t px, int32_t py, const View& view)
{
    const FaceHit hit = hitCube(viewRay(px, py, view));
    if (hit.face == FACE_RIGHT && hit.s > MARGIN && hit.s < 1 - MARGIN && hit.t > MARGIN && hit.t < 1 - MARGIN)
        return DEFAULT_TEXTURE_COLOUR;
    return expectedColour(px, py, view);
}

TEST_F(SkyTest, FaceWithoutTextureIsDrawnWithTextureZero)
{
    const uint8_t texel[4] = {250, 240, 10, 255};
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);

    uint32_t names[FACE_COUNT];
    std::memcpy(names, faceTextures, sizeof names);
    names[FACE_RIGHT] = 0;
    buildSkyList(names);
    for (const View& view : {View{0, 90, 0}, View{20, 45, 0}, View{-35, 120, 0}, View{0, 0, 0}, View{80, 60, 0}}) {
        SCOPED_TRACE(testing::Message() << "pitch " << view.pitch << " yaw " << view.yaw);
        EXPECT_TRUE(matchesGeometry(renderSky(view), view, expectedWithRightFaceUnnamed));
    }

    // Texture object 0 back to its initial state: no image, default filter.
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
}

TEST_F(SkyTest, ListDrawsNothingWhenBuiltAndKeepsItsNames)
{
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const Frame cleared = readFrame();
    buildSkyList(faceTextures);
    EXPECT_NE(skyList, 0u);
    EXPECT_EQ(glIsList(skyList), GL_TRUE);
    EXPECT_TRUE(readFrame().rgba == cleared.rgba) << "building the list drew something";

    // Later changes to the names do not reach the compiled list.
    const uint32_t kept[FACE_COUNT] = {faceTextures[0], faceTextures[1], faceTextures[2],
                                       faceTextures[3], faceTextures[4], faceTextures[5]};
    std::swap(faceTextures[FACE_BACK], faceTextures[FACE_FRONT]);
    faceTextures[FACE_UP] = 0;
    EXPECT_TRUE(matchesGeometry(renderSky({-30, 10, 0}), {-30, 10, 0}, expectedColour));
    std::memcpy(faceTextures, kept, sizeof kept);
}

}  // namespace
