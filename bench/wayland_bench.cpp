// The Linux program on Wayland (a headless sway) beside the same program on
// X11 (a virtual X server), run alternately, each on a display of its own:
//
//   first frame       on X11: exec -> the expected picture seen in a grab;
//                     on Wayland: exec -> the first commit of a frame, from
//                     the client's own protocol log (WAYLAND_DEBUG)
//   ticks             per second, counted outside the program (the
//                     tick_counter preload), at the start-up pace and at
//                     k < 0 (the left button dragged left of the window)
//   commits           on Wayland, frames committed per second over the same
//                     stretches, from the protocol log (which costs the
//                     program a little)
//   SIGTERM to exit   on Wayland, with the compositor stopped (SIGSTOP)
//   peak memory       VmHWM
//
// Then on Weston drawing with OpenGL, which uploads every buffer committed:
// ticks, commits and Weston's processor time per second at k <= 0, for this
// build and, alternately, another one (an older build, say).
//
//   wayland_bench <program> <wayland_seat> [runs [other-build]]

#include "figures.hpp"
#include "session.hpp"

#include "common/program.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace figures;
using e2e::Process;
using e2e::sleep_for;
using e2e::VirtualDisplay;
using namespace std::chrono_literals;

// The protocol log's clock: wall-clock microseconds cut to 32 bits, shown
// in milliseconds.
constexpr double log_period = 4294967.296;

double log_clock_now()
{
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(static_cast<std::uint32_t>(us)) / 1000.0;
}

// Milliseconds from one reading of that clock to a later one.
double log_ms(double from, double to)
{
    const double d = to - from;
    return d < 0 ? d + log_period : d;
}

// Waits while reading what the program logs, so that its pipe never fills
// and holds it up.
void drain_for(Process& p, std::chrono::milliseconds d)
{
    e2e::wait_until(
        d, [&p] { return p.error_output(), false; }, 2ms);
}

// The ticks the preload has counted so far.
double ticks_in(const std::string& file)
{
    const std::string bytes = e2e::read_file(file);
    std::uint64_t count = 0;
    std::memcpy(&count, bytes.data(), std::min(bytes.size(), sizeof count));
    return static_cast<double>(count);
}

struct SessionRun {
    double first_ms = -1;  // Wayland only
    double startup_ticks = -1, startup_commits = -1;
    double fast_ticks = -1, fast_commits = -1;  // at k < 0
    double term_ms = -1;                        // Wayland only
    double rss_mb = -1;
};

SessionRun session_run(const std::string& name, const std::string& program, const std::string& seat)
{
    SessionRun run;
    const bool wayland = name == "Wayland";
    const e2e::ScratchDir dir("vormo-ticks");
    const std::string count = dir.path() + "/count";
    std::vector<std::string> command = {"env", "LD_PRELOAD=" VORMO_TICK_COUNTER, "VORMO_TICK_COUNT=" + count};
    if (wayland) {
        command.emplace_back("WAYLAND_DEBUG=client");  // the client's own protocol log, each request timed
    }
    command.push_back(program);
    const std::unique_ptr<e2e::Session> s = e2e::Session::make(name, native(), command, {.seat = seat});
    const auto started = log_clock_now();
    if (!s->launch()) {
        return run;
    }
    Process& viewer = s->viewer();
    drain_for(viewer, 1000ms);  // placed, and past start-up
    // Two seconds of ticks, and where they lie on the log's clock.
    const auto stretch = [&](double& ticks) {
        const double before = ticks_in(count);
        const auto from = log_clock_now();
        drain_for(viewer, 2000ms);
        ticks = (ticks_in(count) - before) / 2;
        return std::pair{from, log_clock_now()};
    };
    const auto startup = stretch(run.startup_ticks);
    s->drag({500, 300}, {-20, 300});  // no counting steps
    drain_for(viewer, 500ms);
    const auto fast = stretch(run.fast_ticks);
    run.rss_mb = peak_mb(viewer);
    if (!wayland) {
        viewer.stop();
        return run;
    }
    s->compositor()->pause(true);
    const auto term = Clock::now();
    viewer.signal(SIGTERM);
    const auto ended = [&] { return viewer.error_output(), !viewer.running(); };
    if (e2e::wait_until(std::chrono::seconds(20), ended, std::chrono::milliseconds(1))) {
        run.term_ms = ms_since(term);
    }
    s->compositor()->pause(false);

    long startup_commits = 0;
    long fast_commits = 0;
    const auto within = [](double stamp, std::pair<double, double> span) {
        return log_ms(span.first, stamp) < log_ms(span.first, span.second);
    };
    for (const double stamp : e2e::frames_attached(viewer.error_output())) {
        if (run.first_ms < 0) {
            run.first_ms = log_ms(started, stamp);
        }
        startup_commits += within(stamp, startup);
        fast_commits += within(stamp, fast);
    }
    run.startup_commits = static_cast<double>(startup_commits) * 1000.0 / log_ms(startup.first, startup.second);
    run.fast_commits = static_cast<double>(fast_commits) * 1000.0 / log_ms(fast.first, fast.second);
    return run;
}

// On Weston, which draws with OpenGL (in software) and so uploads each
// buffer committed: the program's ticks and commits per second with the
// pointer dragged to the output's left edge, at or beyond the window's
// (k <= 0: no counting steps), and Weston's processor time per second.
struct WestonRun {
    double ticks = -1;
    double commits = -1;
    double compositor_cpu = -1;  // seconds per second
};

