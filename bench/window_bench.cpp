// Whole-process figures of the Linux program on a virtual X server of its
// own, beside the image viewers a person would otherwise reach for and its
// port's bare loop, run alternately in the same session:
//
//   first frame   exec -> the expected picture seen in a grab of the window
//   start-up      exec -> the loop's first tick on screen (the viewer only)
//   peak RSS      from the kernel while the process runs
//   tick rate     presents per second seen through X DAMAGE, the viewer at
//                 k < 0 (left button dragged left of the window) against the
//                 bare loop over the same frames, with and without 1,000
//                 pointer-motion events per second
//   reaction      stopped, "*" typed -> the next slot on screen
//
//   window_bench <frames-dir> <bare-loop> [runs [other-build]]
//
// With another build of the program (an older one, say), that build too,
// alternating with this one: first frame, start-up, ticks at k < 0 and
// memory, each beside this build's.
//
// Peers that are not installed are left out.  Grabs are polled as fast as the
// server answers them (a few ms apart), which bounds the timing resolution.

#include "figures.hpp"
#include "session.hpp"

#include "common/program.hpp"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace figures;
using e2e::sleep_for;

bool installed(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// First frame and peak memory of the viewer and of the image viewers a
// person would otherwise reach for, run alternately.
void peers(const std::string& frames_dir, int runs, const std::string& other)
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
    if (!other.empty()) {
        candidates.push_back({"other build", {other}, true, {}});
    }
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

    // Every other round goes backwards, so that no program always runs
    // right after the same one.
    for (int r = 0; r < runs; ++r) {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            Candidate& c = candidates[r % 2 ? candidates.size() - 1 - i : i];
            c.runs.push_back(measure(c.argv, c.ours));
        }
    }

    // One figure of a program's runs, as statistics.
    const auto figure = [](const Candidate& c, double Run::*field) { return stats(column(c.runs, field)); };
    const Stats ours_first = figure(candidates[0], &Run::first_ms);
    const Stats ours_complete = figure(candidates[0], &Run::complete_ms);
    double feh_first = 0;
    for (const Candidate& c : candidates) {
        if (c.name == "feh") {
            feh_first = figure(c, &Run::first_ms).median;
        }
    }
    line("vormo-kidney first frame", ours_first, "ms", feh_first, "feh");
    line("vormo-kidney start-up complete", ours_complete, "ms", feh_first, "feh first frame");
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        const Candidate& c = candidates[i];
        const Stats first = figure(c, &Run::first_ms);
        if (!c.ours) {
            line((c.name + " first frame").c_str(), first, "ms");
            continue;
        }
        line((c.name + " first frame").c_str(), first, "ms", ours_first.median, "this build");
        line((c.name + " start-up complete").c_str(), figure(c, &Run::complete_ms), "ms", ours_complete.median,
             "this build");
        quartiles("vormo-kidney first frame", ours_first, "ms");
        quartiles((c.name + " first frame").c_str(), first, "ms");
    }
    const Stats ours_rss = figure(candidates[0], &Run::rss_mb);
    for (const Candidate& c : candidates) {
        // The other build's memory beside this one's.
        const bool other_build = c.ours && &c != &candidates.front();
        line((c.name + " peak RSS").c_str(), figure(c, &Run::rss_mb), "MB", other_build ? ours_rss.median : 0,
             "this build");
    }
}

// Ticks per second at k < 0 against the bare loop, with and without pointer
// motion, and both programs' memory.
void tick_rates(const std::string& bare, int runs, const std::string& other)
{
    std::vector<double> ours_rate, ours_loaded, ours_rss, other_rate, other_loaded, other_rss, bare_rate, bare_rss;
    for (int r = 0; r < std::max(3, runs / 3); ++r) {
        const auto run_other = [&] {
            if (!other.empty()) {
                const DragRun theirs = drag_run(native(), other, true);
                other_rate.push_back(theirs.rate);
                other_loaded.push_back(theirs.loaded_rate);
                other_rss.push_back(theirs.rss_mb);
            }
        };
        if (r % 2) {
            run_other();
        }
        const DragRun ours = drag_run(native(), VORMO_EXECUTABLE, true);
        ours_rate.push_back(ours.rate);
        ours_loaded.push_back(ours.loaded_rate);
        ours_rss.push_back(ours.rss_mb);
        if (r % 2 == 0) {
            run_other();
        }
        const std::unique_ptr<e2e::Session> loop =
            e2e::Session::make("X11", native(), {bare}, {.caption = "bare present loop"});
        if (loop->launch()) {
            sleep_for(std::chrono::milliseconds(500));
            bare_rate.push_back(present_rate(*loop->updates(), std::chrono::milliseconds(2000)));
            bare_rss.push_back(peak_mb(loop->viewer()));
            loop->viewer().stop();
        }
    }
    const Stats bare_stats = stats(bare_rate);
    line("bare SDL2 loop presents", bare_stats, "/s");
    line("vormo-kidney ticks at k < 0", stats(ours_rate), "/s", bare_stats.median, "bare loop");
    line("  with 1,000 motion events/s", stats(ours_loaded), "/s", stats(ours_rate).median, "unloaded");
    line("bare SDL2 loop peak RSS", stats(bare_rss), "MB");
    line("vormo-kidney peak RSS (drag run)", stats(ours_rss), "MB", stats(bare_rss).median, "bare loop");
    if (!other.empty()) {
        line("other build ticks at k < 0", stats(other_rate), "/s", bare_stats.median, "bare loop");
        line("  with 1,000 motion events/s", stats(other_loaded), "/s", stats(other_rate).median, "unloaded");
        line("other build peak RSS (drag run)", stats(other_rss), "MB", stats(ours_rss).median, "this build");
    }
}

// Reaction: stopped, "*" typed, the next slot on screen; at the start-up
// pace and at a pointer pace.
void reactions()
{
    for (const bool pointer_pace : {false, true}) {
        const std::unique_ptr<e2e::Session> viewer = e2e::Session::make("X11", native(), {VORMO_EXECUTABLE});
        if (!viewer->launch()) {
            continue;
        }
        sleep_for(std::chrono::milliseconds(1500));
        if (pointer_pace) {
            viewer->move(888, 664);  // k = 9990.3
        }
        viewer->type('*');
        sleep_for(std::chrono::milliseconds(300));
        int slot = viewer->next_slot(-1, std::chrono::milliseconds(1000));
        std::vector<double> latency;
        std::mt19937 random(5);
        for (int trial = 0; trial < 15 && slot >= 0; ++trial) {
            sleep_for(std::chrono::milliseconds(30 + random() % 50));
            const auto t0 = Clock::now();
            viewer->type('*');
            const int next = viewer->next_slot(slot, std::chrono::milliseconds(2000));
            latency.push_back(ms_since(t0));
            slot = next;
        }
        line(pointer_pace ? "reaction to \"*\", k = 9990.3" : "reaction to \"*\", k = 1000000", stats(latency), "ms");
        viewer->viewer().stop();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args =
        arguments(argc, argv, 2, "window_bench <frames-dir> <bare-loop> [runs [other-build]]");
    const int runs = runs_at(args, 2, 10);
    const std::string other = args.size() > 3 ? args[3] : "";

    header(std::to_string(runs) + " runs each, alternating, on Xvfb");
    peers(args[0], runs, other);
    tick_rates(args[1], runs, other);
    reactions();
    return 0;
}
