#pragma once

// The byte layout of the embedded frame set, shared by the generator that
// writes it and the loader that reads it.  frame_set.hpp describes it.

#include "common/program.hpp"

#include <cstddef>
#include <cstdint>

namespace frames::format {

// Property codes inside a holder's description.
inline constexpr std::uint8_t end_of_description = 0x00;
inline constexpr std::uint8_t holder_number = 0x01;  // followed by 1 byte: 1..24
inline constexpr std::uint8_t picture = 0x02;        // followed by u32 length, then the record

// A picture record: magic, u32 N, then N bytes of JPEG.
inline constexpr std::uint8_t record_magic[4] = {0x6C, 0x74, 0x00, 0x00};
inline constexpr std::size_t record_header_size = 8;

}  // namespace frames::format
