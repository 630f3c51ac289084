#pragma once
// The viewer: start-up (window, projection, faces, sky list) and one frame of the mouse-look loop.
// main repeats the frame until it says stop; tests drive the same procedures.
#include <cstdint>

// The loop's state, in degrees and drawing-area pixels.
struct ViewState {
    int32_t mouseX = 0, mouseY = 0;
    int32_t dx = 0, dy = 0;
    int32_t pitch = 1;
    int32_t yaw = 0;
    int32_t roll = 0;
};

// Opens the window, sets the projection, loads the six faces from the current directory, compiles
// the sky list and places the cursor at the centre. 0 on success; otherwise one line on stderr
// has said why and the result is 1.
int32_t startViewer();

// Reads the mouse, turns the view, redraws and presents; false once Escape is down.
bool runFrame(ViewState& view);
