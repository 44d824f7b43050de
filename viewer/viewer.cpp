#include "viewer.hpp"

#include "controls/keyboard.hpp"
#include "controls/mouse.hpp"

#include <type_traits>
#include <utility>

namespace viewer {

Viewer::Viewer(platform::Platform& platform, Holders& holders, Counter counter)
    : platform_(platform), holders_(holders), counter_(std::move(counter))
{
}

int Viewer::run()
{
    start_up();
    // The loop is paced by counting, not by a clock: each tick's length is
    // the count up to k plus the show and the event pass, so the pace depends
    // on the processor, and input takes effect at the next tick.
    while (!ended_) {
        tick();
    }
    return 0;
}

void Viewer::start_up()
{
    // Slot 0 is shown the moment it is bound (and then the platform may start
    // decoding the rest); each later slot is followed by one event pass, so
    // input during loading is handled as it comes.
    bind(0);
    platform_.show(frames_[0]);
    holders_.expect_rest();
    for (int s = 1; s < program::frame_count && !ended_; ++s) {
        bind(s);
        event_pass();
    }
    state_.n = program::command::run;
    state_.k = program::startup_pace;
}

void Viewer::tick()
{
    apply_command(state_);
    platform_.show(frames_[state_.l]);
    pause();
}

void Viewer::pause()
{
    counter_(state_.k);
    event_pass();
}

void Viewer::event_pass()
{
    if (!ended_) {
        platform_.process_events(*this);
    }
}

void Viewer::bind(int slot)
{
    frames_[slot] = holders_.picture(slot + 1);
}

void Viewer::quit()
{
    platform_.clear();
    ended_ = true;
}

bool Viewer::handle(const platform::Event& event)
{
    std::visit(
        [this](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, platform::TypedCharacter>) {
                if (controls::on_character(state_, e.code) == controls::Outcome::quit) {
                    quit();
                }
            } else if constexpr (std::is_same_v<E, platform::Click>) {
                controls::on_click(state_);
            } else if constexpr (std::is_same_v<E, platform::DoubleClick>) {
                quit();
            } else if constexpr (std::is_same_v<E, platform::MouseMove>) {
                controls::on_mouse_move(state_, e.x, e.y, e.lands);
            } else {
                static_assert(std::is_same_v<E, platform::CloseRequest>);
                quit();
            }
        },
        event);
    return !ended_;
}

}  // namespace viewer
