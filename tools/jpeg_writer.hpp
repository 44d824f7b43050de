#pragma once

#include <cstdint>
#include <vector>

namespace tools {

// Encodes 8-bit RGB as a baseline JFIF 1.01 JPEG: quality 75 with the standard
// tables, 4:2:0, standard Huffman tables, 96 x 96 dpi, no other segments.
// Exits the process with a message if libjpeg reports an error.
std::vector<std::uint8_t> encode_jpeg(const std::vector<std::uint8_t>& rgb, int width, int height);

}  // namespace tools
