#include "e2e/x_session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Reading a window that has just gone away must fail the read, not end the test program.
int lastXError = 0;
int recordXError(Display*, XErrorEvent* event)
{
    lastXError = event->error_code;
    return 0;
}

// The child dies with the test program, so that a crashed test leaves no server or viewer behind.
void dieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

void redirect(int fd, const char* path, int flags)
{
    const int file = open(path, flags, 0644);
    if (file >= 0) {
        dup2(file, fd);
        close(file);
    }
}

std::optional<int32_t> reap(pid_t& pid, bool wait)
{
    if (pid <= 0)
        return std::nullopt;
    int status = 0;
    const pid_t result = waitpid(pid, &status, wait ? 0 : WNOHANG);
    if (result == 0)
        return std::nullopt;
    pid = -1;
    if (result < 0)
        return std::nullopt;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

void stopProcess(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        if (reap(pid, false) || pid <= 0)
            return;
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    reap(pid, true);
}

Atom atom(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}

int32_t lowestBit(unsigned long mask)
{
    int32_t shift = 0;
    while (mask != 0 && (mask & 1UL) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

}  // namespace

std::optional<XServer> startXServer(std::string& why)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        why = std::string("pipe: ") + std::strerror(errno);
        return std::nullopt;
    }
    XServer server;
    server.pid = fork();
    if (server.pid == 0) {
        dieWithParent();
        // The write end must survive exec: Xvfb writes the display number it chose there.
        fcntl(fds[1], F_SETFD, 0);
        redirect(0, "/dev/null", O_RDONLY);
        redirect(1, "/dev/null", O_WRONLY);
        redirect(2, "/dev/null", O_WRONLY);
        const std::string fd = std::to_string(fds[1]);
        const std::string screen = std::to_string(SCREEN_WIDTH) + "x" + std::to_string(SCREEN_HEIGHT) + "x24";
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (server.pid < 0) {
        close(fds[0]);
        why = std::string("fork: ") + std::strerror(errno);
        return std::nullopt;
    }

    std::string number;
    const auto deadline = Clock::now() + 30s;
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd waiting = {fds[0], POLLIN, 0};
        if (poll(&waiting, 1, 100) <= 0)
            continue;
        char buffer[16];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        number.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        why = "Xvfb did not report a display number (is Xvfb installed?)";
        stopProcess(server.pid);
        return std::nullopt;
    }
    server.name = ":" + number.substr(0, number.find('\n'));

    XSetErrorHandler(recordXError);
    while (Clock::now() < deadline && server.display == nullptr) {
        server.display = XOpenDisplay(server.name.c_str());
        if (server.display == nullptr)
            std::this_thread::sleep_for(50ms);
    }
    if (server.display == nullptr) {
        why = "cannot connect to Xvfb on " + server.name;
        stopProcess(server.pid);
        return std::nullopt;
    }
    return server;
}

void stopXServer(XServer& server)
{
    if (server.display != nullptr)
        XCloseDisplay(server.display);
    server.display = nullptr;
    stopProcess(server.pid);
}

