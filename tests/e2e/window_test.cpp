// The real program on a virtual X server: its window, the running sequence,
// the keys and the mouse, and every way it ends.

// GoogleTest first: Xlib defines macros (None, Bool) that clash with it.
#include <gtest/gtest.h>

#include "session.hpp"

#include "common/program.hpp"
#include "frames/embedded.hpp"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

namespace {

using namespace e2e;

constexpr const char* caption = program::caption;
constexpr int frame_count = program::frame_count;

// The slot `steps` forwards (or back, if negative) from `slot`.
int slot_after(int slot, int steps)
{
    return ((slot + steps) % frame_count + frame_count) % frame_count;
}

// The program under test: the build's own, or the one VORMO_KIDNEY names
// (the packaging check runs the packaged copy), started by the launcher
// VORMO_LAUNCHER names (the Windows program runs under Wine).
std::string executable()
{
    const char* other = std::getenv("VORMO_KIDNEY");
    return other && *other ? other : VORMO_EXECUTABLE;
}

const Launcher& launcher()
{
    static const std::unique_ptr<Launcher> chosen = Launcher::from_environment();
    return *chosen;
}

// Clicks this far apart are single clicks, never a double-click.
constexpr std::chrono::milliseconds click_gap(700);

// How many frame changes a run is watched for.
constexpr int run_changes = 8;

std::string describe(const Changes& c)
{
    using std::chrono::duration_cast;
    using std::chrono::microseconds;
    std::ostringstream text;
    text << "slots";
    for (const int s : c.slots) {
        text << ' ' << s;
    }
    text << "; shortest tick " << duration_cast<microseconds>(c.shortest_tick()).count()
         << " us; longest gap between grabs " << duration_cast<microseconds>(c.longest_grab_gap).count() << " us; "
         << c.unmatched << " of " << c.grabs << " grabs showed no one frame, at most "
         << duration_cast<microseconds>(c.longest_without_frame).count() << " us in a row";
    return text.str();
}

// A sampler that fell behind the ticks has seen no fault; a run is watched
// again up to this many times before the test gives up on watching it.
constexpr int run_watches = 8;

// Forward distances of one step back and of two.
constexpr int one_back = frame_count - 1;
constexpr int two_back = frame_count - 2;

// Checks a run seen after a command: steps of `before` slots while the
// command is on its way, then one step of `turn`, then steps of `after`
// (forward distances: 1 forwards, one_back).  Every frame must have been
// seen, which holds only if the sampler kept up.
void judge_run(const Changes& c, int before, int turn, int after)
{
    ASSERT_GT(static_cast<int>(c.slots.size()), run_changes) << "the sequence stopped: " << describe(c);
    ASSERT_TRUE(c.sampler_kept_up()) << "the sampler fell behind the ticks in " << run_watches
                                     << " watches in a row, so it cannot tell whether every frame was shown: "
                                     << describe(c);
    const std::vector<int> steps = c.steps();
    std::size_t i = 0;
    while (i < steps.size() && steps[i] == before && steps[i] != turn) {
        ++i;
    }
    if (turn != after) {
        ASSERT_LT(i, steps.size()) << "the command never took effect: " << describe(c);
        EXPECT_EQ(steps[i], turn) << "the first step after the command: " << describe(c);
        ++i;
    }
    for (; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i], after) << "step " << i << ": " << describe(c);
    }
}

// A test with the program in a session of its own: started, watched, typed
// at, and its end awaited.
class SessionTest : public ::testing::Test {
protected:
    void open(const std::string& name = "X11", const std::vector<std::string>& command = {executable()},
              const std::string& screen = "1280x1024", std::chrono::milliseconds limit = hang_limit)
    {
        session_ =
            Session::make(name, launcher(), command, {.seat = VORMO_WAYLAND_SEAT, .screen = screen, .limit = limit});
    }

    // Starts the viewer and waits until its loop runs: keys typed during
    // the start-up passes are overwritten by its run command.
    void start()
    {
        ASSERT_TRUE(session_->launch()) << "no window showed a frame: " << session_->viewer().error_output();
        EXPECT_TRUE(wait_until(hang_limit, [this] { return session_->shown() >= 2; })) << "the loop does not run";
    }

