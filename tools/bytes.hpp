#pragma once

// The generator's byte buffers: little-endian fields, and writing a buffer
// or a text to a file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

using Bytes = std::vector<std::uint8_t>;

inline void put_u16(Bytes& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void put_u32(Bytes& out, std::size_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// Writes the bytes to the file; false (after a message on stderr) if it
// cannot.
bool write_file(const std::string& path, std::string_view bytes);
inline bool write_file(const std::string& path, const Bytes& bytes)
{
    return write_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace tools
