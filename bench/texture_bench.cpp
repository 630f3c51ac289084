// The start-up face pipeline against the ordinary way of doing the same work, measured in the same
// run: six loadFaceTexture calls on six 512 x 512 24-bit face files, against six SDL_LoadBMP calls
// each followed by one straight conversion loop to RGBA and gluBuild2DMipmaps. Then each stage on
// its own, to show where a difference comes from. Needs a display: the bench opens the viewer's
// window itself. Run: texture_bench (the ratios are printed last).
#include "bench_support.h"
#include "platform/bmp.h"
#include "platform/image.h"
#include "platform/window.h"
#include "sky/sky.h"
#include "texture/texture.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL.h>
#include <malloc.h>
#include <sys/resource.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int32_t REPETITIONS = 5;

std::string facePaths[FACE_COUNT];

// The face files, written once by main.
bool writeFaces(std::filesystem::path& folder)
{
    folder = writeBenchFaces();
    if (folder.empty())
        return false;
    for (int32_t face = 0; face < FACE_COUNT; ++face)
        facePaths[face] = (folder / SKY_FACE_FILES[face]).string();
    return true;
}

// The ordinary conversion: the surface's B, G, R bytes to R, G, B, A, bottom row first so that
// the picture's top lies at t = 1 as in the viewer's textures.
std::vector<uint8_t> surfaceToRgba(const SDL_Surface* surface)
{
    const int32_t width = surface->w;
    const int32_t height = surface->h;
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    uint8_t* out = rgba.data();
    for (int32_t y = height - 1; y >= 0; --y) {
        const uint8_t* in = static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y) * surface->pitch;
        for (int32_t x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = 0xFF;
        }
    }
    return rgba;
}

GLuint rgbaToTexture(const std::vector<uint8_t>& rgba, int32_t width, int32_t height)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return name;
}

SDL_Surface* loadSurface(const std::string& path)
{
    SDL_Surface* surface = SDL_LoadBMP(path.c_str());
    // The straight loop reads three bytes a pixel in the file's B, G, R order.
    if (surface != nullptr && surface->format->format != SDL_PIXELFORMAT_BGR24) {
        SDL_FreeSurface(surface);
        return nullptr;
    }
    return surface;
}

GLuint ordinaryFace(const std::string& path)
{
    SDL_Surface* surface = loadSurface(path);
    if (surface == nullptr)
        return 0;
    const GLuint name = rgbaToTexture(surfaceToRgba(surface), surface->w, surface->h);
    SDL_FreeSurface(surface);
    return name;
}

void deleteFaces(GLuint (&names)[FACE_COUNT])
{
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(FACE_COUNT, names);
    glFinish();
}

// Page faults per face over a benchmark's loop. On this kind of machine a fresh page costs more
// than converting it, so where the two ways differ this is usually why.
long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

void countFaults(benchmark::State& state, long before)
{
    state.counters["faults/face"] =
        static_cast<double>(minorFaults() - before) / static_cast<double>(state.iterations() * FACE_COUNT);
}

void facePipeline(benchmark::State& state)
{
    GLuint names[FACE_COUNT] = {};
    const long faults = minorFaults();
    for (auto _ : state) {
        for (int32_t face = 0; face < FACE_COUNT; ++face)
            loadFaceTexture(names[face], facePaths[face].c_str());
        deleteFaces(names);
    }
    countFaults(state, faults);
}

void ordinaryPipeline(benchmark::State& state)
{
    GLuint names[FACE_COUNT] = {};
    const long faults = minorFaults();
    for (auto _ : state) {
        for (int32_t face = 0; face < FACE_COUNT; ++face)
            names[face] = ordinaryFace(facePaths[face]);
        deleteFaces(names);
    }
    countFaults(state, faults);
}

// Stage 1, the file: six faces loaded, no OpenGL.
void loadStageOurs(benchmark::State& state)
{
    const long faults = minorFaults();
    for (auto _ : state) {
        for (int32_t face = 0; face < FACE_COUNT; ++face) {
            ImageBuffer* image = createImage(512, 512, 0);
            benchmark::DoNotOptimize(loadBmp(image, facePaths[face].c_str()));
            destroyImage(image);
        }
    }
    countFaults(state, faults);
}

void loadStageOrdinary(benchmark::State& state)
{
    const long faults = minorFaults();
    for (auto _ : state) {
        for (int32_t face = 0; face < FACE_COUNT; ++face) {
            SDL_Surface* surface = SDL_LoadBMP(facePaths[face].c_str());
            benchmark::DoNotOptimize(surface);
            SDL_FreeSurface(surface);
        }
    }
    countFaults(state, faults);
}

// Stages 2 and 3 convert pictures already in memory: ours with these flags, the ordinary way
// through upload, which makes one texture from RGBA bytes.
void convertOurs(benchmark::State& state, int32_t flags)
{
    ImageBuffer* images[FACE_COUNT];
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        images[face] = createImage(512, 512, 0);
        loadBmp(images[face], facePaths[face].c_str());
    }
    GLuint names[FACE_COUNT] = {};
    const long faults = minorFaults();
    for (auto _ : state) {
        for (int32_t face = 0; face < FACE_COUNT; ++face)
            names[face] = imageToTexture(images[face], flags);
        deleteFaces(names);
    }
    countFaults(state, faults);
    for (ImageBuffer* image : images)
        destroyImage(image);
}

