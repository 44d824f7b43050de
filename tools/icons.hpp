#pragma once

// The program's icon at each size it is shown at: PNG files for the icon
// theme and the page, and the Windows icon.

#include <string>
#include <vector>

namespace tools {

// Writes DIR/icon-SIZE.png for each size (1 to 1024 pixels),
// DIR/vormo-kidney.ico of those up to 256, and, for a maskable size above
// 0, DIR/icon-maskable-SIZE.png; false (after a message on stderr) on
// failure.
bool write_icons(const std::string& dir, const std::vector<int>& sizes, int maskable_size);

}  // namespace tools
