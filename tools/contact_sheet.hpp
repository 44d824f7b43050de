#pragma once

// All 24 frames on one picture, a quarter of their size each, six to a row.

#include "bytes.hpp"

#include <vector>

namespace tools {

// The sheet as 8-bit RGB, from the frames as draw_frame() makes them; its
// size goes to width and height.
Bytes contact_sheet(const std::vector<Bytes>& frames, int& width, int& height);

}  // namespace tools
