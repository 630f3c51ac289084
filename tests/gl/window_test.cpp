// The window as the viewer gets it: the pixel format it asked for, OpenGL at its defaults, and a
// second open that must not take the first window down.
#include "platform/image.h"
#include "platform/window.h"
#include "support/gl_test_window.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

namespace {

GLint glInteger(GLenum name)
{
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

TEST(Window, GrantsTheRequestedPixelFormatWithOpenGlAtItsDefaults)
{
    const struct {
        GLenum name;
        GLint expected;
    } exact[] = {
        {GL_RED_BITS, 8}, {GL_GREEN_BITS, 8}, {GL_BLUE_BITS, 8}, {GL_ALPHA_BITS, 8},
        {GL_STENCIL_BITS, 0}, {GL_ACCUM_RED_BITS, 0}, {GL_SAMPLE_BUFFERS, 0},
        {GL_DOUBLEBUFFER, GL_TRUE}, {GL_DEPTH_TEST, GL_FALSE}, {GL_TEXTURE_2D, GL_FALSE},
        {GL_MATRIX_MODE, GL_MODELVIEW},
    };
    for (const auto& query : exact)
        EXPECT_EQ(glInteger(query.name), query.expected) << "query 0x" << std::hex << query.name;
    // GLX grants the largest depth buffer that satisfies the request.
    EXPECT_GE(glInteger(GL_DEPTH_BITS), 16);

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], GL_TEST_WIDTH);
    EXPECT_EQ(viewport[3], GL_TEST_HEIGHT);
}

TEST(Window, SecondOpenFailsAndLeavesTheFirstWindowWorking)
{
    EXPECT_EQ(openWindow(GL_TEST_WIDTH, GL_TEST_HEIGHT, 32), 1);
    EXPECT_STRNE(windowError(), "");

    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(pixel[1], 255) << "the context no longer draws";
    EXPECT_EQ(presentFrame(), 0);
}

TEST(Window, ImagesAtTheScreensPixelSizeAreFourBytesAndMagenta)
{
    ImageBuffer* image = createImage(512, 512, 0);
    ASSERT_NE(image, nullptr);
    const ImageLayout layout = imageLayout(image);
    EXPECT_EQ(layout.bytesPerPixel, 4);
    EXPECT_EQ(layout.width, 512);
    EXPECT_EQ(layout.height, 512);
    EXPECT_EQ(readPixel(image, 511.0f, 511.0f), IMAGE_FILL_4);
    destroyImage(image);

    ImageBuffer* small = createImage(64, 64, 2);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(imageLayout(small).bytesPerPixel, 2);
    destroyImage(small);
}

}  // namespace
