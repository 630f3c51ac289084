// The built viewer end to end: each test starts an X server of its own, runs skyview on it as a
// separate process in a folder of test faces, moves the real pointer and presses real keys through
// XTest, and reads the window back from the server.
#include "e2e/test_sky.h"
#include "e2e/x_session.h"

#include <X11/keysym.h>
#include <csignal>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Generous bounds for a loaded machine; every wait ends as soon as its condition holds.
constexpr Seconds START_TIMEOUT = 60s;
constexpr Seconds VIEW_TIMEOUT = 30s;
constexpr Seconds EXIT_TIMEOUT = 30s;
constexpr Seconds FRAME_TIMEOUT = 30s;
constexpr int32_t MOTION_ATTEMPTS = 5;

constexpr int32_t CENTRE_X = 512;
constexpr int32_t CENTRE_Y = 384;
constexpr ViewAngles FIRST_VIEW = {1, 0};

class ViewerTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/skyview-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        folder = root + "/sky";
        std::filesystem::create_directory(folder);
        std::string why;
        std::optional<XServer> started = startXServer(why);
        ASSERT_TRUE(started) << why;
        server = *started;
        display = server.display;
    }

    void TearDown() override
    {
        if (display != nullptr)
            setKey(display, XK_Escape, false);
        killViewer(viewer);
        stopXServer(server);
        if (!root.empty())
            std::filesystem::remove_all(root);
    }

    // Runs the viewer on the test sky, less the faces missing, and waits for its window.
    void start(const std::vector<SkyFace>& missing = {})
    {
        missingFaces = missing;
        writeTestSky(folder, missing);
        viewer = launchViewer(SKYVIEW_PATH, folder, server.name);
        const std::optional<Window> found = findWindow(display, "skyview", START_TIMEOUT);
        ASSERT_TRUE(found) << "no viewable window titled skyview; the viewer said: " << readFile(viewer.stderrPath);
        window = *found;
        const std::array<int32_t, 2> origin = windowOrigin(display, window);
        centre = {origin[0] + CENTRE_X, origin[1] + CENTRE_Y};
        // Without a window manager nobody else hands out the keyboard focus.
        focusWindow(display, window);
    }

    bool shows(ViewAngles view, Comparison* comparison = nullptr)
    {
        const std::optional<Capture> frame = captureWindow(display, window);
        if (!frame)
            return false;
        const Comparison result = compareView(*frame, view, missingFaces);
        if (comparison != nullptr)
            *comparison = result;
        // A comparison that skipped nearly everything would prove nothing.
        return result.mismatches.empty() && result.compared > 1000;
    }

    // Waits until the window shows this view.
    void expectView(ViewAngles view)
    {
        const auto deadline = Clock::now() + VIEW_TIMEOUT;
        Comparison last;
        while (!shows(view, &last)) {
            ASSERT_LT(Clock::now(), deadline) << "the window never showed pitch " << view.pitch << ", yaw "
                                              << view.yaw << ": " << describe(last);
            std::this_thread::sleep_for(50ms);
        }
    }

    // The window shows this view now, and goes on showing it for frames to come.
    void expectSteadyView(ViewAngles view)
    {
        Comparison comparison;
        EXPECT_TRUE(shows(view, &comparison))
            << "pitch " << view.pitch << ", yaw " << view.yaw << ": " << describe(comparison);
        ASSERT_TRUE(waitForFrames(display, window, FRAME_TIMEOUT));
        EXPECT_TRUE(shows(view, &comparison))
            << "pitch " << view.pitch << ", yaw " << view.yaw << " a few frames later: " << describe(comparison);
    }

    // Moves the pointer (dx, dy) away from the window centre and waits for the view to turn from
    // one view to the other. The viewer puts the cursor back at the centre at the start of every
    // frame; a motion the server handles just before that placement, with both reaching the viewer
    // in the same frame, is overtaken by it and lost, as a real mouse's would be. Such an attempt
    // is recognised (the old view still showing frames later) and made again.
    void turn(int32_t dx, int32_t dy, ViewAngles from, ViewAngles to)
    {
        for (int32_t attempt = 0; attempt < MOTION_ATTEMPTS; ++attempt) {
            movePointer(display, centre[0] + dx, centre[1] + dy);
            const auto deadline = Clock::now() + VIEW_TIMEOUT;
            for (;;) {
                if (shows(to))
                    return;
                if (pointerPosition(display) == centre) {
                    // Placed back: the motion has been taken or lost; frames after it tell which.
                    ASSERT_TRUE(waitForFrames(display, window, FRAME_TIMEOUT));
                    if (shows(to))
                        return;
                    Comparison comparison;
                    ASSERT_TRUE(shows(from, &comparison))
                        << "after moving the pointer by (" << dx << ", " << dy << ") the window shows neither pitch "
                        << to.pitch << ", yaw " << to.yaw << " nor the view before: " << describe(comparison);
                    std::printf("pointer motion lost to the viewer's own cursor placement; moving again\n");
                    break;
                }
                ASSERT_LT(Clock::now(), deadline) << "the pointer was never put back at the window centre";
                std::this_thread::sleep_for(5ms);
            }
        }
        FAIL() << "the view did not turn in " << MOTION_ATTEMPTS << " attempts";
    }

    // Presses Escape and expects the viewer to end with status 0, having written nothing.
    void quitWithEscape()
    {
        setKey(display, XK_Escape, true);
        const std::optional<int32_t> status = waitForExit(viewer, EXIT_TIMEOUT);
        setKey(display, XK_Escape, false);
        ASSERT_TRUE(status) << "the viewer did not end on Escape";
        EXPECT_EQ(*status, 0);
        EXPECT_EQ(readFile(viewer.stdoutPath), "");
        EXPECT_EQ(readFile(viewer.stderrPath), "");
    }

    std::string root, folder;
    std::vector<SkyFace> missingFaces;
    XServer server;
    Display* display = nullptr;
    ViewerProcess viewer;
    Window window = 0;
    std::array<int32_t, 2> centre = {0, 0};
};

