#include "main/viewer.h"

#include "platform/window.h"
#include "sky/sky.h"
#include "texture/texture.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>

namespace {

constexpr int32_t WINDOW_WIDTH = 1024;
constexpr int32_t WINDOW_HEIGHT = 768;
constexpr int32_t BITS_PER_PIXEL = 32;
// Written out rather than derived from the window size: the cursor is held here every frame.
constexpr int32_t CENTRE_X = 512;
constexpr int32_t CENTRE_Y = 384;
constexpr double FIELD_OF_VIEW = 45.0;  // vertical, degrees
constexpr double ASPECT = 1.333333333333333;
constexpr double NEAR_PLANE = 0.1;
constexpr double FAR_PLANE = 1000.0;
constexpr int32_t ESCAPE = 1;  // PC scan code
constexpr bool HIDDEN = false;
constexpr int32_t FULL_TURN = 360;

}  // namespace

int32_t startViewer()
{
    // Window.
    if (openWindow(WINDOW_WIDTH, WINDOW_HEIGHT, BITS_PER_PIXEL) != 0) {
        // The reason already reads "cannot open a window: ..." or names the step that failed.
        std::fprintf(stderr, "skyview: %s\n", windowError());
        return 1;
    }

    // Projection, then the model-view matrix stays current for the frames.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FIELD_OF_VIEW, ASPECT, NEAR_PLANE, FAR_PLANE);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);

    // Faces, in SkyFace order. A missing or broken file still gives a (magenta) texture; only a
    // face whose image or texture could not be allocated comes back as 0, the window being open.
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        loadFaceTexture(faceTextures[face], SKY_FACE_FILES[face]);
        if (faceTextures[face] == 0) {
            std::fprintf(stderr, "skyview: out of memory while loading %s\n", SKY_FACE_FILES[face]);
            return 1;
        }
    }

    // Sky list, and the cursor at the centre so that the first frame reads no offset.
    buildSkyList(faceTextures);
    placeCursor(CENTRE_X, CENTRE_Y, HIDDEN);
    return 0;
}

bool runFrame(ViewState& view)
{
    // A failed read (window inactive, or the pointer outside it) reports -1, -1; taken at face
    // value that would spin the view by (-513, -385) degrees every frame while the user is away.
    if (readMouse(&view.mouseX, &view.mouseY) == 0) {
        view.dx = view.mouseX - CENTRE_X;
        view.dy = view.mouseY - CENTRE_Y;
    } else {
        view.dx = 0;
        view.dy = 0;
    }
    placeCursor(CENTRE_X, CENTRE_Y, HIDDEN);

    // Wrapped as they accumulate: the same picture, and no signed overflow or loss of float
    // precision however long the mouse keeps turning one way.
    view.yaw = (view.yaw + view.dx) % FULL_TURN;
    view.pitch = (view.pitch + view.dy) % FULL_TURN;

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    drawSky(static_cast<float>(view.pitch), static_cast<float>(view.yaw), static_cast<float>(view.roll));
    presentFrame();
    return keyState(ESCAPE) == 0;
}
