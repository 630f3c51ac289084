// skyface run as a process, the way a sky box maker runs it: its lines and exit statuses, the
// pictures it writes read back, and the generated sky checked for seams through the cube table.
#include "platform/bmp.h"
#include "platform/image.h"
#include "sky/sky.h"
#include "support/bmp_writer.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int32_t FACE = 512;
constexpr uint32_t MAGENTA = 0xFF00FF;
constexpr uint32_t BACKGROUND = 0x303030;
const char* const FACE_NAMES[FACE_COUNT] = {"up", "down", "right", "left", "front", "back"};

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

std::string readText(const fs::path& path)
{
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return text;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, got);
    std::fclose(file);
    return text;
}

std::vector<uint8_t> readBytes(const fs::path& path)
{
    const std::string text = readText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Pictures as 0xRRGGBB, top row first.
struct Rgb {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

Rgb fromBytes(int32_t width, int32_t height, const uint8_t* rgb)
{
    Rgb picture{width, height, {}};
    picture.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = static_cast<uint32_t>(rgb[3 * i]) << 16 | static_cast<uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    return picture;
}

// A binary PPM as skyface writes it: "P6\n<w> <h>\n255\n", then the pixels.
Rgb readPpm(const fs::path& path)
{
    const std::string text = readText(path);
    std::istringstream header(text);
    std::string magic;
    int32_t width = 0, height = 0, maximum = 0;
    header >> magic >> width >> height >> maximum;
    if (magic != "P6" || maximum != 255 || width <= 0 || height <= 0)
        return {};
    const size_t start = static_cast<size_t>(header.tellg()) + 1;
    if (text.size() != start + static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
        return {};
    return fromBytes(width, height, reinterpret_cast<const uint8_t*>(text.data() + start));
}

Rgb readPng(const fs::path& path)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0)
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr) == 0)
        return {};
    return fromBytes(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height), bytes.data());
}

// A face file loaded as the viewer loads it, straight through the loader.
Rgb viewerFace(const fs::path& path)
{
    ImageBuffer* image = createImageWithPixelSize(FACE, FACE, 4);
    loadBmp(image, path.c_str());
    const ImageLayout layout = imageLayout(image);
    Rgb face{FACE, FACE, {}};
    for (int32_t y = 0; y < FACE; ++y)
        for (int32_t x = 0; x < FACE; ++x)
            face.pixels.push_back(readPixel(layout, static_cast<float>(x), static_cast<float>(y)) & 0xFFFFFF);
    destroyImage(image);
    return face;
}

int channelDifference(uint32_t a, uint32_t b)
{
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8)
        most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return most;
}

// The expected check line, in the tool's columns.
std::string line(int face, const std::string& status)
{
    std::string name = FACE_NAMES[face];
    name.resize(6, ' ');
    return name + " " + SKY_FACE_FILES[face] + "  " + status;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string one; std::getline(in, one);)
        result.push_back(one);
    return result;
}

class Skyface : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir = fs::temp_directory_path() / ("skyface_test_" + std::to_string(getpid()) + "_" + name);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // skyface with these arguments (shell words), in workingDir if one is given.
    Outcome run(const std::string& arguments, const fs::path& workingDir = {}) const
    {
        const fs::path out = dir / "stdout.txt";
        const fs::path err = dir / "stderr.txt";
        const std::string cd = workingDir.empty() ? "" : "cd " + quoted(workingDir) + " && ";
        const std::string command = cd + quoted(SKYFACE_PATH) + " " + arguments + " >" + quoted(out) + " 2>" + quoted(err);
        const int raw = std::system(command.c_str());
        Outcome result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = readText(out);
        result.err = readText(err);
        return result;
    }

    // A generated sky in dir/name.
    fs::path generated(const std::string& name = "sky") const
    {
        const fs::path sky = dir / name;
        const Outcome made = run("generate " + quoted(sky));
        EXPECT_EQ(made.status, 0) << made.err;
        return sky;
    }

    fs::path dir;
};

