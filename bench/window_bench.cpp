// Whole-process figures on a virtual X server of its own, the viewer beside
// the image viewers a person would otherwise reach for, run alternately in
// the same session:
//
//   first frame   exec -> the expected picture seen in a grab of the window
//   start-up      exec -> the loop's first tick on screen (the viewer only)
//   peak RSS      from the kernel when the process ends
//   tick rate     presents per second seen through X DAMAGE, the viewer at
//                 k < 0 (left button dragged left of the window) against a
//                 bare SDL2 loop over the same frames, with and without
//                 1,000 pointer-motion events per second
//   reaction      stopped, "*" typed -> the next slot on screen
//
//   window_bench <frames-dir> <bare-present> [runs [windows-exe bare-gdi-exe]]
//
// With the Windows program and the bare Win32 GDI loop: those under Wine
// beside the Linux program instead (first frame, ticks at k < 0, frames seen
// per turn at the start-up pace, ESC to exit).
//
// Peers that are not installed are left out.  Grabs are polled as fast as the
// server answers them (a few ms apart), which bounds the timing resolution.

#include "x_session.hpp"

#include "frames/embedded.hpp"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace e2e;

constexpr const char* caption = program::caption;

double ms_since(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Stats {
    double median = -1, low = -1, high = -1;  // -1: nothing measured
};

Stats stats(std::vector<double> v)
{
    if (v.empty()) {
        return {};
    }
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, v.front(), v.back()};
}

