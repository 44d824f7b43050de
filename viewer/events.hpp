#pragma once

// What the platform hands the viewer from an event pass.

#include <bit>
#include <cstdint>
#include <variant>

namespace viewer {

struct TypedCharacter {
    char32_t code;  // the character a key press produced; ESC is 27
};
struct Click {};        // the left button released, ending a single click
struct DoubleClick {};  // the left button pressed the second time in a double-click
struct MouseMove {
    float x;  // pointer position in the surface's user scale
    float y;
};
struct CloseRequest {};  // the window closed through its frame, or SIGINT/SIGTERM

using Event = std::variant<TypedCharacter, Click, DoubleClick, MouseMove, CloseRequest>;

// The picture surface's user scale: 0 at the left and top edges,
// user_width at the right and user_height at the bottom.
inline constexpr float user_width = 14.882806f;
inline constexpr float user_height = 29.84375f;
static_assert(std::bit_cast<std::uint32_t>(user_width) == 0x416E1FF9);
static_assert(std::bit_cast<std::uint32_t>(user_height) == 0x41EEC000);
inline constexpr int surface_width = 1024;
inline constexpr int surface_height = 768;

// A pointer position in pixels of the client area, in the user scale; the
// pixel position may lie outside the surface while a button is held.
inline MouseMove to_user_scale(int px, int py)
{
    return {static_cast<float>(px) * user_width / static_cast<float>(surface_width),
            static_cast<float>(py) * user_height / static_cast<float>(surface_height)};
}

}  // namespace viewer
