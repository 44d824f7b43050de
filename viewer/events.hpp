#pragma once

// What the platform hands the viewer from an event pass.

#include "common/program.hpp"

#include <variant>

namespace viewer {

struct TypedCharacter {
    char32_t code;  // the character a key press produced; ESC is 27
    bool operator==(const TypedCharacter&) const = default;
};
struct Click {  // the left button released, ending a single click
    bool operator==(const Click&) const = default;
};
struct DoubleClick {  // the left button pressed the second time in a double-click
    bool operator==(const DoubleClick&) const = default;
};
struct MouseMove {
    float x;  // pointer position in the surface's user scale
    float y;
    bool operator==(const MouseMove&) const = default;
};
struct CloseRequest {  // the window closed through its frame, or the session or process is ending
    bool operator==(const CloseRequest&) const = default;
};

using Event = std::variant<TypedCharacter, Click, DoubleClick, MouseMove, CloseRequest>;

using program::user_height;
using program::user_width;
inline constexpr int surface_width = program::width;
inline constexpr int surface_height = program::height;

// A pointer position in pixels of the client area, in the user scale; the
// pixel position may lie outside the surface while a button is held.
inline MouseMove to_user_scale(int px, int py)
{
    return {static_cast<float>(px) * user_width / static_cast<float>(surface_width),
            static_cast<float>(py) * user_height / static_cast<float>(surface_height)};
}

}  // namespace viewer