// --- check --------------------------------------------------------------------------------------

TEST_F(Skyface, CheckOnAGeneratedSkyReportsSixWholeFaces)
{
    const fs::path sky = generated();
    const Outcome checked = run("check " + quoted(sky));
    EXPECT_EQ(checked.status, 0);
    std::string expected;
    for (int face = 0; face < FACE_COUNT; ++face)
        expected += line(face, "ok 512 x 512, 24 bits") + "\n";
    EXPECT_EQ(checked.out, expected);
    EXPECT_EQ(checked.err, "");

    // Without a directory it checks the current one.
    const Outcome here = run("check", sky);
    EXPECT_EQ(here.status, 0);
    EXPECT_EQ(here.out, expected);
}

struct FaceCase {
    const char* name;
    SkyFace face;
    std::function<void(const fs::path& file)> spoil;
    std::string status;
    int exitStatus;
};

BmpFixture gradient(int32_t width, int32_t height)
{
    return picture24(width, height, [](int32_t x, int32_t y) {
        return static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x + y) & 0xFF));
    });
}

void truncateFile(const fs::path& file, size_t size)
{
    std::vector<uint8_t> bytes = readBytes(file);
    bytes.resize(size);
    writeFileBytes(file.string(), bytes);
}

TEST_F(Skyface, CheckSaysWhatTheViewerShowsForEachKindOfFace)
{
    const auto write = [](BmpFixture fixture) {
        return [fixture](const fs::path& file) { writeFileBytes(file.string(), encodeBmp(fixture)); };
    };
    BmpFixture jpeg = gradient(8, 8);
    jpeg.compression = 4;
    BmpFixture planes = gradient(8, 8);
    planes.planes = 3;
    BmpFixture palette = picture24(FACE, FACE, [](int32_t x, int32_t y) { return static_cast<uint32_t>((x ^ y) & 3); });
    palette.bitsPerPixel = 8;
    palette.colourTable = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
    BmpFixture tall = gradient(FACE, 600);
    tall.topDown = true;

    // A 24-bit 512-wide row is 1536 bytes, after 54 bytes of headers.
    const std::vector<FaceCase> cases = {
        {"missing", FACE_FRONT, [](const fs::path& file) { fs::remove(file); }, "magenta: missing", 1},
        {"directory", FACE_LEFT, [](const fs::path& file) { fs::remove(file); fs::create_directory(file); },
         "magenta: cannot open", 1},
        {"text", FACE_RIGHT, [](const fs::path& file) { writeFileBytes(file.string(), {'G', 'I', 'F', '8', '9', 'a'}); },
         "magenta: not a BMP", 1},
        {"empty", FACE_UP, [](const fs::path& file) { writeFileBytes(file.string(), {}); }, "magenta: not a BMP", 1},
        {"jpeg", FACE_BACK, write(jpeg), "magenta: unsupported: compression 4 (JPEG)", 1},
        {"planes", FACE_DOWN, write(planes), "magenta: unsupported: 3 planes", 1},
        // 200 whole stored rows and part of the next: bottom-up, so row 511 - 200 from the top.
        {"truncated", FACE_BACK, [](const fs::path& file) { truncateFile(file, 54 + 1536 * 200 + 100); },
         "magenta: pixel data ends at row 311 (512 x 512, 24 bits)", 1},
        {"cropped", FACE_RIGHT, write(gradient(600, 520)), "ok 600 x 520, 24 bits, cropped", 1},
        {"partial", FACE_LEFT, write(gradient(256, 256)), "ok 256 x 256, 24 bits, partial", 1},
        {"narrow", FACE_UP, write(gradient(FACE, 100)), "ok 512 x 100, 24 bits, partial", 1},
        {"cropped_and_partial", FACE_FRONT, write(gradient(1024, 100)), "ok 1024 x 100, 24 bits, cropped, partial", 1},
        // Top-down rows that stop below the face: the face is whole, the file is not.
        {"cut_below_face", FACE_DOWN, [&](const fs::path& file) { write(tall)(file); truncateFile(file, 54 + 1536 * 550); },
         "ok 512 x 600, 24 bits, cropped, pixel data ends at row 550", 1},
        {"cut_inside_face", FACE_DOWN, [&](const fs::path& file) { write(tall)(file); truncateFile(file, 54 + 1536 * 300); },
         "magenta: pixel data ends at row 300 (512 x 600, 24 bits)", 1},
        {"palettised", FACE_FRONT, write(palette), "ok 512 x 512, 8 bits", 0},
    };

    const fs::path original = generated();
    for (const FaceCase& test : cases) {
        SCOPED_TRACE(test.name);
        const fs::path sky = dir / test.name;
        fs::copy(original, sky);
        test.spoil(sky / SKY_FACE_FILES[test.face]);
        const Outcome checked = run("check " + quoted(sky));
        EXPECT_EQ(checked.status, test.exitStatus);
        const std::vector<std::string> got = lines(checked.out);
        ASSERT_EQ(got.size(), static_cast<size_t>(FACE_COUNT)) << checked.out;
        for (int face = 0; face < FACE_COUNT; ++face)
            EXPECT_EQ(got[static_cast<size_t>(face)], line(face, face == test.face ? test.status : "ok 512 x 512, 24 bits"));
    }
}

