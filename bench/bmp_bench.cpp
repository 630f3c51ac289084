// The BMP decoder against SDL's and stb_image's on the same 512 x 512 24-bit face, measured in
// the same run, like with like in two groups: first all three decode the bytes from memory (no
// file system time in any figure), then all three open the same file. Each produces its natural
// result: ours 4-byte pixels in an existing face image (as the viewer loads a face), SDL a new
// 24-bit surface (its rows copied as they are), stb a new 3-channel buffer turned top row first.
// One more SDL line converts its surface to 4-byte pixels, the same result as ours. At the end
// the ratios ours / SDL and ours / stb are printed for each group: below 1 means ours is faster.
#include "bench_support.h"
#include "platform/bmp.h"
#include "platform/image.h"
#include "support/bmp_writer.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int32_t FACE_SIZE = 512;

const std::vector<uint8_t>& faceBytes()
{
    static const std::vector<uint8_t> bytes = encodeBmp(picture24(FACE_SIZE, FACE_SIZE, [](int32_t x, int32_t y) {
        return static_cast<uint32_t>((x * 7 + y) & 0xFF) << 16 | static_cast<uint32_t>((x ^ y) & 0xFF) << 8 |
               static_cast<uint32_t>((y * 3) & 0xFF);
    }));
    return bytes;
}

void oursIntoFaceImage(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = faceBytes();
    ImageBuffer* image = createImageWithPixelSize(FACE_SIZE, FACE_SIZE, 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(loadBmpFromMemory(image, bytes.data(), bytes.size()));
        benchmark::ClobberMemory();
    }
    if (readPixel(image, 511, 511) == IMAGE_FILL_4)
        state.SkipWithError("face not loaded");
    destroyImage(image);
}

// The viewer's whole step: a new filled face image, then the load.
void oursCreateAndLoad(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = faceBytes();
    for (auto _ : state) {
        ImageBuffer* image = createImageWithPixelSize(FACE_SIZE, FACE_SIZE, 4);
        benchmark::DoNotOptimize(loadBmpFromMemory(image, bytes.data(), bytes.size()));
        benchmark::ClobberMemory();
        destroyImage(image);
    }
}

void sdlLoadBmp(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = faceBytes();
    for (auto _ : state) {
        SDL_Surface* surface = SDL_LoadBMP_RW(SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size())), 1);
        if (surface == nullptr) {
            state.SkipWithError(SDL_GetError());
            break;
        }
        benchmark::DoNotOptimize(surface->pixels);
        SDL_FreeSurface(surface);
    }
}

// SDL's load followed by its conversion to the pixels ours produces (0xFFRRGGBB).
void sdlLoadBmpAs32(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = faceBytes();
    for (auto _ : state) {
        SDL_Surface* surface = SDL_LoadBMP_RW(SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size())), 1);
        SDL_Surface* converted =
            surface == nullptr ? nullptr : SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0);
        SDL_FreeSurface(surface);
        if (converted == nullptr) {
            state.SkipWithError(SDL_GetError());
            break;
        }
        benchmark::DoNotOptimize(converted->pixels);
        SDL_FreeSurface(converted);
    }
}

void stbLoadFromMemory(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = faceBytes();
    for (auto _ : state) {
        int width = 0;
        int height = 0;
        int channels = 0;
        stbi_uc* pixels =
            stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 0);
        if (pixels == nullptr) {
            state.SkipWithError(stbi_failure_reason());
            break;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
}

// The same face as a file, written once into a fresh folder and removed at the end.
std::string facePath;

void fileOurs(benchmark::State& state)
{
    ImageBuffer* image = createImageWithPixelSize(FACE_SIZE, FACE_SIZE, 4);
    for (auto _ : state) {
        if (loadBmp(image, facePath.c_str()) != BMP_OK) {
            state.SkipWithError("cannot load the face file");
            break;
        }
        benchmark::ClobberMemory();
    }
    destroyImage(image);
}

void fileSdl(benchmark::State& state)
{
    for (auto _ : state) {
        SDL_Surface* surface = SDL_LoadBMP(facePath.c_str());
        if (surface == nullptr) {
            state.SkipWithError(SDL_GetError());
            break;
        }
        benchmark::DoNotOptimize(surface->pixels);
        SDL_FreeSurface(surface);
    }
}

void fileStb(benchmark::State& state)
{
    for (auto _ : state) {
        int width = 0;
        int height = 0;
        int channels = 0;
        stbi_uc* pixels = stbi_load(facePath.c_str(), &width, &height, &channels, 0);
        if (pixels == nullptr) {
            state.SkipWithError(stbi_failure_reason());
            break;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
}

BENCHMARK(oursIntoFaceImage)->Unit(benchmark::kMillisecond);
BENCHMARK(oursCreateAndLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(sdlLoadBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(sdlLoadBmpAs32)->Unit(benchmark::kMillisecond);
BENCHMARK(stbLoadFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(fileOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(fileSdl)->Unit(benchmark::kMillisecond);
BENCHMARK(fileStb)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    char folder[] = "/tmp/bmp-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    facePath = std::string(folder) + "/face.bmp";
    if (!writeFileBytes(facePath, faceBytes()))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::remove(facePath.c_str());
    std::remove(folder);

    const auto ratio = [&](const char* ours, const char* theirs) {
        const double ourTime = reporter.times[ours].realMedian;
        const double theirTime = reporter.times[theirs].realMedian;
        if (ourTime > 0 && theirTime > 0)
            std::printf("%-17s / %-17s = %.2f\n", ours, theirs, ourTime / theirTime);
    };
    ratio("oursIntoFaceImage", "sdlLoadBmp");
    ratio("oursIntoFaceImage", "sdlLoadBmpAs32");
    ratio("oursIntoFaceImage", "stbLoadFromMemory");
    ratio("oursCreateAndLoad", "sdlLoadBmp");
    ratio("fileOurs", "fileSdl");
    ratio("fileOurs", "fileStb");
    return 0;
}
