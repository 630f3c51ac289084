#include "platform/window.h"

#include "platform/image.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// SDL versions: 2.0.22 and later name the hint; older releases read the same string.
#ifndef SDL_HINT_NO_SIGNAL_HANDLERS
#define SDL_HINT_NO_SIGNAL_HANDLERS "SDL_NO_SIGNAL_HANDLERS"
#endif

namespace {

constexpr int PC_SCAN_CODE_COUNT = 89;

// PC keyboard scan codes (set 1) of the main keyboard, function keys and keypad, to SDL's.
constexpr SDL_Scancode PC_TO_SDL[PC_SCAN_CODE_COUNT] = {
    SDL_SCANCODE_UNKNOWN, SDL_SCANCODE_ESCAPE,
    SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4, SDL_SCANCODE_5,
    SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8, SDL_SCANCODE_9, SDL_SCANCODE_0,
    SDL_SCANCODE_MINUS, SDL_SCANCODE_EQUALS, SDL_SCANCODE_BACKSPACE, SDL_SCANCODE_TAB,
    SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R, SDL_SCANCODE_T,
    SDL_SCANCODE_Y, SDL_SCANCODE_U, SDL_SCANCODE_I, SDL_SCANCODE_O, SDL_SCANCODE_P,
    SDL_SCANCODE_LEFTBRACKET, SDL_SCANCODE_RIGHTBRACKET, SDL_SCANCODE_RETURN, SDL_SCANCODE_LCTRL,
    SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_F, SDL_SCANCODE_G,
    SDL_SCANCODE_H, SDL_SCANCODE_J, SDL_SCANCODE_K, SDL_SCANCODE_L, SDL_SCANCODE_SEMICOLON,
    SDL_SCANCODE_APOSTROPHE, SDL_SCANCODE_GRAVE, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_BACKSLASH,
    SDL_SCANCODE_Z, SDL_SCANCODE_X, SDL_SCANCODE_C, SDL_SCANCODE_V, SDL_SCANCODE_B,
    SDL_SCANCODE_N, SDL_SCANCODE_M, SDL_SCANCODE_COMMA, SDL_SCANCODE_PERIOD, SDL_SCANCODE_SLASH,
    SDL_SCANCODE_RSHIFT, SDL_SCANCODE_KP_MULTIPLY, SDL_SCANCODE_LALT, SDL_SCANCODE_SPACE,
    SDL_SCANCODE_CAPSLOCK,
    SDL_SCANCODE_F1, SDL_SCANCODE_F2, SDL_SCANCODE_F3, SDL_SCANCODE_F4, SDL_SCANCODE_F5,
    SDL_SCANCODE_F6, SDL_SCANCODE_F7, SDL_SCANCODE_F8, SDL_SCANCODE_F9, SDL_SCANCODE_F10,
    SDL_SCANCODE_NUMLOCKCLEAR, SDL_SCANCODE_SCROLLLOCK,
    SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_9, SDL_SCANCODE_KP_MINUS,
    SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_PLUS,
    SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3, SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_PERIOD,
    SDL_SCANCODE_UNKNOWN, SDL_SCANCODE_UNKNOWN, SDL_SCANCODE_NONUSBACKSLASH,
    SDL_SCANCODE_F11, SDL_SCANCODE_F12,
};

// XQueryKeymap, looked up at run time like SDL looks up all of the X library, so that the layer
// needs no X library at link time.
using QueryKeymap = int (*)(Display*, char*);

// Everything the layer knows, zero until openWindow succeeds.
struct WindowState {
    SDL_Window* window;
    SDL_GLContext context;
    bool active;          // the window has the keyboard focus, as of the last event handled
    bool pointerInside;   // the pointer is over the drawing area, as of the last event handled
    int32_t mouseX, mouseY;
    int32_t width, height;
    bool keyDown[PC_SCAN_CODE_COUNT];
    Display* x11Display;        // with queryKeymap: the keyboard is read from the X server
    void* x11Library;
    QueryKeymap queryKeymap;
};

WindowState state;
std::string lastError;

int32_t fail(const std::string& why)
{
    lastError = why;
    if (state.context)
        SDL_GL_DeleteContext(state.context);
    if (state.window)
        SDL_DestroyWindow(state.window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    state = WindowState{};
    return 1;
}

// The program's file name without folder and extension.
std::string programTitle()
{
    std::string name = program_invocation_short_name;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

bool waylandReachable()
{
    const char* runtimeFolder = std::getenv("XDG_RUNTIME_DIR");
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    return (runtimeFolder != nullptr && *runtimeFolder != 0) || (socket != nullptr && socket[0] == '/');
}

// Why no display answered, in the terms a user can check.
std::string displayProblem()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (x11 != nullptr && *x11 != 0)
        return std::string("nothing answers at DISPLAY ") + x11;
    if (wayland != nullptr && *wayland != 0)
        return std::string("nothing answers at WAYLAND_DISPLAY ") + wayland;
    return "neither DISPLAY nor WAYLAND_DISPLAY is set";
}

void clearKeys()
{
    std::memset(state.keyDown, 0, sizeof state.keyDown);
}

// On X11 SDL's key states miss a key already held when the window gains focus (SDL reconciles
// only modifier keys then), so Escape held from the start would never be seen; the server's keymap
// knows every key that is down.
void connectKeyboard()
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(state.window, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    state.x11Library = SDL_LoadObject("libX11.so.6");
    if (state.x11Library == nullptr)
        return;
    // POSIX guarantees that a looked-up function's address converts to a function pointer.
    state.queryKeymap = reinterpret_cast<QueryKeymap>(SDL_LoadFunction(state.x11Library, "XQueryKeymap"));
    state.x11Display = info.info.x11.display;
}

void refreshKeys()
{
    if (state.queryKeymap != nullptr) {
        char keys[32] = {};
        state.queryKeymap(state.x11Display, keys);
        for (int code = 0; code < PC_SCAN_CODE_COUNT; ++code) {
            // For every key of the table the X key code is the PC scan code + 8, in the evdev key
            // codes and in the older xfree86 ones alike.
            const int keyCode = code + 8;
            const auto bits = static_cast<unsigned char>(keys[keyCode / 8]);
            state.keyDown[code] = PC_TO_SDL[code] != SDL_SCANCODE_UNKNOWN && ((bits >> (keyCode % 8)) & 1U) != 0;
        }
        return;
    }
    SDL_PumpEvents();
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    for (int code = 0; code < PC_SCAN_CODE_COUNT; ++code) {
        const SDL_Scancode sdlCode = PC_TO_SDL[code];
        state.keyDown[code] = sdlCode != SDL_SCANCODE_UNKNOWN && sdlCode < count && keys[sdlCode] != 0;
    }
}

bool insideDrawingArea(int32_t x, int32_t y)
{
    return x >= 0 && y >= 0 && x < state.width && y < state.height;
}

void handleWindowEvent(const SDL_WindowEvent& event)
{
    switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        state.active = true;
        clearKeys();
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        state.active = false;
        clearKeys();
        break;
    case SDL_WINDOWEVENT_ENTER:
        state.pointerInside = true;
        break;
    case SDL_WINDOWEVENT_LEAVE:
        state.pointerInside = false;
        break;
    default:
        // Close requests included: the close button is a notification nobody reads.
        break;
    }
}

void handleEvents()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_WINDOWEVENT) {
            handleWindowEvent(event.window);
        } else if (event.type == SDL_MOUSEMOTION) {
            state.mouseX = event.motion.x;
            state.mouseY = event.motion.y;
            state.pointerInside = insideDrawingArea(state.mouseX, state.mouseY);
        }
    }
}

}  // namespace