TEST_F(Skyface, UsageErrorsGoToStandardErrorWithStatusTwo)
{
    const fs::path sky = generated();
    const std::vector<std::string> wrong = {
        "",
        "frobnicate",
        "check " + quoted(sky) + " extra",
        "check " + quoted(dir / "no_such_directory"),
        "check " + quoted(sky / "skyup.bmp"),
        "dump " + quoted(sky / "skyup.bmp"),
        "dump a b c",
        "generate",
        "generate a b",
        "cross " + quoted(sky),
        "cross --scale 3 " + quoted(sky) + " " + quoted(dir / "x.png"),
        "cross --scale",
        "cross --frobnicate " + quoted(sky) + " " + quoted(dir / "x.png"),
        "cross " + quoted(dir / "no_such_directory") + " " + quoted(dir / "x.png"),
    };
    for (const std::string& arguments : wrong) {
        SCOPED_TRACE(arguments);
        const Outcome result = run(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err, "");
    }
    EXPECT_FALSE(fs::exists(dir / "x.png"));

    for (const char* help : {"--help", "-h"}) {
        const Outcome result = run(help);
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.out.find("usage: skyface check"), std::string::npos) << result.out;
        EXPECT_EQ(result.err, "");
    }
}

// --- dump ---------------------------------------------------------------------------------------

TEST_F(Skyface, DumpWritesTheFaceAsTheViewerHoldsItWithMagentaBeyondTheFile)
{
    const BmpFixture small = gradient(256, 128);
    const fs::path file = dir / "small.bmp";
    writeFileBytes(file.string(), encodeBmp(small));

    const Outcome asPpm = run("dump " + quoted(file) + " " + quoted(dir / "small.ppm"));
    EXPECT_EQ(asPpm.status, 1);
    EXPECT_EQ(asPpm.out, "");
    EXPECT_EQ(asPpm.err, "-      " + file.string() + "  ok 256 x 128, 24 bits, partial\n");
    const Rgb ppm = readPpm(dir / "small.ppm");
    ASSERT_EQ(ppm.width, FACE);
    ASSERT_EQ(ppm.height, FACE);
    const struct {
        int32_t x, y;
    } probes[] = {{0, 0}, {255, 0}, {0, 127}, {255, 127}, {100, 50}, {256, 0}, {0, 128}, {256, 128}, {511, 511}};
    for (const auto& probe : probes) {
        const bool inside = probe.x < 256 && probe.y < 128;
        const uint32_t expected = inside ? small.pixels[static_cast<size_t>(probe.y * 256 + probe.x)] : MAGENTA;
        EXPECT_EQ(ppm.at(probe.x, probe.y), expected) << "at " << probe.x << ", " << probe.y;
    }

    // PNG unless the name ends in .ppm; the same pixels either way.
    const Outcome asPng = run("dump " + quoted(file) + " " + quoted(dir / "small.png"));
    EXPECT_EQ(asPng.status, 1);
    EXPECT_EQ(asPng.err, asPpm.err);
    const Rgb png = readPng(dir / "small.png");
    EXPECT_EQ(png.width, FACE);
    EXPECT_EQ(png.height, FACE);
    EXPECT_TRUE(png.pixels == ppm.pixels);
}

