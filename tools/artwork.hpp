#pragma once

// Draws one frame of the sequence, and the program's icon, as 8-bit RGB.

#include <cstdint>
#include <vector>

namespace tools {

// 1024 x 768 pixels, 3 bytes each, row-major, top row first.
std::vector<std::uint8_t> draw_frame(int slot);

// The icon: the first frame's central square, size x size pixels, drawn at
// that size rather than shrunk, with the bar kept at least two pixels thick;
// a maskable one keeps the square inside the circle a launcher may crop it to.
std::vector<std::uint8_t> draw_icon(int size, bool maskable = false);

}  // namespace tools
