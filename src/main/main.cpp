#include "main/viewer.h"
#include "platform/window.h"

int main()
{
    // Window, projection, the six faces and the sky list; on failure one line on stderr says why.
    const int32_t status = startViewer();

    // The mouse-look loop: one frame after another until Escape is down.
    if (status == 0) {
        ViewState view;
        while (runFrame(view)) {
        }
    }

    // The one way out: closes the window and its OpenGL context.
    endProgram(status);
}
