#pragma once

// What the whole-process benchmarks share: statistics over runs, the rows of
// their table, and the measurements taken of any program on the virtual X
// server: first frame, peak memory, and ticks at k < 0.

#include "frame_watch.hpp"
#include "launcher.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace figures {

using e2e::Clock;
using e2e::Launcher;

// Milliseconds from one moment to a later one (by default, now).
double ms_since(Clock::time_point from, Clock::time_point to = Clock::now());

// The arguments after the program's name, at least `least` of them; else
// the usage line on stderr and the end, with status 2.
std::vector<std::string> arguments(int argc, char** argv, std::size_t least, const char* usage);
// The argument at i as a number of runs, or `fallback` where there is none.
int runs_at(const std::vector<std::string>& args, std::size_t i, int fallback);

struct Stats {
    double median = -1, low = -1, high = -1;  // -1: nothing measured
    double q1 = -1, q3 = -1;                  // the interquartile range
};

// The median and range of the values that are not negative (a negative
// one was not measured).
Stats stats(std::vector<double> v);

// One figure of every run, as a column.
template <typename Run> std::vector<double> column(const std::vector<Run>& runs, double Run::*field)
{
    std::vector<double> v(runs.size());
    std::transform(runs.begin(), runs.end(), v.begin(), [field](const Run& r) { return r.*field; });
    return v;
}

// Prints the table's header, then one row each: the figure, its median and
// range, its unit, and its ratio to another median if one is given.
void header(const std::string& what);
void line(const char* what, const Stats& s, const char* unit, double ratio_to = 0, const char* ratio_name = "");
// Two rows: a figure of one program, then the same of another with its
// ratio to the first one's median.
void pair(const char* first_row, const std::vector<double>& first, const char* second_row,
          const std::vector<double>& second, const char* unit, const char* first_name);
// A row of the interquartile range in place of the median and range.
void quartiles(const char* what, const Stats& s, const char* unit);

// A running process's peak resident memory in MB.
double peak_mb(const e2e::Process& p);

// Programs started as they are.
const Launcher& native();

struct Run {
    double first_ms = -1;
    double complete_ms = -1;
    double rss_mb = -1;
};

// Starts a program on the virtual X server every such run shares, times its
// first frame (for the viewer, ours, also its first tick), ends it and reads
// its peak memory.
Run measure(const std::vector<std::string>& argv, bool ours, const Launcher& launcher = native());

// A viewer's ticks per second with the left button held and the pointer
// dragged left of its window (a negative pace: no counting steps), without
// and, if asked, with 1,000 pointer-motion events a second; and its peak
// memory.
struct DragRun {
    double rate = -1;
    double loaded_rate = -1;
    double rss_mb = -1;
};
// Each run on a virtual X server of its own.
DragRun drag_run(const Launcher& launcher, const std::string& program, bool with_motion = false);

// Presents per second over a while, counted by `updates`; with `motion`,
// 1,000 pointer moves a second through it, left of the window.
double present_rate(e2e::DamageCounter& updates, std::chrono::milliseconds how_long,
                    const std::function<void(int, int)>& motion = {});

}  // namespace figures
