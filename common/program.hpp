#pragma once

// The program's fixed values, in one place: the window, the frames, the
// paces, the pointer factor and the key table.  The viewer, every platform,
// the frame generator, the tests and the benchmarks all read them from here.

#include <array>
#include <cstdint>

namespace program {

// The program's name, as the system shows it where the caption does not fit
// (a message box's title, an installer's entry).
inline constexpr const char* name = "Vormo KidneyShape";

// The name a desktop knows the program by: its desktop entry's and its
// AppStream id, and the window's Wayland app id and X11 class, by which a
// desktop matches a running window to its entry (name, icon, pinning).
inline constexpr const char* app_id = "org.vormo_kidney.VormoKidney";

// The window caption, which also lists the keys.
inline constexpr const char* caption = "Vormo KidneyShape    Use: SpaceBar + - / * mouse , .      ESC to Quit";

// The client area, the picture surface and every frame: width x height pixels.
inline constexpr int width = 1024;
inline constexpr int height = 768;
inline constexpr int frame_count = 24;

// The picture surface's user scale: 0 at the left and top edges,
// user_width at the right and user_height at the bottom.
inline constexpr float user_width = 14.882806f;
inline constexpr float user_height = 29.84375f;
// The exact single-precision values (the builtin behind std::bit_cast, which
// not every standard library this builds with provides).
static_assert(__builtin_bit_cast(std::uint32_t, user_width) == 0x416E1FF9);
static_assert(__builtin_bit_cast(std::uint32_t, user_height) == 0x41EEC000);

// Paces, the busy-count limit of each tick: at start-up, in mouse-step mode,
// and from the pointer in normal mode (x * pointer_factor * y, user scale).
inline constexpr double startup_pace = 1000000;
inline constexpr double step_mode_pace = 10000;
inline constexpr float pointer_factor = 30.0f;

// Command codes, the values of n.
namespace command {
inline constexpr int stopped = 0;
inline constexpr int run = 1;
inline constexpr int start_backwards = -1;
inline constexpr int start_forwards = 3;
inline constexpr int step_back = -2;
inline constexpr int step_forward = 2;
}  // namespace command

struct Binding {
    char32_t character;
    int command;
};

// The keys the caption lists: "SpaceBar + - / * mouse , .".
inline constexpr std::array<Binding, 7> key_table = {{
    {U'-', command::start_backwards},
    {U'+', command::start_forwards},
    {U',', command::start_forwards},
    {U'/', command::step_back},
    {U'*', command::step_forward},
    {U' ', command::step_forward},
    {U'.', command::step_forward},
}};

// The character that ends the program: ESC, also typed as Ctrl+[.
inline constexpr char32_t escape = 27;

}  // namespace program
