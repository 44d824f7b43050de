#include "figures.hpp"
#include "session.hpp"

#include "common/program.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace figures {

using e2e::Process;
using e2e::sleep_for;
using std::chrono::milliseconds;

double ms_since(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::vector<std::string> arguments(int argc, char** argv, std::size_t least, const char* usage)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < least) {
        std::fprintf(stderr, "usage: %s\n", usage);
        std::exit(2);
    }
    return args;
}

int runs_at(const std::vector<std::string>& args, std::size_t i, int fallback)
{
    return i < args.size() ? std::atoi(args[i].c_str()) : fallback;
}

Stats stats(std::vector<double> v)
{
    std::erase_if(v, [](double value) { return value < 0; });
    if (v.empty()) {
        return {};
    }
    std::sort(v.begin(), v.end());
    // Linear interpolation between the closest ranks.
    const auto quantile = [&v](double q) {
        const double at = q * static_cast<double>(v.size() - 1);
        const auto below = static_cast<std::size_t>(at);
        const std::size_t above = std::min(below + 1, v.size() - 1);
        return v[below] + (v[above] - v[below]) * (at - static_cast<double>(below));
    };
    return {quantile(0.5), v.front(), v.back(), quantile(0.25), quantile(0.75)};
}

void header(const std::string& what)
{
    std::printf("\n%s\n\n", what.c_str());
    std::printf("| %-34s | %8s | %-19s | %-5s | ratio\n", "figure", "median", "min – max", "unit");
    std::printf("|---|---:|---|---|---|\n");
}

void line(const char* what, const Stats& s, const char* unit, double ratio_to, const char* ratio_name)
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

void pair(const char* first_row, const std::vector<double>& first, const char* second_row,
          const std::vector<double>& second, const char* unit, const char* first_name)
{
    const Stats base = stats(first);
    line(first_row, base, unit);
    line(second_row, stats(second), unit, base.median, first_name);
}

void quartiles(const char* what, const Stats& s, const char* unit)
{
    if (s.median < 0) {
        line(what, s, unit);
        return;
    }
    std::printf("| %-34s | %8s | %8.1f – %-8.1f | %-5s | interquartile range\n", what, "", s.q1, s.q3, unit);
}

double peak_mb(const Process& p)
{
    return static_cast<double>(e2e::peak_kib(p.pid())) / 1024.0;
}

const Launcher& native()
{
    static const std::unique_ptr<Launcher> launcher = Launcher::make(false);
    return *launcher;
}

Run measure(const std::vector<std::string>& argv, bool ours, const Launcher& launcher)
{
    Run run;
    // One server for every run, as a desktop has: each start meets it (and
    // Wine's server) warm.  Every program's window is found by its picture,
    // as a peer's must be.
    static const auto server = std::make_shared<e2e::VirtualDisplay>();
    const std::unique_ptr<e2e::Session> s =
        e2e::Session::make("X11", launcher, argv, {.display = server, .caption = {}});
    if (s->launch()) {
        run.first_ms = ms_since(s->started_at(), s->first_seen_at());
        // The viewer's first tick: the second frame may be the first one seen.
        if (ours && s->first_slot() == 1) {
            run.complete_ms = run.first_ms;
        } else if (ours && s->next_slot(s->first_slot()) >= 0) {
            run.complete_ms = ms_since(s->started_at());
        }
    }
    // Read even from a program whose picture was not seen.
    sleep_for(milliseconds(100));
    run.rss_mb = peak_mb(s->viewer());
    s->viewer().stop();
    return run;
}

double present_rate(e2e::DamageCounter& updates, std::chrono::milliseconds how_long,
                    const std::function<void(int, int)>& motion)
{
    std::mt19937 random(3);
    const auto start = Clock::now();
    auto next_motion = start;
    long presents = 0;
    while (Clock::now() - start < how_long) {
        presents = updates.count();
        if (motion && Clock::now() >= next_motion) {
            // Left of the window: with the button held, X stays negative.
            motion(-1 - static_cast<int>(random() % 100), static_cast<int>(random() % program::height));
            next_motion += milliseconds(1);
        }
    }
    return static_cast<double>(presents) * 1000.0 / static_cast<double>(how_long.count());
}

DragRun drag_run(const Launcher& launcher, const std::string& program, bool with_motion)
{
    DragRun run;
    const std::unique_ptr<e2e::Session> s = e2e::Session::make("X11", launcher, {program});
    if (!s->launch()) {
        return run;
    }
    // Once the program has settled, the left button pressed in its window
    // and the pointer dragged left of it, where X is negative and so is the
    // pace; the button stays down.
    sleep_for(milliseconds(1500));
    s->drag({500, 300}, {-60, 300});
    sleep_for(milliseconds(200));
    run.rate = present_rate(*s->updates(), milliseconds(2000));
    if (with_motion) {
        run.loaded_rate = present_rate(*s->updates(), milliseconds(2000), [&s](int x, int y) { s->move(x, y); });
    }
    s->release();
    run.rss_mb = peak_mb(s->viewer());
    s->viewer().stop();
    return run;
}

}  // namespace figures