TEST_F(Skyface, DumpOfAWholeFaceIsExactAndNamesTheFace)
{
    const fs::path sky = generated();
    const fs::path file = sky / "skybk.bmp";
    const Outcome dumped = run("dump " + quoted(file) + " " + quoted(dir / "back.ppm"));
    EXPECT_EQ(dumped.status, 0);
    EXPECT_EQ(dumped.err, "back   " + file.string() + "  ok 512 x 512, 24 bits\n");
    EXPECT_TRUE(readPpm(dir / "back.ppm").pixels == viewerFace(file).pixels);

    // The 24-bit file the generator wrote, stored bottom-up: row 0 of the dump is the file's last row.
    const std::vector<uint8_t> bytes = readBytes(file);
    ASSERT_EQ(bytes.size(), 54u + 512u * 512u * 3u);
    const size_t lastStoredRow = 54 + 511 * 1536;
    const uint32_t topLeft = static_cast<uint32_t>(bytes[lastStoredRow + 2]) << 16 |
                             static_cast<uint32_t>(bytes[lastStoredRow + 1]) << 8 | bytes[lastStoredRow];
    EXPECT_EQ(readPpm(dir / "back.ppm").at(0, 0), topLeft);
}

TEST_F(Skyface, DumpOfAnUnloadableFileIsAllMagenta)
{
    const Outcome missing = run("dump " + quoted(dir / "none.bmp") + " " + quoted(dir / "none.ppm"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("magenta: missing"), std::string::npos) << missing.err;
    const Rgb face = readPpm(dir / "none.ppm");
    ASSERT_EQ(face.pixels.size(), static_cast<size_t>(FACE * FACE));
    EXPECT_TRUE(std::all_of(face.pixels.begin(), face.pixels.end(), [](uint32_t c) { return c == MAGENTA; }));

    const Outcome unwritable = run("dump " + quoted(dir / "none.bmp") + " " + quoted(dir / "no_dir" / "x.png"));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos) << unwritable.err;
}

// --- generate -----------------------------------------------------------------------------------

struct CubeEdge {
    SkyFace faces[2];
    // The edge's two ends as each face's (s, t).
    double ends[2][2][2];
};

