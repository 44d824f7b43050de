#include "state.hpp"

namespace viewer {

namespace {

constexpr int back = program::frame_count - 1;

int advance(int slot, int by)
{
    return (slot + by) % program::frame_count;
}

}  // namespace

void apply_command(State& s)
{
    // The six tests run in this order every tick, each seeing what the ones
    // before it left.
    if (s.n == program::command::start_backwards) {
        s.l = advance(s.l, back);
        s.mm = 0;
        s.m = 1;
        s.n = program::command::run;
    }
    if (s.n == program::command::start_forwards) {
        s.l = advance(s.l, 1);
        s.m = 0;
        s.mm = 1;
        s.n = program::command::run;
    }
    if (s.n == program::command::step_back) {
        // While running after a run command, m + mm = 1 cancels the step.
        s.l = advance(s.l, back + s.m + s.mm);
        s.mm = 0;
        s.m = 0;
        s.n = program::command::stopped;
    }
    if (s.n == program::command::step_forward) {
        // 1 - m - mm is never negative: at most one of the flags is set.
        s.l = advance(s.l, 1 + back * (s.m + s.mm));
        s.mm = 0;
        s.m = 0;
        s.n = program::command::stopped;
    }
    if (s.n != 0 && s.m == 0) {
        s.l = advance(s.l, s.n);
    }
    if (s.m == 1) {
        s.l = advance(s.l, back);
    }
}

}  // namespace viewer
