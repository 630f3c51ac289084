#include "support/gl_test_window.h"

#include "platform/window.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

namespace {

struct GlWindowEnvironment : testing::Environment {
    void SetUp() override
    {
        ASSERT_EQ(openWindow(GL_TEST_WIDTH, GL_TEST_HEIGHT, 32), 0)
            << "cannot open the test window (is DISPLAY set?): " << windowError();
    }
};

}  // namespace

void setViewerProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 1.333333333333333, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // gtest owns and deletes the environment.
    testing::AddGlobalTestEnvironment(new GlWindowEnvironment);
    return RUN_ALL_TESTS();
}
