#pragma once

// Typed characters to command codes.

#include "viewer/state.hpp"

#include <array>

namespace controls {

struct Binding {
    char32_t character;
    int command;
};

// The keys the caption lists: "SpaceBar + - / * mouse , .".
inline constexpr std::array<Binding, 7> key_table = {{
    {U'-', viewer::command::start_backwards},
    {U'+', viewer::command::start_forwards},
    {U',', viewer::command::start_forwards},
    {U'/', viewer::command::step_back},
    {U'*', viewer::command::step_forward},
    {U' ', viewer::command::step_forward},
    {U'.', viewer::command::step_forward},
}};

inline constexpr char32_t escape = 27;

enum class Outcome { carry_on, quit };

// Handles one typed character: ESC asks to quit; a character in the table
// sets n, replacing any command the loop has not seen yet; anything else is
// ignored.
Outcome on_character(viewer::State& s, char32_t code);

}  // namespace controls