    // The slot the window shows once it has shown it for well over a tick
    // (and over several looks where a look is slow).
    int settled()
    {
        int slot = session_->shown();
        auto since = Clock::now();
        const bool still = wait_until(hang_limit, [&] {
            const int now = session_->shown();
            if (now != slot) {
                slot = now;
                since = Clock::now();
            }
            return slot >= 0 && Clock::now() - since >= std::chrono::milliseconds(400);
        });
        EXPECT_TRUE(still) << "the frame never held still; last slot " << slot;
        return slot;
    }

    // Starts the viewer, switches mouse-step mode on (saving the run) and
    // moves the pointer down: one step forward, then stopped.  The slot it
    // stops at.
    int start_stepping()
    {
        start();
        session_->move(500, 300);
        session_->click();
        session_->move(500, 320);
        return settled();
    }

    // Samples a run at the start-up pace, typing a key (if any) once the
    // first slot is seen, and judges it as judge_run() does.  When the
    // sampler fell behind, the run is watched again: `restore` (if any)
    // first brings back the run that was going on before the key.
    void expect_run(char key, char restore, int before, int turn, int after)
    {
        for (int watch = 1;; ++watch) {
            const Changes c = session_->record_changes(run_changes, hang_limit, [this, key] {
                if (key) {
                    session_->type(key);
                }
            });
            if (c.sampler_kept_up() || watch == run_watches || static_cast<int>(c.slots.size()) <= run_changes) {
                judge_run(c, before, turn, after);
                return;
            }
            std::printf("watch %d: the sampler fell behind, watching again: %s\n", watch, describe(c).c_str());
            if (restore) {
                session_->type(restore);
                session_->record_changes(3);  // until it has taken effect
            }
        }
    }

    void expect_exit_status(int expected, std::chrono::milliseconds limit = hang_limit)
    {
        const std::optional<int> status = session_->viewer().wait_for_exit(launcher().slack(limit));
        ASSERT_TRUE(status.has_value()) << "still running long after it should have ended";
        EXPECT_EQ(*status, expected) << session_->viewer().error_output();
        EXPECT_EQ(session_->viewer().error_output(), "");
    }

    std::unique_ptr<Session> session_;
};

// The Linux program on a virtual X server, or the Windows one under Wine.
class RealWindow : public SessionTest {
protected:
    void SetUp() override { open(); }
};

TEST_F(RealWindow, KeepsTickingWhileCoveredAndShowsAWholeFrameAfterwards)
{
    start();
    // The length of a tick at the start-up pace, from the ticks seen.
    const auto tick = std::max(session_->record_changes(3).longest_tick(), Clock::duration(10ms));
    session_->type('*');
    const int stopped = settled();

    session_->cover(true);
    // Two steps while nothing of the window can be seen: the loop must go on
    // handling its events and showing its frames.  Each key waits a few
    // ticks, so that each is handled in a pass of its own.
    for (int i = 0; i < 2; ++i) {
        std::this_thread::sleep_for(3 * tick);
        session_->type('*');
    }
    std::this_thread::sleep_for(3 * tick);
    EXPECT_TRUE(session_->viewer().running());
    session_->cover(false);

    // Until the next event pass the server may still show what was last
    // visible; from then on the window holds the current frame, whole.
    EXPECT_EQ(session_->next_slot(stopped), slot_after(stopped, 2));
    EXPECT_EQ(settled(), slot_after(stopped, 2));
    EXPECT_EQ(session_->whole_slot(), slot_after(stopped, 2)) << "the whole window is not that frame";
}

TEST_F(RealWindow, MinusRunsBackwardsAndPlusForwards)
{
    start();
    // Running forwards: "-" turns back by two, then one slot a tick.
    expect_run('-', '+', 1, two_back, one_back);
    // And "," forwards again, the same way.
    expect_run(',', '-', one_back, 2, 1);
}

TEST_F(RealWindow, SigtermAndSigintEndWithStatusZero)
{
    for (const int sig : {SIGTERM, SIGINT}) {
        start();
        session_->viewer().signal(sig);
        expect_exit_status(0);
    }
}

