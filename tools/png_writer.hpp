#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tools {

// Writes 8-bit RGB as a PNG file; returns false (after a message on stderr)
// if the file cannot be written.
bool write_png(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height);

}  // namespace tools