TEST_F(ViewerTest, WindowIsTitledSkyviewWithA1024By768DrawingArea)
{
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(windowName(display, window), "skyview");
    EXPECT_EQ(netWindowName(display, window), "skyview");
    EXPECT_EQ(windowSize(display, window), (std::array<int32_t, 2>{1024, 768}));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, FirstFrameShowsPitchOneAndYawZero)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    // The comparison tells a single degree apart, in either angle and either direction.
    for (const ViewAngles nearby : {ViewAngles{0, 0}, ViewAngles{2, 0}, ViewAngles{1, 1}, ViewAngles{1, -1}})
        EXPECT_FALSE(shows(nearby)) << "pitch " << nearby.pitch << ", yaw " << nearby.yaw;
    ASSERT_NO_FATAL_FAILURE(expectSteadyView(FIRST_VIEW));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, PointerMovedRightTurnsTheViewRightOnceAndTheCentreAddsNothing)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    // (600, 384) in the drawing area: 88 pixels right of the centre, 88 degrees.
    ASSERT_NO_FATAL_FAILURE(turn(600 - CENTRE_X, 0, FIRST_VIEW, {1, 88}));
    // The viewer has put the cursor back itself; the pointer resting at the centre turns nothing.
    movePointer(display, centre[0], centre[1]);
    std::this_thread::sleep_for(300ms);
    ASSERT_NO_FATAL_FAILURE(expectSteadyView({1, 88}));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, PointerMovedDownTiltsTheViewDown)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    ASSERT_NO_FATAL_FAILURE(turn(0, 30, FIRST_VIEW, {31, 0}));
    ASSERT_NO_FATAL_FAILURE(expectSteadyView({31, 0}));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, TurnsAccumulateAllTheWayRoundAndShowEveryFace)
{
    struct Step {
        int32_t dx, dy;
        ViewAngles after;  // accumulated, unwrapped: a full turn shows the same picture
    };
    const Step steps[] = {
        {100, 0, {1, 100}},   // the right face
        {100, 0, {1, 200}},   // the front face
        {100, 0, {1, 300}},   // the left face
        {100, 0, {1, 400}},   // past a full turn
        {0, -91, {-90, 400}}, // straight up: the up face
        {0, 180, {90, 400}},  // straight down: the down face
        {-40, -89, {1, 360}}, // the back face again, where the view began
    };
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    ViewAngles view = FIRST_VIEW;
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "moving by (" << step.dx << ", " << step.dy << ")");
        ASSERT_NO_FATAL_FAILURE(turn(step.dx, step.dy, view, step.after));
        view = step.after;
    }
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, EscapeEndsTheProgramWithStatusZero)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    ASSERT_TRUE(isRunning(viewer));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, EscapeHeldFromTheStartEndsTheProgramWithStatusZero)
{
    // No autorepeat: only the key's state, never a repeated key press, can tell the viewer.
    setAutoRepeat(display, false);
    setKey(display, XK_Escape, true);
    writeTestSky(folder);
    viewer = launchViewer(SKYVIEW_PATH, folder, server.name);
    const auto deadline = Clock::now() + START_TIMEOUT + EXIT_TIMEOUT;
    bool focused = false;
    std::optional<int32_t> status;
    while (!status && Clock::now() < deadline) {
        if (!focused) {
            if (const std::optional<Window> found = findWindow(display, "skyview", 0s)) {
                focusWindow(display, *found);
                focused = true;
            }
        }
        status = waitForExit(viewer, 20ms);
    }
    setKey(display, XK_Escape, false);
    ASSERT_TRUE(status) << "the viewer did not end with Escape held";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(readFile(viewer.stderrPath), "");
}

