#pragma once
// What the end-to-end tests need of a real X server: an Xvfb of their own on a free display, the
// viewer started as a separate process in a folder of faces, its window found and read back, and
// pointer and key input through XTest. Every wait is bounded; nothing here measures speed.
#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Xlib's own declarations, without Xlib's macros (None, Bool, Status), which collide with gtest's.
typedef struct _XDisplay Display;
using Window = unsigned long;

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

// Xvfb's screen; the viewer's window is centred on it by SDL.
constexpr int32_t SCREEN_WIDTH = 1280;
constexpr int32_t SCREEN_HEIGHT = 1024;

struct XServer {
    pid_t pid = -1;
    std::string name;             // ":N"
    Display* display = nullptr;   // the tests' own connection
};

// Starts Xvfb -displayfd on the first free display and connects to it; nullopt (with a reason in
// why) if it does not come up within a generous time.
std::optional<XServer> startXServer(std::string& why);
void stopXServer(XServer& server);

struct ViewerProcess {
    pid_t pid = -1;
    std::string stdoutPath, stderrPath;  // what the viewer wrote, kept in files
};

// Runs the viewer in folder with DISPLAY set to displayName, and neither a Wayland display nor a
// runtime folder, as under a bare X server.
ViewerProcess launchViewer(const std::string& viewerPath, const std::string& folder,
                           const std::string& displayName);
// The exit status once the process has ended, or nullopt if it is still running after timeout
// (or ended by a signal, given as 128 + signal number).
std::optional<int32_t> waitForExit(ViewerProcess& viewer, Seconds timeout);
bool isRunning(const ViewerProcess& viewer);
// Kills a viewer that is still running and reaps it.
void killViewer(ViewerProcess& viewer);
std::string readFile(const std::string& path);

// The viewer's top-level window: the viewable child of the root titled title, once it appears.
std::optional<Window> findWindow(Display* display, const std::string& title, Seconds timeout);
std::string windowName(Display* display, Window window);     // WM_NAME
std::string netWindowName(Display* display, Window window);  // _NET_WM_NAME (UTF-8)
std::array<int32_t, 2> windowSize(Display* display, Window window);
// Where the window's drawing area begins on the screen.
std::array<int32_t, 2> windowOrigin(Display* display, Window window);

using Rgb = std::array<int32_t, 3>;
struct Capture {
    int32_t width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
    Rgb at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};
// The window's contents as the X server holds them; nullopt if the window cannot be read.
std::optional<Capture> captureWindow(Display* display, Window window);

// Pointer and keyboard through XTest, positions in root coordinates; each call waits until the
// server has processed it.
void movePointer(Display* display, int32_t x, int32_t y);
std::array<int32_t, 2> pointerPosition(Display* display);
void setKey(Display* display, unsigned long keysym, bool down);
void setAutoRepeat(Display* display, bool on);

// Proof that the viewer has finished a frame begun after this call: the pointer is put outside the
// window and the viewer's own placement brings it back to the centre at the start of every frame;
// twice, so that the frame of the first return has been drawn and presented. False on timeout.
bool waitForFrames(Display* display, Window window, Seconds timeout);

// A window of the tests' own, mapped at (x, y) and given the keyboard focus.
Window focusOtherWindow(Display* display, int32_t x, int32_t y);
void focusWindow(Display* display, Window window);
// What a window manager sends when the user clicks the close button.
void sendCloseRequest(Display* display, Window window);
