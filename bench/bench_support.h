#pragma once
// What the benchmarks share: six face files to load, the library started with repetitions
// interleaved, and a console report that keeps each benchmark's times for the ratios printed last.
#include "sky/sky.h"
#include "support/bmp_writer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

// Writes six 512 x 512 24-bit faces, each a picture of its own, under their viewer names into a
// fresh folder below /tmp and returns the folder; empty when it cannot.
inline std::string writeBenchFaces()
{
    char pattern[] = "/tmp/skyview-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return {};
    const std::string folder = pattern;
    for (int32_t face = 0; face < FACE_COUNT; ++face) {
        const BmpFixture picture = picture24(512, 512, [face](int32_t x, int32_t y) {
            const auto channel = [](int32_t value) { return static_cast<uint32_t>(value) & 0xFF; };
            return channel(x / 2 + face * 40) << 16 | channel(y / 2) << 8 | channel((x ^ y) + face);
        });
        if (!writeFileBytes(folder + "/" + SKY_FACE_FILES[face], encodeBmp(picture)))
            return {};
    }
    return folder;
}

// Other work on the machine comes and goes: repetitions of all the benchmarks run shuffled
// together, so that a busy spell spreads over all of them instead of landing on one. Flags given
// on the command line come later and so still win.
inline void initializeInterleaved(int argc, char** argv)
{
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> arguments = {argv[0], interleave};
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i]);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
}

// Per iteration: real time median and minimum, CPU time median. A benchmark run without
// repetitions stands for its own median and minimum.
struct BenchTimes {
    double realMedian = 0;
    double realMin = 0;
    double cpuMedian = 0;
};

// Prints as usual and keeps every benchmark's times by function name.
struct RatioReporter : benchmark::ConsoleReporter {
    std::map<std::string, BenchTimes> times;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        // A repeated benchmark's aggregates arrive after its single runs and replace them.
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            BenchTimes& t = times[run.run_name.function_name];
            if (run.run_type == Run::RT_Iteration) {
                t.realMedian = t.realMin = run.GetAdjustedRealTime();
                t.cpuMedian = run.GetAdjustedCPUTime();
            } else if (run.aggregate_name == "median") {
                t.realMedian = run.GetAdjustedRealTime();
                t.cpuMedian = run.GetAdjustedCPUTime();
            } else if (run.aggregate_name == "min") {
                t.realMin = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};
