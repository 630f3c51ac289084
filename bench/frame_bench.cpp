// The viewer's frame and its start-up, each against a baseline measured in the same run.
//
// Frames, 1024 x 768, in one window opened by the viewer's own start-up:
//   viewerFrame  runFrame as the loop calls it: mouse read, cursor placement, clear, sky, present
//   viewerDraw   the drawing alone: clear, drawSky, present
//   floorFrame   the least that draws the same picture: clear, six textured quads of the cube in
//                immediate mode with one mipmapped texture already bound, no list, no state
//                saved or restored, present
//   bareFrame    clear and present, nothing drawn
// Start-up to the first presented frame, each a fresh process (this program run in a mode of its
// own), timed from fork to a byte the child writes once its first frame is presented:
//   viewerStartup     startViewer on six 512 x 512 faces, then one runFrame
//   layerStartup      the window layer alone: openWindow, clear, presentFrame
//   emptySdlStartup   an empty SDL OpenGL window with the same attributes: create, clear, swap
//   sdlSkyStartup     the same first frame the ordinary way: that SDL window, six faces through
//                     SDL_LoadBMP, a straight loop and gluBuild2DMipmaps, the cube drawn, swap
//
// Needs a display (DISPLAY). Prints the ratios at the end.
#include "bench_support.h"
#include "main/viewer.h"
#include "platform/window.h"
#include "sky/sky.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// Other work on the machine comes and goes: many repetitions, run in random order so that a busy
// spell spreads over all benchmarks instead of landing on one, compared by median and minimum.
constexpr int32_t REPETITIONS = 10;
constexpr int32_t WIDTH = 1024;
constexpr int32_t HEIGHT = 768;
constexpr const char* FIRST_FRAME_MODE = "--first-frame=";

std::string selfPath;
std::string faceFolder;

bool writeFaces()
{
    faceFolder = writeBenchFaces();
    return !faceFolder.empty();
}

// ---- Start-up, in a child process

// An SDL OpenGL window with the viewer's attributes, its context current; null on failure.
SDL_Window* openSdlWindow()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return nullptr;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window = SDL_CreateWindow("empty", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, WIDTH, HEIGHT,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (window == nullptr || SDL_GL_CreateContext(window) == nullptr)
        return nullptr;
    return window;
}

// The ordinary way to the same first frame: each face through SDL_LoadBMP and a straight loop to
// RGBA (bottom row first, so the picture's top lies at t = 1), gluBuild2DMipmaps, the same filters
// and clamping; the cube as immediate quads.
bool drawSdlSky()
{
    glMatrixMode(GL_PROJECTION);
    gluPerspective(45.0, 1.333333333333333, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    GLuint names[FACE_COUNT] = {};
    glGenTextures(FACE_COUNT, names);
    std::vector<uint8_t> rgba(512 * 512 * 4);
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        SDL_Surface* surface = SDL_LoadBMP(SKY_FACE_FILES[face]);
        if (surface == nullptr || surface->format->format != SDL_PIXELFORMAT_BGR24 || surface->w != 512 ||
            surface->h != 512)
            return false;
        uint8_t* out = rgba.data();
        for (int32_t y = 511; y >= 0; --y) {
            const uint8_t* in = static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y) * surface->pitch;
            for (int32_t x = 0; x < 512; ++x, in += 3, out += 4) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                out[3] = 0xFF;
            }
        }
        SDL_FreeSurface(surface);
        glBindTexture(GL_TEXTURE_2D, names[face]);
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, 512, 512, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glRotatef(1.0f, 1.0f, 0.0f, 0.0f);
    glEnable(GL_TEXTURE_2D);
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        glBindTexture(GL_TEXTURE_2D, names[face]);
        glBegin(GL_QUADS);
        for (const SkyVertex& vertex : SKY_CUBE[face]) {
            glTexCoord2d(vertex.s, vertex.t);
            glVertex3f(vertex.x, vertex.y, vertex.z);
        }
        glEnd();
    }
    return true;
}

