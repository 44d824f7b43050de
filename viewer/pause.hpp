#pragma once

#include <cstdint>

namespace viewer {

// The pacing count: runs a loop variable from 0 up to k inclusive in steps of
// 1 (floor(k) + 1 steps when k >= 0, none when k < 0) and returns the number
// of steps made.  It reads no clock; each step costs a fixed chain of
// dependent floating-point operations: 30-50 ns on current x86 cores, whose
// floating-point additions take two or three cycles each.
std::uint64_t busy_count(double k);

}  // namespace viewer
