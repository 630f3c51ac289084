#include "main/viewer.h"
#include "platform/window.h"

int main()
{
    if (startViewer() != 0)
        endProgram(1);
    ViewState view;
    while (runFrame(view)) {
    }
    endProgram(0);
}