// The twelve edges, found as pairs of faces that share two corner positions in the table.
std::vector<CubeEdge> cubeEdges()
{
    const auto same = [](const SkyVertex& a, const SkyVertex& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    std::vector<CubeEdge> edges;
    for (int a = 0; a < FACE_COUNT; ++a)
        for (int b = a + 1; b < FACE_COUNT; ++b) {
            CubeEdge edge{{static_cast<SkyFace>(a), static_cast<SkyFace>(b)}, {}};
            int shared = 0;
            for (const SkyVertex& va : SKY_CUBE[a])
                for (const SkyVertex& vb : SKY_CUBE[b])
                    if (same(va, vb) && shared < 2) {
                        edge.ends[0][shared][0] = va.s;
                        edge.ends[0][shared][1] = va.t;
                        edge.ends[1][shared][0] = vb.s;
                        edge.ends[1][shared][1] = vb.t;
                        ++shared;
                    }
            if (shared == 2)
                edges.push_back(edge);
        }
    return edges;
}

// The texel of a face touching the edge point at (s, t); row 0 is t = 1.
uint32_t texelAt(const Rgb& face, double s, double t)
{
    const int32_t x = std::min(FACE - 1, static_cast<int32_t>(std::floor(s * FACE)));
    const int32_t y = std::min(FACE - 1, static_cast<int32_t>(std::floor((1 - t) * FACE)));
    return face.at(x, y);
}

// The largest channel difference between the texels on either side of any cube edge.
int worstSeam(const std::array<Rgb, FACE_COUNT>& faces)
{
    int worst = 0;
    for (const CubeEdge& edge : cubeEdges())
        for (int32_t k = 0; k < FACE; ++k) {
            const double along = (k + 0.5) / FACE;
            uint32_t sides[2];
            for (size_t side = 0; side < 2; ++side) {
                const auto& ends = edge.ends[side];
                sides[side] = texelAt(faces[static_cast<size_t>(edge.faces[side])],
                                      ends[0][0] + (ends[1][0] - ends[0][0]) * along,
                                      ends[0][1] + (ends[1][1] - ends[0][1]) * along);
            }
            worst = std::max(worst, channelDifference(sides[0], sides[1]));
        }
    return worst;
}

Rgb quarterTurned(const Rgb& face)
{
    Rgb turned = face;
    for (int32_t y = 0; y < FACE; ++y)
        for (int32_t x = 0; x < FACE; ++x)
            turned.pixels[static_cast<size_t>(y * FACE + x)] = face.at(y, FACE - 1 - x);
    return turned;
}

Rgb mirrored(const Rgb& face)
{
    Rgb flipped = face;
    for (int32_t y = 0; y < FACE; ++y)
        for (int32_t x = 0; x < FACE; ++x)
            flipped.pixels[static_cast<size_t>(y * FACE + x)] = face.at(FACE - 1 - x, y);
    return flipped;
}

// Texels a step apart differ by up to about 25 where a line runs along an edge (latitude 45
// touches the top face's edges) or the hills cross one; a misplaced face differs by over 100
// somewhere along its edges.
constexpr int SEAM_TOLERANCE = 32;

TEST_F(Skyface, GeneratedFacesMeetWithoutASeamAlongEveryCubeEdge)
{
    ASSERT_EQ(cubeEdges().size(), 12u);
    const fs::path sky = generated();
    std::array<Rgb, FACE_COUNT> faces;
    for (int face = 0; face < FACE_COUNT; ++face) {
        const std::vector<uint8_t> bytes = readBytes(sky / SKY_FACE_FILES[face]);
        // 24 bits, a 40-byte header and a positive height: bottom-up rows.
        ASSERT_EQ(bytes.size(), 54u + 512u * 512u * 3u);
        EXPECT_EQ(bytes[14], 40);
        EXPECT_EQ(bytes[28], 24);
        EXPECT_EQ(bytes[22] | bytes[23] << 8 | bytes[24] << 16 | bytes[25] << 24, 512);
        faces[static_cast<size_t>(face)] = viewerFace(sky / SKY_FACE_FILES[face]);
    }
    EXPECT_LE(worstSeam(faces), SEAM_TOLERANCE);

    // The same measure sees a turned or mirrored face, a pair of swapped faces, and each face
    // against itself on every edge.
    for (int face = 0; face < FACE_COUNT; ++face) {
        SCOPED_TRACE(FACE_NAMES[face]);
        std::array<Rgb, FACE_COUNT> turned = faces;
        turned[static_cast<size_t>(face)] = quarterTurned(faces[static_cast<size_t>(face)]);
        EXPECT_GT(worstSeam(turned), 3 * SEAM_TOLERANCE);
        std::array<Rgb, FACE_COUNT> flipped = faces;
        flipped[static_cast<size_t>(face)] = mirrored(faces[static_cast<size_t>(face)]);
        EXPECT_GT(worstSeam(flipped), 3 * SEAM_TOLERANCE);
    }
    std::array<Rgb, FACE_COUNT> swapped = faces;
    std::swap(swapped[FACE_LEFT], swapped[FACE_RIGHT]);
    EXPECT_GT(worstSeam(swapped), 3 * SEAM_TOLERANCE);
}

TEST_F(Skyface, GeneratedSkyHasItsPartsWhereTheyBelong)
{
    const fs::path sky = generated();
    const auto blue = [](uint32_t c) { return static_cast<int>(c & 0xFF); };
    const auto green = [](uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); };
    const auto red = [](uint32_t c) { return static_cast<int>(c >> 16); };
    // Straight up is deep blue, straight down is earth, the side faces' tops are sky and bottoms ground.
    const uint32_t zenith = viewerFace(sky / "skyup.bmp").at(200, 300);
    EXPECT_GT(blue(zenith), red(zenith) + 60);
    const uint32_t nadir = viewerFace(sky / "skydn.bmp").at(200, 300);
    EXPECT_GT(red(nadir), blue(nadir));
    EXPECT_GT(green(nadir), blue(nadir));
    for (const char* side : {"skyrt.bmp", "skylf.bmp", "skyft.bmp", "skybk.bmp"}) {
        SCOPED_TRACE(side);
        const Rgb face = viewerFace(sky / side);
        EXPECT_GT(blue(face.at(100, 100)), red(face.at(100, 100)));
        EXPECT_GT(green(face.at(100, 400)), blue(face.at(100, 400)));
    }
    // The sun, the brightest texel of the six, is in the face ahead at start, clear of its edges.
    int32_t brightest = -1;
    int brightestFace = -1;
    int32_t where[2] = {0, 0};
    for (int face = 0; face < FACE_COUNT; ++face) {
        const Rgb picture = viewerFace(sky / SKY_FACE_FILES[face]);
        for (int32_t y = 0; y < FACE; ++y)
            for (int32_t x = 0; x < FACE; ++x) {
                const uint32_t c = picture.at(x, y);
                const int32_t sum = red(c) + green(c) + blue(c);
                if (sum > brightest) {
                    brightest = sum;
                    brightestFace = face;
                    where[0] = x;
                    where[1] = y;
                }
            }
    }
    EXPECT_EQ(brightestFace, FACE_BACK);
    EXPECT_GT(std::min({where[0], where[1], FACE - 1 - where[0], FACE - 1 - where[1]}), 32);
    EXPECT_LT(where[1], FACE / 2);  // above the horizon
}

