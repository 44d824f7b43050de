#pragma once

// What the window does with each Windows message, as a plain function of
// the message and a little state, so that every rule can be checked with a
// table, including the messages Wine never sends.

#include "platform/characters.hpp"
#include "platform/platform.hpp"

#include <windows.h>

#include <array>

namespace platform::win32 {

// What the translation remembers between messages.
struct InputState {
    bool button_held = false;                // a left press in this window, with the capture taken
    bool release_ends_double_click = false;  // the held press was a double-click's second
    bool moved = false;                      // a move was delivered, at last_x, last_y
    int last_x = 0;
    int last_y = 0;
    Utf16Joiner joiner;
};

enum class Capture { keep, take, release };

// The outcome of one message: the events for the viewer (at most two: a
// lone surrogate and the character after it), and either the answer to
// return or, when by_default, DefWindowProc's.
struct Translation {
    std::array<Event, 2> events{};
    int event_count = 0;
    bool by_default = false;
    LRESULT answer = 0;
    Capture capture = Capture::keep;

    void add(const Event& e) { events[static_cast<std::size_t>(event_count++)] = e; }
};

Translation translate(UINT message, WPARAM w, LPARAM l, InputState& state);

}  // namespace platform::win32
