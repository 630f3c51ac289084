#pragma once
// The graphics window over SDL2: one double-buffered OpenGL window with a compatibility context,
// the mouse and the keyboard, and images at the screen's pixel size. Window events are handled
// only inside presentFrame, on the caller's thread. SDL stays inside window.cpp.
#include <cstdint>

struct ImageBuffer;

// Opens a width x height drawing area of bitsPerPixel (32: 8 bits per channel, RGBA) with a 16-bit
// depth buffer and makes its OpenGL context current; titled with the program's file name. 0 on
// success, 1 on failure (windowError says why). Refuses SDL's invisible video drivers.
int32_t openWindow(int32_t width, int32_t height, int32_t bitsPerPixel);
// Why the last openWindow failed, in one line.
const char* windowError();

// Swaps buffers; then, while the window is active, brings the key states up to date from the
// keyboard; then handles every waiting event. Never sleeps. 0 on success.
int32_t presentFrame();

// The position last recorded (latest cursor placement or pointer motion handled, whichever came
// later), in drawing-area pixels from the top-left. 0 while the window is active and the pointer
// was inside the drawing area as of the last event handled; otherwise both outputs -1, result 1.
int32_t readMouse(int32_t* x, int32_t* y);

// Moves the system cursor to (x, y) of the drawing area at once and records that point; a
// hidden cursor is not drawn over the drawing area. Never confines the cursor.
void placeCursor(int32_t x, int32_t y, bool visible);

// -1 while the key with this PC scan code (1 = Escape) is down, 0 otherwise. Every change of
// activation clears all key states.
int32_t keyState(int32_t pcScanCode);

// Closes the window and its context and ends the process with this status.
[[noreturn]] void endProgram(int32_t status);

// An image of width x height at depth bytes per pixel (1, 2 or 4; 0 = the screen's pixel size,
// 4 for the 32-bit window). Null while no window is open, for a size it cannot hold, or when
// memory runs out.
ImageBuffer* createImage(int32_t width, int32_t height, int32_t depth);
