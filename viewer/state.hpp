#pragma once

// The viewer state: the members of the window object that the tick and the
// input handlers share.  All start at 0.

#include "common/program.hpp"

namespace viewer {

struct State {
    double k = 0;  // pace: the busy-count limit of each tick
    int l = 0;     // current frame slot, 0..frame_count - 1
    int m = 0;     // 1 while running backwards on its own
    int mm = 0;    // 1 after a run-forwards command started forward running
    int n = 0;     // command code: the pending request or the standing run state
    int nm = 0;    // 1 in mouse-step mode
    int m1 = 0;    // m, mm and n as they were when mouse-step mode was entered
    int mm1 = 0;
    int n1 = 0;
    float yyy = 0;  // pointer's Y at the previous move in mouse-step mode

    bool operator==(const State&) const = default;
};

// Applies the pending command and the run flags to the current slot: the
// state part of one tick.  Every slot change is a non-negative sum modulo
// frame_count; one step back adds frame_count - 1.
void apply_command(State& s);

}  // namespace viewer
