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

// A stretch of the protocol log's clock.
struct Span {
    double from = 0;
    double to = 0;
    double ms() const { return log_ms(from, to); }
    bool holds(double stamp) const { return log_ms(from, stamp) < ms(); }
};

// Frames committed per second within the span, from the times they were
// attached.
double commits_per_second(const std::vector<double>& attached, const Span& span)
{
    const auto commits = std::count_if(attached.begin(), attached.end(), [&](double t) { return span.holds(t); });
    return static_cast<double>(commits) * 1000.0 / span.ms();
}

// The program's ticks, counted by the preload in a file of its own.
class TickCount {
public:
    // The environment entries that load the preload and name the file.
    std::vector<std::string> environment() const
    {
        return {"LD_PRELOAD=" VORMO_TICK_COUNTER, "VORMO_TICK_COUNT=" + file_};
    }
    // The ticks counted so far.
    double now() const
    {
        const std::string bytes = e2e::read_file(file_);
        std::uint64_t count = 0;
        std::memcpy(&count, bytes.data(), std::min(bytes.size(), sizeof count));
        return static_cast<double>(count);
    }
    // Two seconds of reading what the viewer logs: its ticks per second,
    // and where the stretch lies on the log's clock.
    Span stretch(Process& viewer, double& ticks_per_second) const
    {
        const double before = now();
        Span span{log_clock_now()};
        drain_for(viewer, 2000ms);
        span.to = log_clock_now();
        ticks_per_second = (now() - before) / 2;
        return span;
    }

private:
    e2e::ScratchDir dir_{"vormo-ticks"};
    std::string file_ = dir_.path() + "/count";
};

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
    const TickCount ticks;
    std::vector<std::string> command = ticks.environment();
    command.insert(command.begin(), "env");
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
    const Span startup = ticks.stretch(viewer, run.startup_ticks);
    s->drag({500, 300}, {-20, 300});  // no counting steps
    drain_for(viewer, 500ms);
    const Span fast = ticks.stretch(viewer, run.fast_ticks);
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

    const std::vector<double> attached = e2e::frames_attached(viewer.error_output());
    if (!attached.empty()) {
        run.first_ms = log_ms(started, attached.front());
    }
    run.startup_commits = commits_per_second(attached, startup);
    run.fast_commits = commits_per_second(attached, fast);
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
    const TickCount ticks;
    std::vector<std::string> env = weston.client_environment();
    const std::vector<std::string> counted = ticks.environment();
    env.insert(env.end(), counted.begin(), counted.end());
    env.emplace_back("WAYLAND_DEBUG=client");
    Process viewer({program}, env);
    // Past start-up; then pressed well inside the window wherever Weston
    // placed it, and dragged to the output's edge.
    if (!e2e::wait_until(
            std::chrono::seconds(20),
            [&] { return viewer.error_output(), ticks.now() > 2 * program::frame_count || !viewer.running(); },
            std::chrono::milliseconds(10)) ||
        !viewer.running()) {
        return run;
    }
    weston.drag({600, 500}, {0, 500});
    drain_for(viewer, 500ms);
    const double cpu = e2e::cpu_seconds(weston.server().pid());
    const Span fast = ticks.stretch(viewer, run.ticks);
    run.compositor_cpu = (e2e::cpu_seconds(weston.server().pid()) - cpu) / 2;
    viewer.stop();
    run.commits = commits_per_second(e2e::frames_attached(viewer.error_output()), fast);
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
                const Run first = measure({program}, true);
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