TEST_F(RealWindow, FloodOfPointerMotionNeitherStallsTheLoopNorDelaysEscape)
{
    start();
    constexpr int events = 50000;  // below SDL's queue limit of 65,535
    std::vector<std::pair<int, int>> points;
    points.reserve(events);
    for (int i = 0; i < events; ++i) {
        points.emplace_back(100 + i % 500, 100 + (i / 500) % 300);
    }
    const std::unique_ptr<DamageCounter> updates = session_->updates();
    session_->flood(points);
    EXPECT_GE(updates->wait_for(3L * frame_count, hang_limit), 3L * frame_count) << "the loop stalled under the flood";
    EXPECT_TRUE(session_->viewer().running());
    session_->type('\x1b');
    expect_exit_status(0);
}

// Random keys (never ESC), pointer moves and single clicks for a while: the
// viewer stays up, always shows one of the frames, does not grow, and still
// answers ESC at once.  VORMO_SOAK_SECONDS sets the length (60 by default).
TEST_F(RealWindow, SoakWithRandomInput)
{
    const char* length = std::getenv("VORMO_SOAK_SECONDS");
    const auto duration = std::chrono::seconds(length ? std::atoi(length) : 60);
    start();
    const std::string keys = "+-,/* .=a\r<\t";
    std::mt19937 random(7);
    const auto begin = Clock::now();
    auto next_click = begin + click_gap;
    auto next_check = begin + std::chrono::seconds(1);
    long events = 0;
    long baseline_kib = -1;
    long last_kib = -1;
    Process& viewer = session_->viewer();
    while (Clock::now() - begin < duration) {
        if (std::uniform_int_distribution<int>(0, 9)(random) == 0) {
            session_->type(keys[random() % keys.size()]);
        } else {
            session_->move(std::uniform_int_distribution<int>(0, program::width - 1)(random),
                           std::uniform_int_distribution<int>(0, program::height - 1)(random));
        }
        ++events;
        if (Clock::now() >= next_click) {
            session_->click();  // never a double-click
            ++events;
            next_click += click_gap;
        }
        if (Clock::now() >= next_check) {
            ASSERT_TRUE(viewer.running()) << viewer.error_output();
            EXPECT_GE(session_->next_slot(-1), 0) << "the window shows none of the frames";
            last_kib = resident_kib(viewer.pid());
            if (baseline_kib < 0 && Clock::now() - begin >= std::chrono::seconds(5)) {
                baseline_kib = last_kib;
            }
            next_check += std::chrono::seconds(1);
        }
        sleep_for(2ms);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    RecordProperty("events", static_cast<int>(events));
    RecordProperty("resident_growth_kib", static_cast<int>(last_kib - baseline_kib));
    std::printf("soak: %ld events in %.0f s (%.0f/s), resident %ld KiB after 5 s, %ld KiB at the end\n", events,
                seconds, static_cast<double>(events) / seconds, baseline_kib, last_kib);
#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer's quarantine grows by design
    if (baseline_kib > 0) {
        EXPECT_LT(last_kib - baseline_kib, 2048) << "resident memory grew";
    }
#endif
    session_->type('\x1b');
    expect_exit_status(0);
}

using UnderValgrind = SessionTest;

TEST_F(UnderValgrind, StartUpTicksAndEscapeAreClean)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "memcheck cannot run a program built with AddressSanitizer";
#endif
    // No clicks: under memcheck ticks are slow and clicks pumped together
    // would merge into a double-click.
    constexpr auto slow = 60000ms;
    open("X11",
         {"valgrind", "-q", "--error-exitcode=99", "--leak-check=full", "--errors-for-leak-kinds=definite",
          "--show-leak-kinds=definite", std::string("--suppressions=") + VALGRIND_SUPPRESSIONS, executable()},
         "1280x1024", slow);
    ASSERT_TRUE(session_->launch()) << session_->viewer().error_output();
    int slot = session_->first_slot();
    for (int ticks = 0; ticks < 3 && slot >= 0; ++ticks) {
        slot = session_->next_slot(slot, slow);
    }
    ASSERT_GE(slot, 0) << "the loop does not tick under memcheck";
    session_->type('\x1b');
    expect_exit_status(0, slow);
}

// The Windows program's own checks and its window under Wine.
class UnderWine : public SessionTest {
protected:
    void SetUp() override
    {
        if (!launcher().wine()) {
            GTEST_SKIP() << "runs with VORMO_LAUNCHER=wine";
        }
    }
};