// What a child runs: start as the mode says, present the first frame, tell the parent, end.
int runFirstFrame(const std::string& mode, int readyFd)
{
    const char ready = 1;
    if (mode == "viewer") {
        if (startViewer() != 0)
            return 1;
        ViewState view;
        runFrame(view);
    } else if (mode == "layer") {
        if (openWindow(WIDTH, HEIGHT, 32) != 0)
            return 1;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        presentFrame();
    } else if (mode == "sdl" || mode == "sdlSky") {
        SDL_Window* window = openSdlWindow();
        if (window == nullptr)
            return 1;
        if (mode == "sdlSky") {
            if (!drawSdlSky())
                return 1;
        } else {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
        SDL_GL_SwapWindow(window);
    } else {
        return 2;
    }
    if (write(readyFd, &ready, 1) != 1)
        return 1;
    // Ending is not timed; every mode closes its window the same way, through SDL_Quit.
    SDL_Quit();
    return 0;
}

// One start-up: seconds from fork to the child's first presented frame; negative on failure.
double timeFirstFrame(const char* mode)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    // Everything the child needs is made before fork: between fork and exec only plain calls.
    const std::string fdText = std::to_string(fds[1]);
    const std::string modeArgument = std::string(FIRST_FRAME_MODE) + mode;
    char* const argv[] = {const_cast<char*>(selfPath.c_str()), const_cast<char*>(modeArgument.c_str()),
                          const_cast<char*>(fdText.c_str()), nullptr};

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (chdir(faceFolder.c_str()) != 0)
            _exit(126);
        execv(selfPath.c_str(), argv);
        _exit(127);
    }
    close(fds[1]);
    char ready = 0;
    const bool presented = pid > 0 && read(fds[0], &ready, 1) == 1;
    const auto end = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    if (!presented || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(end - start).count();
}

void startup(benchmark::State& state, const char* mode)
{
    for (auto _ : state) {
        const double seconds = timeFirstFrame(mode);
        if (seconds < 0) {
            state.SkipWithError("the child did not present its first frame");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void viewerStartup(benchmark::State& state) { startup(state, "viewer"); }
void layerStartup(benchmark::State& state) { startup(state, "layer"); }
void emptySdlStartup(benchmark::State& state) { startup(state, "sdl"); }
void sdlSkyStartup(benchmark::State& state) { startup(state, "sdlSky"); }

// ---- Frames, in this process's window

void viewerFrame(benchmark::State& state)
{
    ViewState view;
    for (auto _ : state)
        runFrame(view);
}

void drawViewer()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    drawSky(1.0f, 0.0f, 0.0f);
}

void viewerDraw(benchmark::State& state)
{
    for (auto _ : state) {
        drawViewer();
        presentFrame();
    }
}

// The floor's state, set once: the first frame's rotation, texturing on, no depth test, the face
// ahead bound (the only one in view at pitch 1, yaw 0).
void beginFloor()
{
    glLoadIdentity();
    glRotatef(1.0f, 1.0f, 0.0f, 0.0f);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBindTexture(GL_TEXTURE_2D, faceTextures[FACE_BACK]);
}

void endFloor()
{
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glLoadIdentity();
}

void drawFloor()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_QUADS);
    for (const auto& face : SKY_CUBE) {
        for (const SkyVertex& vertex : face) {
            glTexCoord2d(vertex.s, vertex.t);
            glVertex3f(vertex.x, vertex.y, vertex.z);
        }
    }
    glEnd();
}

void floorFrame(benchmark::State& state)
{
    beginFloor();
    for (auto _ : state) {
        drawFloor();
        presentFrame();
    }
    endFloor();
}

void bareFrame(benchmark::State& state)
{
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        presentFrame();
    }
}