ViewerProcess launchViewer(const std::string& viewerPath, const std::string& folder,
                           const std::string& displayName)
{
    ViewerProcess viewer;
    viewer.stdoutPath = folder + ".stdout";
    viewer.stderrPath = folder + ".stderr";
    viewer.pid = fork();
    if (viewer.pid == 0) {
        dieWithParent();
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        redirect(0, "/dev/null", O_RDONLY);
        redirect(1, viewer.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        redirect(2, viewer.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        setenv("DISPLAY", displayName.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        // As under a bare X server with no login session: the viewer must still say nothing
        // but its own one line when no display answers.
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("SDL_VIDEODRIVER");
        execl(viewerPath.c_str(), viewerPath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return viewer;
}

std::optional<int32_t> waitForExit(ViewerProcess& viewer, Seconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (viewer.pid <= 0)
            return std::nullopt;
        const pid_t pid = viewer.pid;
        const std::optional<int32_t> status = reap(viewer.pid, false);
        if (status || viewer.pid != pid)
            return status;
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

bool isRunning(const ViewerProcess& viewer)
{
    if (viewer.pid <= 0)
        return false;
    siginfo_t info = {};
    // WNOWAIT: look without reaping, so that waitForExit still gets the status.
    return waitid(P_PID, static_cast<id_t>(viewer.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

void killViewer(ViewerProcess& viewer)
{
    if (viewer.pid <= 0)
        return;
    kill(viewer.pid, SIGKILL);
    reap(viewer.pid, true);
}

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::optional<Window> findWindow(Display* display, const std::string& title, Seconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    do {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        std::optional<Window> found;
        if (XQueryTree(display, XDefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
            for (unsigned int i = 0; i < count && !found; ++i) {
                XWindowAttributes attributes = {};
                if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                    attributes.map_state == IsViewable && windowName(display, children[i]) == title)
                    found = children[i];
            }
            XFree(children);
        }
        if (found)
            return found;
        std::this_thread::sleep_for(50ms);
    } while (Clock::now() < deadline);
    return std::nullopt;
}

std::string windowName(Display* display, Window window)
{
    char* name = nullptr;
    std::string result;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        result = name;
        XFree(name);
    }
    return result;
}

std::string netWindowName(Display* display, Window window)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string result;
    if (XGetWindowProperty(display, window, atom(display, "_NET_WM_NAME"), 0, 1024, False,
                           atom(display, "UTF8_STRING"), &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (format == 8)
            result.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    return result;
}

std::array<int32_t, 2> windowSize(Display* display, Window window)
{
    XWindowAttributes attributes = {};
    XGetWindowAttributes(display, window, &attributes);
    return {attributes.width, attributes.height};
}

std::array<int32_t, 2> windowOrigin(Display* display, Window window)
{
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, XDefaultRootWindow(display), 0, 0, &x, &y, &child);
    return {x, y};
}

std::optional<Capture> captureWindow(Display* display, Window window)
{
    const std::array<int32_t, 2> size = windowSize(display, window);
    lastXError = 0;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned int>(size[0]),
                              static_cast<unsigned int>(size[1]), XAllPlanes(), ZPixmap);
    XSync(display, False);
    if (image == nullptr || lastXError != 0) {
        if (image != nullptr)
            XDestroyImage(image);
        return std::nullopt;
    }
    const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    Capture capture;
    capture.width = size[0];
    capture.height = size[1];
    capture.pixels.resize(static_cast<size_t>(size[0]) * static_cast<size_t>(size[1]));
    for (int32_t y = 0; y < size[1]; ++y) {
        for (int32_t x = 0; x < size[0]; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            Rgb& rgb = capture.pixels[static_cast<size_t>(y) * static_cast<size_t>(size[0]) + static_cast<size_t>(x)];
            for (size_t c = 0; c < 3; ++c) {
                const unsigned long channel = (pixel & masks[c]) >> lowestBit(masks[c]);
                rgb[c] = static_cast<int32_t>(channel);
            }
        }
    }
    XDestroyImage(image);
    return capture;
}

void movePointer(Display* display, int32_t x, int32_t y)
{
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
}

std::array<int32_t, 2> pointerPosition(Display* display)
{
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int mask = 0;
    XQueryPointer(display, XDefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask);
    return {rootX, rootY};
}

void setKey(Display* display, unsigned long keysym, bool down)
{
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down ? True : False, CurrentTime);
    XSync(display, False);
}

void setAutoRepeat(Display* display, bool on)
{
    XKeyboardControl control = {};
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(display, KBAutoRepeatMode, &control);
    XSync(display, False);
}

bool waitForFrames(Display* display, Window window, Seconds timeout)
{
    const std::array<int32_t, 2> origin = windowOrigin(display, window);
    const std::array<int32_t, 2> centre = {origin[0] + 512, origin[1] + 384};
    // Above and left of the window, which SDL centres on the screen.
    const std::array<int32_t, 2> outside = {origin[0] / 2, origin[1] / 2};
    const auto deadline = Clock::now() + timeout;
    for (int32_t round = 0; round < 2; ++round) {
        movePointer(display, outside[0], outside[1]);
        while (pointerPosition(display) != centre) {
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(2ms);
        }
    }
    return true;
}

Window focusOtherWindow(Display* display, int32_t x, int32_t y)
{
    const int screen = XDefaultScreen(display);
    const Window other = XCreateSimpleWindow(display, XDefaultRootWindow(display), x, y, 64, 64, 0,
                                             XBlackPixel(display, screen), XWhitePixel(display, screen));
    XMapWindow(display, other);
    XSync(display, False);
    // Without a window manager mapping takes effect at once; focus needs a viewable window.
    XWindowAttributes attributes = {};
    const auto deadline = Clock::now() + 10s;
    while (XGetWindowAttributes(display, other, &attributes) != 0 && attributes.map_state != IsViewable &&
           Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    focusWindow(display, other);
    return other;
}

void focusWindow(Display* display, Window window)
{
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
}

void sendCloseRequest(Display* display, Window window)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom(display, "WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom(display, "WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}