int32_t openWindow(int32_t width, int32_t height, int32_t bitsPerPixel)
{
    if (state.window) {
        // Not fail(): that would close the window already open.
        lastError = "the window is already open";
        return 1;
    }
    if (bitsPerPixel != 32)
        return fail("only 32 bits per pixel are supported");

    // Ctrl+C and SIGTERM must end the program; SDL would turn them into a quit event nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Without a runtime folder no Wayland compositor can be found, and probing for one makes
    // libwayland print its own complaint on stderr; a driver the user names still wins.
    if (!waylandReachable())
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return fail("cannot open a window: no display is reachable (" + displayProblem() + ")");

    // SDL falls back by itself to drivers that show nothing when no display is reachable; a viewer
    // running on, invisible, would be a failure reported as success.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)
        return fail("cannot open a window: no display is reachable (" + displayProblem() + ")");

    // The pixel format must be chosen before the window exists.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);

    const std::string title = programTitle();
    state.window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                    SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (state.window == nullptr)
        return fail(std::string("cannot open a window: ") + SDL_GetError());
    state.context = SDL_GL_CreateContext(state.window);
    if (state.context == nullptr)
        return fail(std::string("cannot create an OpenGL context: ") + SDL_GetError());
    if (SDL_GL_MakeCurrent(state.window, state.context) != 0)
        return fail(std::string("cannot use the OpenGL context: ") + SDL_GetError());

    connectKeyboard();
    state.width = width;
    state.height = height;
    state.mouseX = -1;
    state.mouseY = -1;
    // Whatever focus and pointer events the opening itself caused, so that the first mouse read
    // already knows whether the window is active.
    handleEvents();
    lastError.clear();
    return 0;
}

const char* windowError()
{
    return lastError.c_str();
}

int32_t presentFrame()
{
    if (!state.window)
        return 1;
    SDL_GL_SwapWindow(state.window);
    if (state.active)
        refreshKeys();
    handleEvents();
    return 0;
}

int32_t readMouse(int32_t* x, int32_t* y)
{
    if (!state.window || !state.active || !state.pointerInside) {
        *x = -1;
        *y = -1;
        return 1;
    }
    *x = state.mouseX;
    *y = state.mouseY;
    return 0;
}

void placeCursor(int32_t x, int32_t y, bool visible)
{
    if (!state.window)
        return;
    SDL_WarpMouseInWindow(state.window, x, y);
    state.mouseX = x;
    state.mouseY = y;
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

int32_t keyState(int32_t pcScanCode)
{
    if (pcScanCode < 0 || pcScanCode >= PC_SCAN_CODE_COUNT)
        return 0;
    return state.keyDown[pcScanCode] ? -1 : 0;
}

void endProgram(int32_t status)
{
    if (state.context)
        SDL_GL_DeleteContext(state.context);
    if (state.window)
        SDL_DestroyWindow(state.window);
    state = WindowState{};
    SDL_Quit();
    std::exit(status);
}

ImageBuffer* createImage(int32_t width, int32_t height, int32_t depth)
{
    if (!state.window)
        return nullptr;
    // The window is always 32 bits per pixel.
    return createImageWithPixelSize(width, height, depth == 0 ? 4 : depth);
}