bool installed(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The frames, decoded once, and their three-row signatures.
const StripMatcher& strip_matcher()
{
    static const StripMatcher strips{FrameMatcher()};
    return strips;
}

// The slot (of those given) that some viewable top-level window of at least
// the frame size shows, or -1.
int slot_on_screen(Connection& x, const std::vector<int>& slots)
{
    for (const Window w : x.frame_sized_windows()) {
        const int s = strip_matcher().near_slot(x.display(), w, slots);
        if (s >= 0) {
            return s;
        }
    }
    return -1;
}

// Programs started as they are.
const Launcher& native()
{
    static const std::unique_ptr<Launcher> launcher = Launcher::make(false);
    return *launcher;
}

struct Run {
    double first_ms = -1;
    double complete_ms = -1;
    double rss_mb = -1;
};

// Starts a program, times its first frame (and for the viewer its first
// tick), ends it with SIGTERM and reads its peak memory.
Run measure(Connection& x, const std::vector<std::string>& argv, const std::string& display, bool ours,
            const Launcher& launcher = native())
{
    Run run;
    const auto start = Clock::now();
    const std::unique_ptr<Process> started =
        launcher.start(argv[0], {"DISPLAY=" + display}, std::vector<std::string>(argv.begin() + 1, argv.end()));
    Process& p = *started;
    while (ms_since(start) < 20000) {
        const int s = slot_on_screen(x, ours ? std::vector<int>{0, 1} : std::vector<int>{0});
        if (s >= 0) {
            run.first_ms = ms_since(start);
            if (s == 1) {
                run.complete_ms = run.first_ms;
            }
            break;
        }
    }
    while (ours && run.complete_ms < 0 && ms_since(start) < 20000) {
        if (slot_on_screen(x, {1, 2}) >= 0) {
            run.complete_ms = ms_since(start);
        }
    }
    sleep_for(std::chrono::milliseconds(100));
    run.rss_mb = static_cast<double>(peak_kib(p.pid())) / 1024.0;
    p.signal(SIGTERM);
    if (!p.wait_for_exit(std::chrono::milliseconds(3000))) {
        p.signal(SIGKILL);
        p.wait_for_exit(std::chrono::milliseconds(3000));
    }
    return run;
}

// Presents per second on the window over a while, counted through X DAMAGE,
// optionally with 1,000 pointer-motion events a second left of it.
double present_rate(Connection& x, Window w, std::chrono::milliseconds how_long, bool with_motion)
{
    Display* d = x.display();
    DamageCounter damage(d, w);
    const XWindowAttributes a = x.attributes(w);
    std::mt19937 random(3);
    const auto start = Clock::now();
    auto next_motion = start;
    long presents = 0;
    while (Clock::now() - start < how_long) {
        presents = damage.count();
        if (with_motion && Clock::now() >= next_motion) {
            // Left of the window: with the button held, X stays negative.
            XTestFakeMotionEvent(d, DefaultScreen(d), a.x - 1 - static_cast<int>(random() % 100),
                                 a.y + static_cast<int>(random() % program::height), 0);
            XFlush(d);
            next_motion += std::chrono::milliseconds(1);
        }
    }
    return static_cast<double>(presents) * 1000.0 / static_cast<double>(how_long.count());
}

// Once the program has settled, presses the left button on its window and
// drags the pointer left of it, where X is negative and so is the pace;
// the button stays down.
void drag_left_of(Connection& x, Window w)
{
    sleep_for(std::chrono::milliseconds(1500));
    x.move_pointer(w, 500, 300);
    XTestFakeButtonEvent(x.display(), 1, True, 0);
    x.flush();
    XWindowAttributes a{};
    XGetWindowAttributes(x.display(), w, &a);
    XTestFakeMotionEvent(x.display(), DefaultScreen(x.display()), a.x - 60, a.y + 300, 0);
    x.flush();
    sleep_for(std::chrono::milliseconds(200));
}

// Ticks per second of a program dragged left of its window (a negative
// pace: no counting steps).
double drag_rate(Connection& x, const std::string& display, const std::string& program, const Launcher& launcher)
{
    const std::unique_ptr<Process> viewer = launcher.start(program, {"DISPLAY=" + display});
    const Window w = x.wait_for_window(caption, std::chrono::milliseconds(20000));
    if (!w) {
        return -1;
    }
    drag_left_of(x, w);
    const double rate = present_rate(x, w, std::chrono::milliseconds(2000), false);
    XTestFakeButtonEvent(x.display(), 1, False, 0);
    x.flush();
    viewer->signal(SIGTERM);
    if (!viewer->wait_for_exit(std::chrono::milliseconds(3000))) {
        viewer->signal(SIGKILL);
        viewer->wait_for_exit(std::chrono::milliseconds(3000));
    }
    return rate;
}

void line(const char* what, const Stats& s, const char* unit, double ratio_to = 0, const char* ratio_name = "")
{
    if (s.median < 0) {
        std::printf("| %-34s | %8s | %-19s | %-5s |\n", what, "not seen", "", unit);
        return;
    }
    std::printf("| %-34s | %8.1f | %8.1f – %-8.1f | %-5s |", what, s.median, s.low, s.high, unit);
    if (ratio_to > 0) {
        std::printf(" %.2f × %s", s.median / ratio_to, ratio_name);
    }
    std::printf("\n");
}

// What a person sees of a program at the start-up pace, and how fast it
// ends: the frames seen per turn of the figure (24 when every frame drawn
// reaches the screen) over some two turns of sampling, and the time from
// ESC to the process's exit.
struct Showing {
    double frames_per_turn = -1;
    double esc_to_exit_ms = -1;
};

Showing showing(Connection& x, const std::string& display, const std::vector<std::string>& argv,
                const std::string& title, const Launcher& launcher)
{
    static const StripMatcher strips{FrameMatcher(64)};  // the tolerance Wine's codec needs
    Showing seen;
    const std::unique_ptr<Process> p =
        launcher.start(argv[0], {"DISPLAY=" + display}, std::vector<std::string>(argv.begin() + 1, argv.end()));
    const Window w = x.wait_for_window(title, std::chrono::milliseconds(20000));
    if (!w) {
        return seen;
    }
    launcher.focus(x, w);
    sleep_for(std::chrono::milliseconds(1000));  // past start-up
    const Changes c = x.record_changes(w, strips, 2 * program::frame_count, std::chrono::milliseconds(20000));
    const std::vector<int> steps = c.steps();
    const int advanced = std::accumulate(steps.begin(), steps.end(), 0);
    if (c.sampler_kept_up() && advanced > 0) {
        seen.frames_per_turn = program::frame_count * static_cast<double>(steps.size()) / advanced;
    }
    const auto pressed = Clock::now();
    x.type(XK_Escape);
    if (p->wait_for_exit(std::chrono::milliseconds(20000))) {
        seen.esc_to_exit_ms = ms_since(pressed);
    } else {
        p->signal(SIGKILL);
        p->wait_for_exit(std::chrono::milliseconds(3000));
    }
    return seen;
}

// The Windows program under Wine beside the Linux one and a bare Win32 GDI
// loop under the same Wine, alternately: first frame, ticks at k < 0, frames
// seen per turn and ESC to exit.
void wine_comparison(Connection& x, const std::string& display, const std::string& exe, const std::string& bare_gdi,
                     int runs)
{
    const std::unique_ptr<Launcher> wine = Launcher::make(true);  // set-up not counted
    std::vector<double> linux_first;
    std::vector<double> exe_first;
    std::vector<double> linux_rate;
    std::vector<double> exe_rate;
    std::vector<Showing> linux_shows;
    std::vector<Showing> exe_shows;
    std::vector<Showing> bare_shows;
    std::vector<Showing> flushed_shows;
    for (int r = 0; r < runs; ++r) {
        linux_first.push_back(measure(x, {VORMO_EXECUTABLE}, display, true).first_ms);
        exe_first.push_back(measure(x, {exe}, display, true, *wine).first_ms);
    }
    for (int r = 0; r < std::max(3, runs / 3); ++r) {
        linux_rate.push_back(drag_rate(x, display, VORMO_EXECUTABLE, native()));
        exe_rate.push_back(drag_rate(x, display, exe, *wine));
    }
    for (int r = 0; r < runs; ++r) {
        linux_shows.push_back(showing(x, display, {VORMO_EXECUTABLE}, caption, native()));
        exe_shows.push_back(showing(x, display, {exe}, caption, *wine));
        bare_shows.push_back(showing(x, display, {bare_gdi}, "bare GDI loop", *wine));
        flushed_shows.push_back(showing(x, display, {bare_gdi, "flush"}, "bare GDI loop", *wine));
    }
    const auto column = [](const std::vector<Showing>& shows, double Showing::*field) {
        std::vector<double> v;
        for (const Showing& s : shows) {
            if (s.*field >= 0) {
                v.push_back(s.*field);
            }
        }
        return stats(v);
    };
    std::erase_if(exe_first, [](double v) { return v < 0; });
    const Stats linux_first_stats = stats(linux_first);
    const Stats linux_rate_stats = stats(linux_rate);
    line("Linux program first frame", linux_first_stats, "ms");
    line(".exe under Wine first frame", stats(exe_first), "ms", linux_first_stats.median, "Linux");
    line("Linux program ticks at k < 0", linux_rate_stats, "/s");
    line(".exe under Wine ticks at k < 0", stats(exe_rate), "/s", linux_rate_stats.median, "Linux");
    const Stats bare_frames = column(bare_shows, &Showing::frames_per_turn);
    line("bare GDI loop frames seen per turn", bare_frames, "of 24");
    line("  flushed after each draw", column(flushed_shows, &Showing::frames_per_turn), "of 24");
    line(".exe frames seen per turn", column(exe_shows, &Showing::frames_per_turn), "of 24", bare_frames.median,
         "bare GDI");
    line("Linux program frames seen per turn", column(linux_shows, &Showing::frames_per_turn), "of 24");
    const Stats bare_exit = column(bare_shows, &Showing::esc_to_exit_ms);
    line("bare GDI loop ESC to exit", bare_exit, "ms");
    line("  flushed after each draw", column(flushed_shows, &Showing::esc_to_exit_ms), "ms");
    line(".exe ESC to exit", column(exe_shows, &Showing::esc_to_exit_ms), "ms", bare_exit.median, "bare GDI");
    line("Linux program ESC to exit", column(linux_shows, &Showing::esc_to_exit_ms), "ms");
}

// First frame and peak memory of the viewer and of the image viewers a
// person would otherwise reach for, run alternately.
void peers(Connection& x, const std::string& display, const std::string& frames_dir, int runs)
{
    struct Candidate {
        std::string name;
        std::vector<std::string> argv;
        bool ours;
        std::vector<Run> runs;
    };
    const std::string image = frames_dir + "/slot-00.jpg";
    const std::string size = std::to_string(program::width) + "x" + std::to_string(program::height);
    std::vector<Candidate> candidates = {{"vormo-kidney", {VORMO_EXECUTABLE}, true, {}}};
    if (installed("feh")) {
        candidates.push_back({"feh", {"feh", image}, false, {}});
    }
    if (installed("nsxiv")) {
        candidates.push_back({"nsxiv", {"nsxiv", "-b", "-g", size, "-z", "100", image}, false, {}});
    }
    if (installed("display")) {
        candidates.push_back({"ImageMagick display", {"display", image}, false, {}});
    }
    if (installed("mpv")) {
        const std::vector<std::string> mpv = {"mpv",
                                              "--no-config",
                                              "--really-quiet",
                                              "--geometry=" + size,
                                              "--loop-file=inf",
                                              "--mf-fps=" + std::to_string(program::frame_count),
                                              "mf://" + frames_dir + "/slot-*.jpg"};
        candidates.push_back({"mpv (default output)", mpv, false, {}});
        std::vector<std::string> mpv_x11 = mpv;
        mpv_x11.insert(mpv_x11.begin() + 1, "--vo=x11");
        candidates.push_back({"mpv (x11 output)", mpv_x11, false, {}});
    }

    for (int r = 0; r < runs; ++r) {
        for (Candidate& c : candidates) {
            c.runs.push_back(measure(x, c.argv, display, c.ours));
        }
    }

    const auto collect = [](const Candidate& c, double Run::*field) {
        std::vector<double> v;
        for (const Run& r : c.runs) {
            if (r.*field > 0) {
                v.push_back(r.*field);
            }
        }
        return v;
    };
    const Stats ours_first = stats(collect(candidates[0], &Run::first_ms));
    const Stats ours_complete = stats(collect(candidates[0], &Run::complete_ms));
    double feh_first = 0;
    for (const Candidate& c : candidates) {
        if (c.name == "feh") {
            feh_first = stats(collect(c, &Run::first_ms)).median;
        }
    }
    line("vormo-kidney first frame", ours_first, "ms", feh_first, "feh");
    line("vormo-kidney start-up complete", ours_complete, "ms", feh_first, "feh first frame");
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        line((candidates[i].name + " first frame").c_str(), stats(collect(candidates[i], &Run::first_ms)), "ms");
    }
    for (const Candidate& c : candidates) {
        line((c.name + " peak RSS").c_str(), stats(collect(c, &Run::rss_mb)), "MB");
    }
}

