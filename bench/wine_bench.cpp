// The Windows program under Wine beside the Linux program and a bare Win32
// GDI loop under the same Wine, run alternately on virtual X servers:
//
//   first frame           exec -> the expected picture seen in a grab
//   ticks at k < 0        presents per second through X DAMAGE, with the
//                         left button dragged left of the window
//   frames seen per turn  at the start-up pace, 24 when every frame drawn
//                         reaches the screen
//   ESC to exit           the key typed -> the process gone
//
//   wine_bench <linux-program> <windows-exe> <bare-gdi-exe> [runs]

#include "figures.hpp"
#include "session.hpp"

#include "common/program.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

namespace {

using namespace figures;
using e2e::sleep_for;

// What a person sees of a program at the start-up pace, and how fast it
// ends: the frames seen per turn of the figure (24 when every frame drawn
// reaches the screen) over some two turns of sampling, and the time from
// ESC to the process's exit.
struct Showing {
    double frames_per_turn = -1;
    double esc_to_exit_ms = -1;
};

Showing showing(const Launcher& launcher, const std::vector<std::string>& argv, const std::string& caption)
{
    Showing seen;
    const std::unique_ptr<e2e::Session> s = e2e::Session::make("X11", launcher, argv, {.caption = caption});
    if (!s->launch()) {
        return seen;
    }
    sleep_for(std::chrono::milliseconds(1000));  // past start-up
    const e2e::Changes c = s->record_changes(2 * program::frame_count, std::chrono::milliseconds(20000));
    const std::vector<int> steps = c.steps();
    const int advanced = std::accumulate(steps.begin(), steps.end(), 0);
    if (c.sampler_kept_up() && advanced > 0) {
        seen.frames_per_turn = program::frame_count * static_cast<double>(steps.size()) / advanced;
    }
    const auto pressed = Clock::now();
    s->type('\x1b');
    if (s->viewer().wait_for_exit(std::chrono::milliseconds(20000))) {
        seen.esc_to_exit_ms = ms_since(pressed);
    } else {
        s->viewer().stop();
    }
    return seen;
}

// The Windows program under Wine beside the Linux one and a bare Win32 GDI
// loop under the same Wine, alternately: first frame, ticks at k < 0, frames
// seen per turn and ESC to exit.
void wine_comparison(const std::string& linux_program, const std::string& exe, const std::string& bare_gdi, int runs)
{
    const std::unique_ptr<Launcher> wine = Launcher::make(true);  // set-up not counted
    std::vector<double> linux_first, exe_first, linux_rate, exe_rate;
    std::vector<Showing> linux_shows, exe_shows, bare_shows, flushed_shows;
    for (int r = 0; r < runs; ++r) {
        linux_first.push_back(measure({linux_program}, true).first_ms);
        exe_first.push_back(measure({exe}, true, *wine).first_ms);
    }
    for (int r = 0; r < std::max(3, runs / 3); ++r) {
        linux_rate.push_back(drag_run(native(), linux_program).rate);
        exe_rate.push_back(drag_run(*wine, exe).rate);
    }
    for (int r = 0; r < runs; ++r) {
        linux_shows.push_back(showing(native(), {linux_program}, program::caption));
        exe_shows.push_back(showing(*wine, {exe}, program::caption));
        bare_shows.push_back(showing(*wine, {bare_gdi}, "bare GDI loop"));
        flushed_shows.push_back(showing(*wine, {bare_gdi, "flush"}, "bare GDI loop"));
    }
    const auto column = [](const std::vector<Showing>& shows, double Showing::*field) {
        return stats(figures::column(shows, field));
    };
    pair("Linux program first frame", linux_first, ".exe under Wine first frame", exe_first, "ms", "Linux");
    pair("Linux program ticks at k < 0", linux_rate, ".exe under Wine ticks at k < 0", exe_rate, "/s", "Linux");
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

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args =
        arguments(argc, argv, 3, "wine_bench <linux-program> <windows-exe> <bare-gdi-exe> [runs]");
    const int runs = runs_at(args, 3, 10);
    header(std::to_string(runs) + " runs each, alternating, on Xvfb, the Windows programs under Wine");
    wine_comparison(args[0], args[1], args[2], runs);
    return 0;
}
