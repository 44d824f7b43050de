#pragma once

// SDL's events in the viewer's terms.  A plain function of the event and
// the pointer's state, so it is tested with hand-made events and no
// display.

#include "platform/platform.hpp"
#include "platform/pointer.hpp"

#include <array>

union SDL_Event;

namespace platform::sdl {

struct Translation {
    // The viewer's events, in order: a text event may carry several
    // characters (at most 31, the size of SDL's text buffer less its NUL).
    std::array<Event, 31> events{};
    int count = 0;
    // The window was exposed: its drawing surface still holds the current
    // frame and is to be presented again.
    bool repaint = false;
};

// What one SDL event means to the viewer; nothing for events it ignores.
Translation translate(const SDL_Event& event, PointerRules& pointer);

}  // namespace platform::sdl
