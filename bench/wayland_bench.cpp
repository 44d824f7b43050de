// The Linux program on Wayland (a headless sway) beside the same program on
// X11 (a virtual X server), run alternately, each on a display of its own:
//
//   first frame       on X11: exec -> the expected picture seen in a grab;
//                     on Wayland: exec -> the first commit of a frame, from
//                     the client's own protocol log (WAYLAND_DEBUG)
//   ticks at k < 0    presents per second with the left button dragged left
//                     of the window: X DAMAGE on X11, commits in the
//                     protocol log on Wayland (which costs the program a
//                     little: a floor)
//   peak memory       VmHWM
//
//   wayland_bench <program> <wayland_seat> [runs]

#include "figures.hpp"
#include "session.hpp"

#include "common/program.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

struct WaylandRun {
    double first_ms = -1;
    double rate = -1;
    double rss_mb = -1;
};

WaylandRun wayland_run(const std::string& program, const std::string& seat)
{
    WaylandRun run;
    // The client's own protocol log, with the time of each request.
    const std::unique_ptr<e2e::Session> s =
        e2e::Session::make("Wayland", native(), {"env", "WAYLAND_DEBUG=client", program}, {.seat = seat});
    const auto started = log_clock_now();
    if (!s->launch()) {
        return run;
    }
    Process& viewer = s->viewer();
    drain_for(viewer, 300ms);  // placed
    // Pressed in the window, dragged left of it: no counting steps.
    s->drag({500, 300}, {-20, 300});
    drain_for(viewer, 500ms);
    const auto from = log_clock_now();
    drain_for(viewer, 2000ms);
    const auto to = log_clock_now();
    run.rss_mb = peak_mb(viewer);
    s->release();
    viewer.stop();

    // "[ms.us]  -> wl_surface@N.attach(wl_buffer@M, 0, 0)", then its commit.
    std::istringstream log(viewer.error_output());
    std::string line;
    bool attached = false;
    long commits = 0;
    while (std::getline(log, line)) {
        double stamp = 0;
        if (std::sscanf(line.c_str(), "[%lf]", &stamp) != 1) {
            continue;
        }
        if (line.find("wl_surface@") != std::string::npos && line.find(".attach(wl_buffer@") != std::string::npos) {
            attached = true;
        } else if (attached && line.find("wl_surface@") != std::string::npos &&
                   line.find(".commit()") != std::string::npos) {
            attached = false;
            if (run.first_ms < 0) {
                run.first_ms = log_ms(started, stamp);
            }
            commits += log_ms(from, stamp) < log_ms(from, to);
        }
    }
    run.rate = static_cast<double>(commits) * 1000.0 / log_ms(from, to);
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args = arguments(argc, argv, 2, "wayland_bench <program> <wayland_seat> [runs]");
    const std::string& program = args[0];
    const std::string& seat = args[1];
    const int runs = runs_at(args, 2, 5);

    std::vector<double> x_first, x_rate, x_rss, w_first, w_rate, w_rss;
    for (int r = 0; r < runs; ++r) {
        // Every other round Wayland first, so neither always follows the other.
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == (r % 2 == 0)) {
                const VirtualDisplay display;
                Connection x(display.name());
                const Run first = measure(x, {program}, display.name(), true);
                x_first.push_back(first.first_ms);
                const DragRun drag = drag_run(native(), program);
                x_rate.push_back(drag.rate);
                x_rss.push_back(first.rss_mb);
            } else {
                const WaylandRun w = wayland_run(program, seat);
                w_first.push_back(w.first_ms);
                w_rate.push_back(w.rate);
                w_rss.push_back(w.rss_mb);
            }
        }
    }

    std::printf("\n%d runs each, alternating: X11 on Xvfb, Wayland on a headless sway (pixman)\n\n", runs);
    header("X11 and Wayland");
    pair("X11 first frame", x_first, "Wayland first frame", w_first, "ms", "X11");
    pair("X11 ticks at k < 0", x_rate, "Wayland ticks at k < 0", w_rate, "/s", "X11");
    pair("X11 peak memory", x_rss, "Wayland peak memory", w_rss, "MB", "X11");
    return 0;
}
