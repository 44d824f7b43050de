#pragma once

// Draws one frame of the sequence as 8-bit RGB.

#include <cstdint>
#include <vector>

namespace tools {

// 1024 x 768 pixels, 3 bytes each, row-major, top row first.
std::vector<std::uint8_t> draw_frame(int slot);

}  // namespace tools
