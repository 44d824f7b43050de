#pragma once

// What the window does with each Windows message, as a plain function of
// the message and a little state, so that every rule can be checked with a
// table, including the messages Wine never sends.

#include "platform/characters.hpp"
#include "platform/platform.hpp"
#include "platform/pointer.hpp"

#include <windows.h>

#include <array>

namespace platform::win32 {

// What the translation remembers between messages.
struct InputState {
    PointerRules pointer;
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
    void add_any(const std::optional<Event>& e)
    {
        if (e) {
            add(*e);
        }
    }
};

Translation translate(UINT message, WPARAM w, LPARAM l, InputState& state);

}  // namespace platform::win32