TEST_F(ViewerTest, TerminationSignalsEndTheProgram)
{
    // SDL would otherwise turn them into a quit event that nobody reads.
    for (const int signal : {SIGTERM, SIGINT}) {
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
        ASSERT_EQ(kill(viewer.pid, signal), 0);
        const std::optional<int32_t> status = waitForExit(viewer, EXIT_TIMEOUT);
        ASSERT_TRUE(status) << "the viewer outlived signal " << signal;
        EXPECT_EQ(*status, 128 + signal);
    }
}

TEST_F(ViewerTest, CloseRequestLeavesTheViewerRunningAndDrawing)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    sendCloseRequest(display, window);
    ASSERT_TRUE(waitForFrames(display, window, FRAME_TIMEOUT));
    EXPECT_TRUE(isRunning(viewer));
    // Still drawing, and still turning with the pointer.
    ASSERT_NO_FATAL_FAILURE(turn(45, 0, FIRST_VIEW, {1, 45}));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, WhileAnotherWindowIsActiveNeitherPointerNorEscapeReachTheViewer)
{
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    focusOtherWindow(display, 0, 0);
    ASSERT_TRUE(waitForFrames(display, window, FRAME_TIMEOUT));

    // Pointer motion over the inactive window: the cursor is still put back, the view stays.
    movePointer(display, centre[0] + 88, centre[1] + 40);
    ASSERT_TRUE(waitForFrames(display, window, FRAME_TIMEOUT));
    ASSERT_NO_FATAL_FAILURE(expectSteadyView(FIRST_VIEW));

    setKey(display, XK_Escape, true);
    ASSERT_TRUE(waitForFrames(display, window, FRAME_TIMEOUT));
    EXPECT_TRUE(isRunning(viewer)) << "Escape reached the viewer while another window was active";
    setKey(display, XK_Escape, false);

    // Active again: the same key ends it.
    focusWindow(display, window);
    ASSERT_TRUE(waitForFrames(display, window, FRAME_TIMEOUT));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, MissingFaceShowsMagentaAndTheOthersTheirPictures)
{
    ASSERT_NO_FATAL_FAILURE(start({FACE_DOWN}));
    ASSERT_NO_FATAL_FAILURE(expectView(FIRST_VIEW));
    // Tilted down, the lower part of the window shows the missing face below the back face.
    ASSERT_NO_FATAL_FAILURE(turn(0, 30, FIRST_VIEW, {31, 0}));
    ASSERT_NO_FATAL_FAILURE(quitWithEscape());
}

TEST_F(ViewerTest, NoReachableDisplayGivesOneClearLineAndStatusOne)
{
    // A display number with no server behind it: no socket and no lock file.
    int32_t number = 200;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
           std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"))
        ++number;
    writeTestSky(folder);
    viewer = launchViewer(SKYVIEW_PATH, folder, ":" + std::to_string(number));
    const std::optional<int32_t> status = waitForExit(viewer, EXIT_TIMEOUT);
    ASSERT_TRUE(status) << "the viewer did not end without a display";
    EXPECT_EQ(*status, 1);
    const std::string said = readFile(viewer.stderrPath);
    EXPECT_EQ(said.rfind("skyview: cannot open a window: ", 0), 0U) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "not exactly one line: " << said;
    EXPECT_EQ(readFile(viewer.stdoutPath), "");
}

}  // namespace
