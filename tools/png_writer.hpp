#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tools {

// Encodes 8-bit RGB as a PNG file's bytes; empty (after a message on
// stderr) if libpng fails.
std::vector<std::uint8_t> encode_png(const std::vector<std::uint8_t>& rgb, int width, int height);

// Writes 8-bit RGB as a PNG file; returns false (after a message on stderr)
// if it cannot be encoded or the file cannot be written.
bool write_png(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height);

}  // namespace tools
