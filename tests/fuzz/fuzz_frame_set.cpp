// Any bytes as a whole frame set: the parser either finds all 24 holders'
// streams inside the input or throws its error, nothing else.

#include "frames/frame_set.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const frames::Bytes input(reinterpret_cast<const std::byte*>(data), size);
    try {
        const frames::FrameSet set = frames::parse_frame_set(input);
        for (const frames::Bytes& jpeg : set.jpeg) {
            // A stream is never empty and always lies inside the input.
            if (jpeg.size() < 4 || jpeg.data() < input.data() || jpeg.data() + jpeg.size() > input.data() + size) {
                __builtin_trap();
            }
        }
    } catch (const frames::BadFrameSet& e) {
        if (e.what()[0] == '\0') {
            __builtin_trap();
        }
    }
    return 0;
}