// --- cross --------------------------------------------------------------------------------------

struct CellPosition {
    int32_t column, row;
};

TEST_F(Skyface, CrossCellsMeetWithoutASeamAndTheRestIsGrey)
{
    const fs::path sky = generated();
    const Outcome crossed = run("cross --no-labels " + quoted(sky) + " " + quoted(dir / "cross.ppm"));
    ASSERT_EQ(crossed.status, 0) << crossed.err;
    const Rgb cross = readPpm(dir / "cross.ppm");
    ASSERT_EQ(cross.width, 4 * FACE);
    ASSERT_EQ(cross.height, 3 * FACE);

    int worst = 0;
    for (int32_t k = 0; k < FACE; ++k) {
        // Along the strip, including its wrap from the last cell back to the first.
        for (int32_t column = 0; column < 4; ++column) {
            const int32_t left = column * FACE + FACE - 1;
            const int32_t right = (left + 1) % (4 * FACE);
            worst = std::max(worst, channelDifference(cross.at(left, FACE + k), cross.at(right, FACE + k)));
        }
        // Up over the strip's first cell, and down under it.
        worst = std::max(worst, channelDifference(cross.at(k, FACE - 1), cross.at(k, FACE)));
        worst = std::max(worst, channelDifference(cross.at(k, 2 * FACE - 1), cross.at(k, 2 * FACE)));
    }
    EXPECT_LE(worst, SEAM_TOLERANCE);

    for (const CellPosition empty : {CellPosition{1, 0}, {2, 0}, {3, 0}, {1, 2}, {2, 2}, {3, 2}})
        for (const CellPosition corner : {CellPosition{0, 0}, {FACE - 1, 0}, {0, FACE - 1}, {FACE - 1, FACE - 1}})
            EXPECT_EQ(cross.at(empty.column * FACE + corner.column, empty.row * FACE + corner.row), BACKGROUND);
}