void convertOrdinary(benchmark::State& state, GLuint (*upload)(const std::vector<uint8_t>&, int32_t, int32_t))
{
    SDL_Surface* surfaces[FACE_COUNT];
    for (int32_t face = 0; face < FACE_COUNT; ++face)
        surfaces[face] = loadSurface(facePaths[face]);
    GLuint names[FACE_COUNT] = {};
    const long faults = minorFaults();
    for (auto _ : state) {
        for (int32_t face = 0; face < FACE_COUNT; ++face)
            names[face] = upload(surfaceToRgba(surfaces[face]), surfaces[face]->w, surfaces[face]->h);
        deleteFaces(names);
    }
    countFaults(state, faults);
    for (SDL_Surface* surface : surfaces)
        SDL_FreeSurface(surface);
}

GLuint rgbaToLevelZero(const std::vector<uint8_t>& rgba, int32_t width, int32_t height)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return name;
}

// Stage 2, the conversion and the mipmaps.
void convertStageOurs(benchmark::State& state)
{
    convertOurs(state, TEX_MIPMAP);
}

void convertStageOrdinary(benchmark::State& state)
{
    convertOrdinary(state, rgbaToTexture);
}

// Stage 3, conversion and level 0 alone, without GLU's mipmaps: where the two ways differ most.
void levelZeroStageOurs(benchmark::State& state)
{
    convertOurs(state, 0);
}

void levelZeroStageOrdinary(benchmark::State& state)
{
    convertOrdinary(state, rgbaToLevelZero);
}

// Each stage, ours and the ordinary way side by side.
struct Stage {
    const char* label;
    const char* ours;
    void (*oursBody)(benchmark::State&);
    const char* ordinary;
    void (*ordinaryBody)(benchmark::State&);
};

constexpr Stage STAGES[] = {
    {"face pipeline (goal <= 1.10)", "facePipeline", facePipeline, "ordinaryPipeline", ordinaryPipeline},
    {"load stage", "loadStageOurs", loadStageOurs, "loadStageOrdinary", loadStageOrdinary},
    {"convert + mipmaps stage", "convertStageOurs", convertStageOurs, "convertStageOrdinary", convertStageOrdinary},
    {"convert + level 0 stage", "levelZeroStageOurs", levelZeroStageOurs, "levelZeroStageOrdinary",
     levelZeroStageOrdinary},
};

double smallest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void registerStages()
{
    for (const Stage& stage : STAGES) {
        for (const auto& [name, body] : {std::pair{stage.ours, stage.oursBody}, std::pair{stage.ordinary, stage.ordinaryBody}}) {
            benchmark::RegisterBenchmark(name, body)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(REPETITIONS)
                ->ComputeStatistics("min", smallest)
                ->ReportAggregatesOnly();
        }
    }
}

// Both ways must make the same textures, or the comparison would not be of the same work.
bool sameTextures()
{
    bool same = true;
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        GLuint ours = 0;
        loadFaceTexture(ours, facePaths[face].c_str());
        const GLuint ordinary = ordinaryFace(facePaths[face]);
        for (GLint level = 0; level < 10 && ordinary != 0; ++level) {
            std::vector<uint8_t> a(512 * 512 * 4), b(512 * 512 * 4);
            glBindTexture(GL_TEXTURE_2D, ours);
            glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, a.data());
            glBindTexture(GL_TEXTURE_2D, ordinary);
            glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, b.data());
            same = same && a == b;
        }
        same = same && ordinary != 0;
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &ours);
        glDeleteTextures(1, &ordinary);
    }
    return same;
}

void printRatios(const std::map<std::string, BenchTimes>& times)
{
    std::printf("\nours/ordinary over %d repetitions: real time median, real time minimum, CPU time median\n",
                REPETITIONS);
    for (const Stage& stage : STAGES) {
        const auto a = times.find(stage.ours);
        const auto b = times.find(stage.ordinary);
        if (a == times.end() || b == times.end() || b->second.realMedian <= 0 || b->second.realMin <= 0 ||
            b->second.cpuMedian <= 0)
            continue;
        std::printf("%-30s %.3f  %.3f  %.3f   (median %.3f ms against %.3f ms)\n", stage.label,
                    a->second.realMedian / b->second.realMedian, a->second.realMin / b->second.realMin,
                    a->second.cpuMedian / b->second.cpuMedian, a->second.realMedian, b->second.realMedian);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // On this kind of machine a fresh page costs more than the work done on it, and whether an
    // allocation of a megabyte gets fresh pages depends on what was freed before it: the ratios
    // swung from 0.2 to 1.6 between runs. Kept on the heap and never handed back, memory is
    // faulted in once, and both ways are measured on their own work.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);

    initializeInterleaved(argc, argv);
    if (openWindow(1024, 768, 32) != 0) {
        std::fprintf(stderr, "texture_bench: %s\n", windowError());
        return 1;
    }
    std::filesystem::path folder;
    if (!writeFaces(folder)) {
        std::fprintf(stderr, "texture_bench: cannot write the face files\n");
        return 1;
    }
    int status = 0;
    if (!sameTextures()) {
        std::fprintf(stderr, "texture_bench: the two pipelines make different textures\n");
        status = 1;
    } else {
        registerStages();
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        printRatios(reporter.times);
    }
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
