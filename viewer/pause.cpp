#include "pause.hpp"

namespace viewer {

namespace {

// One counting step: the loop variable's own advance.  A bare increment of a
// double takes about 3.5 ns, which would spin the figure ten turns a second
// at the start-up pace; the step instead runs a chain of dependent additions
// and subtractions of one half, each exact for counts below 2^52, so the
// variable still advances by exactly 1.  The empty asm statements make the
// value opaque to the optimiser, which can therefore neither fold the chain
// nor compute the loop's trip count; their cost is the FP latency alone.
constexpr int chain_pairs = 28;

// Keeps x in a register the optimiser cannot see into: an SSE register on
// x86, a general one elsewhere (WebAssembly has no register classes).
inline void opaque(double& x)
{
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("" : "+x"(x));
#else
    asm volatile("" : "+r"(x));
#endif
}

inline double next(double i)
{
    double x = i;
    for (int r = 0; r < chain_pairs; ++r) {
        x += 0.5;
        opaque(x);
        x -= 0.5;
        opaque(x);
    }
    return x + 1.0;
}

}  // namespace

std::uint64_t busy_count(double k)
{
    double i = 0;
    for (; i <= k; i = next(i)) {
    }
    return static_cast<std::uint64_t>(i);
}

}  // namespace viewer