// Ticks per second at k < 0 against the bare loop, with and without pointer
// motion, and both programs' memory.
void tick_rates(Connection& x, const std::string& display, const std::string& bare, int runs)
{
    std::vector<double> ours_rate;
    std::vector<double> ours_loaded;
    std::vector<double> bare_rate;
    std::vector<double> bare_rss;
    std::vector<double> ours_rss;
    for (int r = 0; r < std::max(3, runs / 3); ++r) {
        {
            Process viewer({VORMO_EXECUTABLE}, {"DISPLAY=" + display});
            const Window w = x.wait_for_window(caption, std::chrono::milliseconds(5000));
            drag_left_of(x, w);
            ours_rate.push_back(present_rate(x, w, std::chrono::milliseconds(2000), false));
            ours_loaded.push_back(present_rate(x, w, std::chrono::milliseconds(2000), true));
            XTestFakeButtonEvent(x.display(), 1, False, 0);
            x.flush();
            ours_rss.push_back(static_cast<double>(peak_kib(viewer.pid())) / 1024.0);
            viewer.signal(SIGTERM);
            viewer.wait_for_exit(std::chrono::milliseconds(3000));
        }
        {
            Process loop({bare}, {"DISPLAY=" + display});
            const Window w = x.wait_for_window("bare present loop", std::chrono::milliseconds(5000));
            sleep_for(std::chrono::milliseconds(500));
            bare_rate.push_back(present_rate(x, w, std::chrono::milliseconds(2000), false));
            bare_rss.push_back(static_cast<double>(peak_kib(loop.pid())) / 1024.0);
            loop.signal(SIGTERM);
            loop.wait_for_exit(std::chrono::milliseconds(3000));
        }
    }
    const Stats bare_stats = stats(bare_rate);
    line("bare SDL2 loop presents", bare_stats, "/s");
    line("vormo-kidney ticks at k < 0", stats(ours_rate), "/s", bare_stats.median, "bare loop");
    line("  with 1,000 motion events/s", stats(ours_loaded), "/s", stats(ours_rate).median, "unloaded");
    line("bare SDL2 loop peak RSS", stats(bare_rss), "MB");
    line("vormo-kidney peak RSS (drag run)", stats(ours_rss), "MB", stats(bare_rss).median, "bare loop");
}