// Windows' own JPEG codec, which the Windows program decodes with, against
// TurboJPEG on the same streams.  Wine's codec (IJG libjpeg 9, chroma
// upsampled in the DCT domain) departs from TurboJPEG at colour edges, so
// the bound here is the one the window tests match frames with, and almost
// every value must agree within 2 levels.
TEST_F(UnderWine, WindowsCodecDecodesTheFramesLikeTurboJpeg)
{
    const char* check = std::getenv("VORMO_DECODE_CHECK");
    ASSERT_TRUE(check && *check) << "VORMO_DECODE_CHECK names the decode_check program";
    const std::unique_ptr<Process> p = launcher().start(check, {"DISPLAY"}, {launcher().scratch_path("frames.raw")});
    const std::optional<int> status = p->wait_for_exit(launcher().slack(10000ms));
    launcher().wait_for_server();  // started without a display, it could make no windows for the next program
    ASSERT_TRUE(status.has_value());
    ASSERT_EQ(*status, 0) << p->error_output();

    const std::string wic = read_file(launcher().scratch_file("frames.raw"));
    ASSERT_EQ(wic.size(), frames::frame_bytes * frame_count);
    const frames::FrameBlock decoded;
    frames::decode_all(frames::parse_frame_set(frames::embedded_frame_set()), frames::PixelLayout::bgrx, decoded);
    for (int s = 0; s < frame_count; ++s) {
        const std::byte* turbo = decoded.frame(s + 1);
        int worst = 0;
        long differing = 0;
        long beyond_two = 0;
        for (std::size_t i = 0; i < frames::frame_bytes; ++i) {
            if (i % 4 == 3) {
                continue;  // the unused byte
            }
            const int d = std::abs(static_cast<int>(static_cast<unsigned char>(wic[s * frames::frame_bytes + i])) -
                                   static_cast<int>(turbo[i]));
            worst = std::max(worst, d);
            differing += d != 0;
            beyond_two += d > 2;
        }
        EXPECT_LE(worst, launcher().frame_tolerance()) << "slot " << s;
        EXPECT_LT(beyond_two, static_cast<long>(frames::frame_bytes / 100)) << "slot " << s;
        std::printf("slot %2d: largest difference %d; %ld channel values differ, %ld by more than 2\n", s, worst,
                    differing, beyond_two);
    }
}

// The rules of the Windows port's message handling, as tables, including
// the messages Wine never sends.
TEST_F(UnderWine, MessageRulesHold)
{
    const char* check = std::getenv("VORMO_MESSAGES_CHECK");
    ASSERT_TRUE(check && *check) << "VORMO_MESSAGES_CHECK names the messages_check program";
    const std::unique_ptr<Process> p = launcher().start(check, {"DISPLAY"});
    EXPECT_EQ(p->wait_for_exit(launcher().slack(10000ms)), 0) << p->error_output();
    launcher().wait_for_server();  // started without a display, it could make no windows for the next program
}

// The real window in the cross-built check's own process, at the system's
// DPI and at 120, 144 and 192 (the prefix's LogPixels, which Wine reports as
// the window's DPI): a client area of the frames' size when it opens and
// however it is shown while the frames play, no input method, icons of
// each size, and a failing program's window taken down.
TEST_F(UnderWine, TheRealWindowKeepsItsSizeAtEachDpiHoweverShown)
{
    const char* check = std::getenv("VORMO_WINDOW_CHECK");
    ASSERT_TRUE(check && *check) << "VORMO_WINDOW_CHECK names the window_check program";
    const auto set_dpi = [](const std::string& dpi) {
        const std::unique_ptr<Process> reg = launcher().start(
            "reg", {"DISPLAY"},
            {"add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", dpi, "/f"});
        EXPECT_EQ(reg->wait_for_exit(launcher().slack(10000ms)), 0) << reg->error_output();
        launcher().wait_for_server();  // Wine's server serves one display at a time
    };
    for (const std::string dpi : {"", "120", "144", "192"}) {
        SCOPED_TRACE(dpi.empty() ? "the system's DPI" : dpi + " dpi");
        if (!dpi.empty()) {
            set_dpi(dpi);
        }
        open();
        const std::unique_ptr<Process> p = launcher().start(
            check, session_->environment(), dpi.empty() ? std::vector<std::string>{} : std::vector{dpi});
        EXPECT_EQ(p->wait_for_exit(launcher().slack(hang_limit)), 0) << p->error_output();
        launcher().wait_for_server();
    }
    set_dpi("96");  // as the other tests expect
}

