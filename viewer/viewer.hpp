#pragma once

// The window object: the viewer state, the frame table, the start-up
// sequence and the animation loop, written against the platform interface.

#include "holders.hpp"
#include "state.hpp"

#include "platform/platform.hpp"

#include <array>
#include <cstdint>
#include <functional>

namespace viewer {

// Runs the pacing count for a pace k and returns the steps made.
using Counter = std::function<std::uint64_t(double k)>;

class Viewer final : private platform::EventHandler {
public:
    // The viewer shows the holders' pictures on the platform; both must
    // outlive it.  The counter is busy_count() except in tests.
    Viewer(platform::Platform& platform, Holders& holders, Counter counter);

    // Runs the start-up sequence and then the loop until quit; returns the
    // program's exit status.
    int run();

    const State& state() const { return state_; }

private:
    void start_up();
    void tick();
    void pause();
    void event_pass();
    void bind(int slot);
    void quit();
    bool handle(const platform::Event& event) override;

    platform::Platform& platform_;
    Holders& holders_;
    Counter counter_;
    State state_;
    // Slot s names the picture Image<s + 1> holds; never a copy.
    std::array<platform::Picture, program::frame_count> frames_{};
    bool ended_ = false;
};

}  // namespace viewer