std::vector<uint8_t> readBackBuffer()
{
    std::vector<uint8_t> pixels(static_cast<size_t>(WIDTH) * HEIGHT * 4);
    glFinish();
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The floor must draw the viewer's picture, or the ratio would compare different work.
bool floorDrawsTheSamePicture()
{
    drawViewer();
    const std::vector<uint8_t> viewer = readBackBuffer();
    beginFloor();
    drawFloor();
    const std::vector<uint8_t> floor = readBackBuffer();
    endFloor();
    return viewer == floor;
}

// ---- Report

struct Entry {
    const char* name;
    void (*body)(benchmark::State&);
};
constexpr Entry STARTUPS[] = {
    {"viewerStartup", viewerStartup}, {"layerStartup", layerStartup}, {"emptySdlStartup", emptySdlStartup},
    {"sdlSkyStartup", sdlSkyStartup}};
constexpr Entry FRAMES[] = {
    {"viewerFrame", viewerFrame}, {"viewerDraw", viewerDraw}, {"floorFrame", floorFrame}, {"bareFrame", bareFrame}};

double smallest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void printRatio(const RatioReporter& reporter, const char* label, const std::string& measured,
                const std::string& baseline)
{
    const auto a = reporter.times.find(measured);
    const auto b = reporter.times.find(baseline);
    if (a == reporter.times.end() || b == reporter.times.end() || b->second.realMedian <= 0 || b->second.realMin <= 0)
        return;
    std::printf("  %-44s %-16s / %-16s median %.3f   min %.3f\n", label, measured.c_str(), baseline.c_str(),
                a->second.realMedian / b->second.realMedian, a->second.realMin / b->second.realMin);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strncmp(argv[1], FIRST_FRAME_MODE, std::strlen(FIRST_FRAME_MODE)) == 0)
        return runFirstFrame(argv[1] + std::strlen(FIRST_FRAME_MODE), std::atoi(argv[2]));

    initializeInterleaved(argc, argv);
    selfPath = std::filesystem::canonical("/proc/self/exe").string();
    if (!writeFaces()) {
        std::fprintf(stderr, "frame_bench: cannot write the faces\n");
        return 1;
    }

    // Start-up first, while this process has no window of its own.
    for (const Entry& entry : STARTUPS) {
        benchmark::RegisterBenchmark(entry.name, entry.body)
            ->UseManualTime()
            ->Iterations(2)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(REPETITIONS)
            ->ComputeStatistics("min", smallest)
            ->ReportAggregatesOnly();
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::ClearRegisteredBenchmarks();

    // The frames run in the viewer's own window, started as the viewer starts.
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(faceFolder);
    if (startViewer() != 0)
        return 1;
    std::filesystem::current_path(here);
    const bool samePicture = floorDrawsTheSamePicture();
    for (const Entry& entry : FRAMES) {
        benchmark::RegisterBenchmark(entry.name, entry.body)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(REPETITIONS)
            ->ComputeStatistics("min", smallest)
            ->ReportAggregatesOnly();
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRatios (real time; the median of %d repetitions, and the minimum):\n", REPETITIONS);
    printRatio(reporter, "frame / floor (goal <= 1.10)", "viewerFrame", "floorFrame");
    printRatio(reporter, "drawing alone / floor", "viewerDraw", "floorFrame");
    printRatio(reporter, "frame / bare clear-and-present", "viewerFrame", "bareFrame");
    printRatio(reporter, "floor / bare clear-and-present", "floorFrame", "bareFrame");
    printRatio(reporter, "start-up / empty SDL window (goal <= 1.10)", "viewerStartup", "emptySdlStartup");
    printRatio(reporter, "start-up / the same first frame through SDL", "viewerStartup", "sdlSkyStartup");
    printRatio(reporter, "window layer start-up / empty SDL window", "layerStartup", "emptySdlStartup");
    std::printf("  the floor draws the viewer's picture: %s\n", samePicture ? "yes" : "NO");
    std::filesystem::remove_all(faceFolder);
    endProgram(0);
}