// Reaction: stopped, "*" typed, the next slot on screen; at the start-up
// pace and at a pointer pace.
void reactions(Connection& x, const std::string& display)
{
    const StripMatcher& strips = strip_matcher();
    for (const bool pointer_pace : {false, true}) {
        Process viewer({VORMO_EXECUTABLE}, {"DISPLAY=" + display});
        const Window w = x.wait_for_window(caption, std::chrono::milliseconds(5000));
        sleep_for(std::chrono::milliseconds(1500));
        if (pointer_pace) {
            x.move_pointer(w, 888, 664);  // k = 9990.3
        }
        x.type(XK_asterisk);
        sleep_for(std::chrono::milliseconds(300));
        int slot = x.wait_for_slot(w, strips, std::chrono::milliseconds(1000));
        std::vector<double> latency;
        std::mt19937 random(5);
        for (int trial = 0; trial < 15 && slot >= 0; ++trial) {
            sleep_for(std::chrono::milliseconds(30 + random() % 50));
            const auto t0 = Clock::now();
            x.type(XK_asterisk);
            const int next = x.wait_for_change(w, strips, slot, std::chrono::milliseconds(2000));
            latency.push_back(ms_since(t0));
            slot = next;
        }
        line(pointer_pace ? "reaction to \"*\", k = 9990.3" : "reaction to \"*\", k = 1000000", stats(latency), "ms");
        viewer.signal(SIGTERM);
        viewer.wait_for_exit(std::chrono::milliseconds(3000));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_bench <frames-dir> <bare-present> [runs [windows-exe bare-gdi-exe]]\n"
                             "  with the .exes: only the Windows program and the bare GDI loop under Wine\n"
                             "  beside the Linux program\n");
        return 2;
    }
    const std::string frames_dir = argv[1];
    const std::string bare = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 10;

    VirtualDisplay server;
    Connection x(server.name());
    XTestFakeMotionEvent(x.display(), DefaultScreen(x.display()), 5, 5, 0);
    x.flush();

    std::printf("\n%d runs each, alternating, on Xvfb %s%s\n\n", runs, server.name().c_str(),
                argc > 5 ? ", the Windows programs under Wine" : "");
    std::printf("| %-34s | %8s | %-19s | %-5s | ratio\n", "figure", "median", "min – max", "unit");
    std::printf("|---|---:|---|---|---|\n");
    if (argc > 5) {
        wine_comparison(x, server.name(), argv[4], argv[5], runs);
        return 0;
    }
    peers(x, server.name(), frames_dir, runs);
    tick_rates(x, server.name(), bare, runs);
    reactions(x, server.name());
    return 0;
}