// Windows' imaging component cannot start: one line that says what the
// system says of the failure, not only its number, and status 1.
TEST_F(UnderWine, NoImagingComponentIsOneLineInTheSystemsWords)
{
    open();
    std::vector<std::string> env = session_->environment();
    env.emplace_back("WINEDLLOVERRIDES=windowscodecs=d;winemenubuilder.exe=d");
    const std::unique_ptr<Process> viewer = launcher().start(executable(), env);
    const std::optional<int> status = viewer->wait_for_exit(launcher().slack(hang_limit));
    const std::string errors = viewer->error_output();
    launcher().wait_for_server();
    ASSERT_TRUE(status.has_value()) << errors;
    EXPECT_EQ(*status, 1);
    EXPECT_TRUE(std::regex_match(errors, std::regex("vormo-kidney: cannot start the Windows Imaging Component: "
                                                    "[A-Z][^\\n(]+ \\(HRESULT 0x[0-9A-F]{8}\\)\\r?\\n")))
        << errors;
}

// Windows ending the session: the program quits and ends with status 0.
TEST_F(UnderWine, SessionEndEndsWithStatusZero)
{
    open();
    ASSERT_TRUE(session_->launch()) << session_->viewer().error_output();
    const std::unique_ptr<Process> end = launcher().start("wineboot", session_->environment(), {"--end-session"});
    expect_exit_status(0);
    end->wait_for_exit(launcher().slack(hang_limit));
}

// A screen shorter than the window: the client area still has the frames'
// size.
using ShortScreen = SessionTest;

TEST_F(ShortScreen, TheClientAreaKeepsTheFramesSize)
{
    open("X11", {executable()}, "1280x720");
    ASSERT_TRUE(session_->launch()) << session_->viewer().error_output();
    EXPECT_EQ(session_->client_size(), std::make_pair(program::width, program::height));
    session_->type('\x1b');
    expect_exit_status(0);
}

