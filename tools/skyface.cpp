// skyface: for people who make sky boxes. The viewer says nothing about its face files; this
// tool loads them the way the viewer does and says what the viewer will show, writes what it
// holds, unfolds the six faces into one picture, and generates a test sky.
#include "cross.h"
#include "face_load.h"
#include "sky_paint.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_WHOLE = 0;
constexpr int EXIT_NOT_WHOLE = 1;
constexpr int EXIT_USAGE = 2;

constexpr const char* FACE_NAMES[FACE_COUNT] = {"up", "down", "right", "left", "front", "back"};

constexpr const char* USAGE =
    "usage: skyface check [DIR]\n"
    "         one line per face in DIR (default .): what the viewer will show\n"
    "       skyface dump FILE OUT\n"
    "         the 512 x 512 face the viewer holds after loading FILE, as PNG, or PPM if OUT ends in .ppm\n"
    "       skyface cross [--scale N] [--no-labels] DIR OUT\n"
    "         the six faces of DIR unfolded into a 4 x 3 cross as seen from inside; N is 1, 2, 4 or 8\n"
    "       skyface generate DIR\n"
    "         writes six 512 x 512 faces of a test sky into DIR\n"
    "exit status: 0 every face loaded whole, 1 not (or a file could not be written), 2 usage error\n";

int usageError()
{
    std::fputs(USAGE, stderr);
    return EXIT_USAGE;
}

std::string pathIn(const std::string& dir, const char* fileName)
{
    return (std::filesystem::path(dir) / fileName).string();
}

bool isDirectory(const std::string& dir)
{
    std::error_code error;
    if (std::filesystem::is_directory(dir, error))
        return true;
    std::fprintf(stderr, "skyface: not a directory: %s\n", dir.c_str());
    return false;
}

int check(const std::string& dir)
{
    if (!isDirectory(dir))
        return EXIT_USAGE;
    bool allWhole = true;
    for (int face = 0; face < FACE_COUNT; ++face) {
        const FaceLoad load = loadFace(pathIn(dir, SKY_FACE_FILES[face]));
        allWhole = allWhole && load.whole;
        std::printf("%s\n", statusLine(FACE_NAMES[face], SKY_FACE_FILES[face], load.status).c_str());
    }
    return allWhole ? EXIT_WHOLE : EXIT_NOT_WHOLE;
}

int dump(const std::string& file, const std::string& out)
{
    const FaceLoad load = loadFace(file);
    // A face file keeps its face's name; any other file is just a file.
    const std::string base = std::filesystem::path(file).filename().string();
    std::string faceName = "-";
    for (int face = 0; face < FACE_COUNT; ++face)
        if (base == SKY_FACE_FILES[face])
            faceName = FACE_NAMES[face];
    std::fprintf(stderr, "%s\n", statusLine(faceName, file, load.status).c_str());
    if (!writePngOrPpm(load.picture, out)) {
        std::fprintf(stderr, "skyface: cannot write %s\n", out.c_str());
        return EXIT_NOT_WHOLE;
    }
    return load.whole ? EXIT_WHOLE : EXIT_NOT_WHOLE;
}

int cross(const std::string& dir, const std::string& out, int32_t scale, bool labels)
{
    if (!isDirectory(dir))
        return EXIT_USAGE;
    std::array<Picture, FACE_COUNT> faces;
    for (int face = 0; face < FACE_COUNT; ++face) {
        faces[static_cast<size_t>(face)] = loadFace(pathIn(dir, SKY_FACE_FILES[face])).picture;
        if (labels)
            stampLabel(faces[static_cast<size_t>(face)], SKY_FACE_FILES[face]);
    }
    if (!writePngOrPpm(downscaled(unfoldCross(faces), scale), out)) {
        std::fprintf(stderr, "skyface: cannot write %s\n", out.c_str());
        return EXIT_NOT_WHOLE;
    }
    return EXIT_WHOLE;
}

int generate(const std::string& dir)
{
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    for (int face = 0; face < FACE_COUNT; ++face) {
        const std::string path = pathIn(dir, SKY_FACE_FILES[face]);
        if (!writeBmp24(paintFace(static_cast<SkyFace>(face), FACE_SIZE), path)) {
            std::fprintf(stderr, "skyface: cannot write %s\n", path.c_str());
            return EXIT_NOT_WHOLE;
        }
    }
    return EXIT_WHOLE;
}

// Parses the cross command's options; false on anything it does not know.
bool crossArguments(const std::vector<std::string>& args, int32_t& scale, bool& labels, std::vector<std::string>& operands)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--no-labels") {
            labels = false;
        } else if (args[i] == "--scale" && i + 1 < args.size()) {
            const std::string& value = args[++i];
            if (value != "1" && value != "2" && value != "4" && value != "8")
                return false;
            scale = value[0] - '0';
        } else if (!args[i].empty() && args[i][0] == '-') {
            return false;
        } else {
            operands.push_back(args[i]);
        }
    }
    return operands.size() == 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    if (args.empty())
        return usageError();
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help") {
        std::fputs(USAGE, stdout);
        return EXIT_WHOLE;
    }
    if (command == "check" && rest.size() <= 1)
        return check(rest.empty() ? "." : rest[0]);
    if (command == "dump" && rest.size() == 2)
        return dump(rest[0], rest[1]);
    if (command == "generate" && rest.size() == 1)
        return generate(rest[0]);
    if (command == "cross") {
        int32_t scale = 1;
        bool labels = true;
        std::vector<std::string> operands;
        if (crossArguments(rest, scale, labels, operands))
            return cross(operands[0], operands[1], scale, labels);
    }
    return usageError();
}