TEST_F(Skyface, CrossPlacesAndTurnsEachFaceAsSeenFromInside)
{
    // Each face a flat colour with a white square in its file's top-left corner. Worked out by
    // hand from the cube table: the side faces stand upright in the strip; the top face's picture
    // is a quarter turn anticlockwise (its top-left at the cell's bottom-left), the bottom face's
    // a quarter turn clockwise (its top-left at the cell's top-right).
    const uint32_t colours[FACE_COUNT] = {0x2040C0, 0x806020, 0xC02020, 0x20C020, 0xC0C020, 0x20C0C0};
    for (int face = 0; face < FACE_COUNT; ++face)
        writeFileBytes((dir / SKY_FACE_FILES[face]).string(),
                       encodeBmp(picture24(FACE, FACE, [&](int32_t x, int32_t y) {
                           return x < 64 && y < 64 ? 0xFFFFFFu : colours[face];
                       })));
    const Outcome crossed = run("cross --no-labels " + quoted(dir) + " " + quoted(dir / "cross.png"));
    ASSERT_EQ(crossed.status, 0) << crossed.err;
    const Rgb cross = readPng(dir / "cross.png");
    ASSERT_EQ(cross.width, 4 * FACE);

    struct Placement {
        SkyFace face;
        CellPosition cell;
        CellPosition marker;  // 0 near the cell's left or top, 1 near its right or bottom
    };
    const Placement placements[] = {
        {FACE_BACK, {0, 1}, {0, 0}},  {FACE_RIGHT, {1, 1}, {0, 0}}, {FACE_FRONT, {2, 1}, {0, 0}},
        {FACE_LEFT, {3, 1}, {0, 0}},  {FACE_UP, {0, 0}, {0, 1}},    {FACE_DOWN, {0, 2}, {1, 0}},
    };
    for (const Placement& placement : placements) {
        SCOPED_TRACE(FACE_NAMES[placement.face]);
        const int32_t left = placement.cell.column * FACE;
        const int32_t top = placement.cell.row * FACE;
        EXPECT_EQ(cross.at(left + FACE / 2, top + FACE / 2), colours[placement.face]);
        for (int32_t cornerX = 0; cornerX < 2; ++cornerX)
            for (int32_t cornerY = 0; cornerY < 2; ++cornerY) {
                const uint32_t expected = cornerX == placement.marker.column && cornerY == placement.marker.row
                                              ? 0xFFFFFFu
                                              : colours[placement.face];
                EXPECT_EQ(cross.at(left + 10 + cornerX * (FACE - 21), top + 10 + cornerY * (FACE - 21)), expected)
                    << "corner " << cornerX << ", " << cornerY;
            }
    }
}

TEST_F(Skyface, CrossShowsMissingFacesAsMagentaAndScalesDown)
{
    const fs::path sky = generated();
    fs::remove(sky / "skyrt.bmp");
    const Outcome crossed = run("cross --scale 2 " + quoted(sky) + " " + quoted(dir / "cross.png"));
    ASSERT_EQ(crossed.status, 0) << crossed.err;
    const Rgb cross = readPng(dir / "cross.png");
    ASSERT_EQ(cross.width, 2 * FACE);
    ASSERT_EQ(cross.height, 3 * FACE / 2);
    // The right face is the strip's second cell; away from its label it is plain magenta.
    EXPECT_EQ(cross.at(FACE / 2 + FACE / 4, FACE / 2 + FACE / 4), MAGENTA);
    EXPECT_EQ(cross.at(FACE - 1, FACE - 1), MAGENTA);
    EXPECT_NE(cross.at(FACE / 4, FACE / 2 + FACE / 4), MAGENTA);
}

}  // namespace
