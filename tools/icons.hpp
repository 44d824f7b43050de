#pragma once

// The program's icon at each size it is shown at: PNG files for the icon
// theme, and the Windows icon.

#include <string>
#include <vector>

namespace tools {

// Writes DIR/icon-SIZE.png for each size (1 to 256 pixels) and
// DIR/vormo-kidney.ico; false (after a message on stderr) on failure.
bool write_icons(const std::string& dir, const std::vector<int>& sizes);

}  // namespace tools