WestonRun weston_run(const std::string& program)
{
    WestonRun run;
    e2e::Weston weston;
    const e2e::ScratchDir dir("vormo-ticks");
    const std::string count = dir.path() + "/count";
    std::vector<std::string> env = weston.client_environment();
    env.insert(env.end(), {"LD_PRELOAD=" VORMO_TICK_COUNTER, "VORMO_TICK_COUNT=" + count, "WAYLAND_DEBUG=client"});
    Process viewer({program}, env);
    // Past start-up; then pressed well inside the window wherever Weston
    // placed it, and dragged to the output's edge.
    if (!e2e::wait_until(
            std::chrono::seconds(20),
            [&] { return viewer.error_output(), ticks_in(count) > 2 * program::frame_count || !viewer.running(); },
            std::chrono::milliseconds(10)) ||
        !viewer.running()) {
        return run;
    }
    weston.drag({600, 500}, {0, 500});
    drain_for(viewer, 500ms);
    const double ticks = ticks_in(count);
    const double cpu = e2e::cpu_seconds(weston.server().pid());
    const auto from = log_clock_now();
    drain_for(viewer, 2000ms);
    const auto to = log_clock_now();
    run.ticks = (ticks_in(count) - ticks) / 2;
    run.compositor_cpu = (e2e::cpu_seconds(weston.server().pid()) - cpu) / 2;
    viewer.stop();
    const std::vector<double> attached = e2e::frames_attached(viewer.error_output());
    const auto commits = std::count_if(attached.begin(), attached.end(),
                                       [&](double stamp) { return log_ms(from, stamp) < log_ms(from, to); });
    run.commits = static_cast<double>(commits) * 1000.0 / log_ms(from, to);
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args =
        arguments(argc, argv, 2, "wayland_bench <program> <wayland_seat> [runs [other-build]]");
    const std::string& program = args[0];
    const std::string& seat = args[1];
    const int runs = runs_at(args, 2, 5);
    const std::string other = args.size() > 3 ? args[3] : "";

    std::vector<double> x_first, x_rss;
    std::vector<SessionRun> x_runs, w_runs;
    for (int r = 0; r < runs; ++r) {
        // Every other round Wayland first, so neither always follows the other.
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == (r % 2 == 0)) {
                const VirtualDisplay display;
                Connection x(display.name());
                const Run first = measure(x, {program}, display.name(), true);
                x_first.push_back(first.first_ms);
                x_rss.push_back(first.rss_mb);
                x_runs.push_back(session_run("X11", program, seat));
            } else {
                w_runs.push_back(session_run("Wayland", program, seat));
            }
        }
    }
    std::printf("\n%d runs each, alternating: X11 on Xvfb, Wayland on a headless sway (pixman)\n\n", runs);
    header("X11 and Wayland");
    pair("X11 first frame", x_first, "Wayland first frame", column(w_runs, &SessionRun::first_ms), "ms", "X11");
    pair("X11 ticks, start-up pace", column(x_runs, &SessionRun::startup_ticks), "Wayland ticks, start-up pace",
         column(w_runs, &SessionRun::startup_ticks), "/s", "X11");
    line("Wayland commits, start-up pace", stats(column(w_runs, &SessionRun::startup_commits)), "/s",
         stats(column(w_runs, &SessionRun::startup_ticks)).median, "ticks");
    pair("X11 ticks at k < 0", column(x_runs, &SessionRun::fast_ticks), "Wayland ticks at k < 0",
         column(w_runs, &SessionRun::fast_ticks), "/s", "X11");
    line("Wayland commits at k < 0", stats(column(w_runs, &SessionRun::fast_commits)), "/s");
    line("Wayland SIGTERM to exit, stopped", stats(column(w_runs, &SessionRun::term_ms)), "ms");
    pair("X11 peak memory", x_rss, "Wayland peak memory", column(w_runs, &SessionRun::rss_mb), "MB", "X11");

    // On Weston (OpenGL), this build and, alternately, another.
    std::vector<WestonRun> ours, theirs;
    for (int r = 0; r < runs; ++r) {
        if (!other.empty() && r % 2) {
            theirs.push_back(weston_run(other));
        }
        ours.push_back(weston_run(program));
        if (!other.empty() && r % 2 == 0) {
            theirs.push_back(weston_run(other));
        }
    }
    const auto weston_column = [](const std::vector<WestonRun>& runs, double WestonRun::*field) {
        return stats(column(runs, field));
    };
    header("Weston, drawing with OpenGL (llvmpipe), the pointer at the window's left edge (k <= 0)");
    const Stats cpu = weston_column(ours, &WestonRun::compositor_cpu);
    line("ticks", weston_column(ours, &WestonRun::ticks), "/s");
    line("commits", weston_column(ours, &WestonRun::commits), "/s");
    line("Weston processor time", cpu, "s/s");
    if (!other.empty()) {
        line("other build ticks", weston_column(theirs, &WestonRun::ticks), "/s");
        line("other build commits", weston_column(theirs, &WestonRun::commits), "/s");
        line("Weston processor time, other build", weston_column(theirs, &WestonRun::compositor_cpu), "s/s", cpu.median,
             "this build");
    }
    return 0;
}
