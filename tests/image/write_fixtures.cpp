// Writes the decoder's test fixtures as .bmp files into a folder: the fuzzer's first corpus.
// Usage: write_fixtures FOLDER
#include "fixtures.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    int32_t failures = 0;
    const auto save = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        if (!writeFileBytes((folder / (name + ".bmp")).string(), bytes)) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            ++failures;
        }
    };

    for (const FormCase& form : formCases()) {
        save(form.name, encodeBmp(form.fixture));
        if (canStoreTopDown(form.fixture)) {
            BmpFixture topDown = form.fixture;
            topDown.topDown = true;
            save(form.name + "_top_down", encodeBmp(topDown));
        }
    }

    // Run-length streams with every kind of step: runs, end of line, move, absolute runs with
    // and without padding, end of picture.
    BmpFixture rle8;
    rle8.width = 4;
    rle8.height = 3;
    rle8.bitsPerPixel = 8;
    rle8.compression = 1;
    rle8.colourTable = {0x000000, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777};
    rle8.rawData = {3, 5, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 1, 7, 0, 1};
    save("rle8", encodeBmp(rle8));
    BmpFixture rle4 = rle8;
    rle4.bitsPerPixel = 4;
    rle4.compression = 2;
    rle4.rawData = {4, 0x12, 0, 0, 0, 5, 0xAB, 0xCD, 0xE0, 0, 0, 0, 0, 3, 0x45, 0x60, 0, 1};
    save("rle4", encodeBmp(rle4));

    // A small face, whole and cut inside a row.
    std::vector<uint8_t> face = encodeBmp(faceFixture(40, 30));
    save("face_40x30", face);
    face.resize(face.size() - 100);
    save("face_40x30_cut", face);
    return failures == 0 ? 0 : 1;
}