TEST(NoDisplay, OneClearLineAndStatusOne)
{
    Process viewer({executable()}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
    const std::optional<int> status = viewer.wait_for_exit(hang_limit);
    ASSERT_TRUE(status.has_value()) << "kept running without a display";
    EXPECT_EQ(*status, 1);
    const std::string errors = viewer.error_output();
    EXPECT_EQ(errors.rfind("vormo-kidney: cannot open the display", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
}

// On Weston, where the program draws its own decorations (through SDL's
// libdecor), as on GNOME: it starts and ticks, ends with status 0 on SIGTERM
// with nothing on stderr, commits frames, and says in one line that the
// compositor is gone when it is.
TEST(OnWeston, StartsCommitsFramesAndEndsCleanly)
{
    if (launcher().wine()) {
        GTEST_SKIP() << "the Linux program's";
    }
    Weston weston;
    const std::vector<std::string> env = weston.client_environment();
    // The loop's busy count runs only once the window is shown.
    const auto ticking = [](Process& p) {
        return wait_until(
                   hang_limit, [&] { return !p.running() || cpu_seconds(p.pid()) > 0.5; }, 50ms) &&
               p.running();
    };
    Process ended({executable()}, env);
    ASSERT_TRUE(ticking(ended)) << ended.error_output();
    ended.signal(SIGTERM);
    EXPECT_EQ(ended.wait_for_exit(hang_limit), 0);
    EXPECT_EQ(ended.error_output(), "");

    Process logged({"env", "WAYLAND_DEBUG=client", executable()}, env);
    std::string log;
    EXPECT_TRUE(wait_until(
        hang_limit, [&] { return frames_attached(log = logged.error_output()).size() >= 3 || !logged.running(); },
        50ms));
    EXPECT_GE(frames_attached(log).size(), 3u) << "no frames committed";
    logged.stop();

    Process lost({executable()}, env);
    ASSERT_TRUE(ticking(lost)) << lost.error_output();
    weston.server().signal(SIGKILL);
    EXPECT_EQ(lost.wait_for_exit(hang_limit), 1);
    EXPECT_EQ(lost.error_output(), "vormo-kidney: lost the connection to the Wayland compositor\n");
}

// The window tests that make sense wherever the program runs: on X11 and,
// for the Linux program, on a Wayland compositor at scale 1 and 2, with no
// X server (each test with a server of its own).
class EachSession : public SessionTest, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override { open(GetParam()); }
};

// Its caption and size, and on Wayland a floating window (sway floats a
// window whose smallest and largest sizes are equal).  1024 x 768 in the
// desktop's units: on an output of scale 2 the compositor doubles the
// frames, each pixel a whole 2 x 2 block, as it does for every program
// that draws at scale 1.  On X11, where a sampler keeps up with the
// start-up pace, it opens at the first frames and plays forwards, every
// frame shown, and the whole window, not only the rows sampled, is one
// frame.
TEST_P(EachSession, OpensWithItsCaptionAndSizeAndEndsOnEscWithNothingOnStderr)
{
    start();
    if (GetParam() == "X11") {
        EXPECT_LE(session_->first_slot(), 1) << "first slot seen: " << session_->first_slot();
        expect_run(0, 0, 1, 1, 1);
        EXPECT_TRUE(wait_until(hang_limit, [this] { return session_->whole_slot() >= 0; }))
            << "the whole window never showed one frame";
    }
    EXPECT_EQ(session_->caption(), caption);
    if (!launcher().wine()) {  // Wine names a Windows program's windows after the .exe
        EXPECT_EQ(session_->app_id(), VORMO_DESKTOP_ID);
    }
    EXPECT_EQ(session_->client_size(), std::make_pair(program::width, program::height));
    if (Compositor* compositor = session_->compositor()) {
        const Compositor::View v = session_->view();
        EXPECT_TRUE(v.floating);
        const Compositor::Grab g = compositor->grab(v.x, v.y, program::width, program::height);
        EXPECT_TRUE(g.units_whole);
    }
    session_->type('\x1b');
    expect_exit_status(0);
}

TEST_P(EachSession, StopAndStepKeysMoveOneSlot)
{
    start();
    session_->type('*');  // stop (after one more frame forward)
    const int stopped = settled();
    ASSERT_GE(stopped, 0);

    session_->type('*');
    EXPECT_EQ(session_->next_slot(stopped), slot_after(stopped, 1));
    EXPECT_EQ(settled(), slot_after(stopped, 1));

    session_->type('/');
    EXPECT_EQ(session_->next_slot(slot_after(stopped, 1)), stopped);
    session_->type('/');
    EXPECT_EQ(session_->next_slot(stopped), slot_after(stopped, -1));

    session_->type(' ');
    EXPECT_EQ(session_->next_slot(slot_after(stopped, -1)), stopped);
    session_->type('.');
    EXPECT_EQ(session_->next_slot(stopped), slot_after(stopped, 1));

    session_->type('=');  // not a command
    session_->type('a');
    EXPECT_EQ(settled(), slot_after(stopped, 1));
    EXPECT_TRUE(session_->viewer().running());
}

TEST_P(EachSession, MouseStepModeStepsWithVerticalMovesAndClickRestoresTheRun)
{
    const int stepped = start_stepping();
    ASSERT_GE(stepped, 0);

    session_->move(500, 340);
    EXPECT_EQ(session_->next_slot(stepped), slot_after(stepped, 1));
    session_->move(500, 330);  // up
    EXPECT_EQ(session_->next_slot(slot_after(stepped, 1)), stepped);
    session_->move(520, 330);  // sideways counts as down
    EXPECT_EQ(session_->next_slot(stepped), slot_after(stepped, 1));
    EXPECT_EQ(settled(), slot_after(stepped, 1));

    // Mode off: running again, at mouse-step mode's pace, which no sampler
    // can follow frame by frame.
    sleep_for(click_gap);  // far from the first click: a single click, not a double
    session_->click();
    EXPECT_TRUE(session_->runs(hang_limit)) << "the run was not restored";
    EXPECT_TRUE(session_->viewer().running());
}

// A press in the window keeps the pointer: a drag beyond its edges still
// moves the viewer, each move past the bottom edge a step forwards and each
// past the top (negative positions) a step back, and the release outside
// is a click.
TEST_P(EachSession, ADragBeyondTheEdgeStillReachesTheViewerAndItsReleaseClicks)
{
    int slot = start_stepping();
    ASSERT_GE(slot, 0);

    sleep_for(click_gap);  // far from the first click: a single click, not a double
    session_->press();
    for (const auto& [y, step] :
         {std::pair{program::height + 20, 1}, {program::height + 40, 1}, {-20, -1}, {-40, -1}}) {
        session_->move(500, y);
        EXPECT_EQ(session_->next_slot(slot), slot_after(slot, step)) << "the move to y = " << y;
        slot = settled();
    }

    // The release, outside, switches mouse-step mode off: running again.
    session_->release();
    EXPECT_TRUE(session_->runs(hang_limit)) << "the release was no click";
    EXPECT_TRUE(session_->viewer().running());
}

// A compositor that stops answering stalls nothing: the viewer goes on
// ticking at k < 0 (a drag left of the window), and SIGTERM still ends it.
TEST_P(EachSession, AStoppedCompositorStallsNeitherTheTicksNorTheEnd)
{
    Compositor* compositor = session_->compositor();
    if (compositor == nullptr) {
        GTEST_SKIP() << "no compositor here to stop";
    }
    start();
    session_->drag({500, 300}, {-60, 300});
    compositor->pause(true);
    const int pid = session_->viewer().pid();
    const double before = cpu_seconds(pid);
    EXPECT_TRUE(wait_until(
        hang_limit, [&] { return cpu_seconds(pid) > before + 1; }, 100ms))
        << "the viewer stalled with the compositor";
    session_->viewer().signal(SIGTERM);
    expect_exit_status(0);
    compositor->pause(false);
}

TEST_P(EachSession, DoubleClickEndsWithStatusZero)
{
    start();
    session_->move(200, 200);
    session_->click();
    session_->click();
    expect_exit_status(0);
}

TEST_P(EachSession, ClosingTheWindowEndsWithStatusZero)
{
    start();
    session_->request_close();
    expect_exit_status(0);
}

// Given a larger size by the compositor (a tiling rule of the user's), the
// frame stays unscaled at the top-left, and the rest is black.
TEST_P(EachSession, TiledTheFrameStaysAtTheTopLeftAndTheRestIsBlack)
{
    Compositor* compositor = session_->compositor();
    if (compositor == nullptr) {
        GTEST_SKIP() << "no compositor here to tile the window";
    }
    start();
    compositor->tile(program::app_id);
    Compositor::View v;
    wait_until(
        hang_limit, [&] { return (v = session_->view()).width != program::width; }, 50ms);
    ASSERT_GT(v.width, program::width);
    ASSERT_GT(v.height, program::height);
    // Until the window shows a frame at its new size.
    const std::size_t stride = 4 * static_cast<std::size_t>(v.width);
    int slot = -1;
    long lit = -1;  // pixels beyond the frame that are not black
    wait_until(hang_limit, [&] {
        const Compositor::Grab g = compositor->grab(v.x, v.y, v.width, v.height);
        if (g.bgrx.empty()) {
            return false;
        }
        slot = session_->frames().slot_of(g.bgrx.data(), stride);
        lit = 0;
        for (int y = 0; y < v.height; ++y) {
            for (int x = y < program::height ? program::width : 0; x < v.width; ++x) {
                const std::uint8_t* p = &g.bgrx[static_cast<std::size_t>(y) * stride + 4 * static_cast<std::size_t>(x)];
                lit += (p[0] | p[1] | p[2]) != 0;
            }
        }
        return slot >= 0 && lit == 0;
    });
    EXPECT_GE(slot, 0) << "the window's top-left shows no frame";
    EXPECT_EQ(lit, 0) << "pixels beyond the frame that are not black";
}

TEST_P(EachSession, ALostDisplayServerIsOneLineAndStatusOne)
{
    start();
    session_->lose();
    const std::optional<int> status = session_->viewer().wait_for_exit(launcher().slack(hang_limit));
    ASSERT_TRUE(status.has_value()) << "still running long after the display server died";
    EXPECT_EQ(*status, 1);
    EXPECT_EQ(session_->viewer().error_output(), session_->lost_line());
}

INSTANTIATE_TEST_SUITE_P(Sessions, EachSession, ::testing::ValuesIn(Session::names(launcher())),
                         [](const ::testing::TestParamInfo<std::string>& name) { return name.param; });

}  // namespace
