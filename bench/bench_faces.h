#pragma once
// Six 512 x 512 24-bit face files, each a picture of its own, for the benchmarks that load faces.
#include "sky/sky.h"
#include "support/bmp_writer.h"

#include <cstdlib>
#include <string>

// Writes the six faces under their viewer names into a fresh folder below /tmp and returns the
// folder; empty when it cannot.
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
