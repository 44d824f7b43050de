#pragma once

// Typed characters to command codes.

#include "viewer/state.hpp"

namespace controls {

enum class Outcome { carry_on, quit };

// Handles one typed character: ESC asks to quit; a character in the table
// sets n, replacing any command the loop has not seen yet; anything else is
// ignored.
Outcome on_character(viewer::State& s, char32_t code);

}  // namespace controls
