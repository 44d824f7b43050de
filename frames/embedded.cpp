#include "embedded.hpp"

#include <cstdint>

// Defined by the generated assembler source that includes the frame set.
extern "C" const std::byte vormo_frame_set[];
extern "C" const std::uint64_t vormo_frame_set_size;

namespace frames {

Bytes embedded_frame_set()
{
    return {vormo_frame_set, static_cast<std::size_t>(vormo_frame_set_size)};
}

}  // namespace frames
