#pragma once

// The mouse over the picture surface: pace, mouse-step mode, stepping.

#include "viewer/state.hpp"

namespace controls {

// A single click toggles mouse-step mode.  Switching it on saves n, mm and m;
// switching it off puts them back.  l and k are not restored.
void on_click(viewer::State& s);

// A pointer move at (x, y) in the surface's user scale.  In normal mode the
// pace becomes x * 30 * y in single precision; in mouse-step mode the pace
// becomes program::step_mode_pace and the move requests a step: forwards when y is at
// or below the previous move's y, backwards when above.  A touch that lands
// is a move in normal mode; in mouse-step mode it only sets the y its
// movement is measured from.
void on_mouse_move(viewer::State& s, float x, float y, bool lands = false);

}  // namespace controls
