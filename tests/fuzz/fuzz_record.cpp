// Any bytes as one picture record: validation, then decoding of what passes.

#include "frames/frame_set.hpp"
#include "frames/turbojpeg.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static frames::TurboJpeg decoder;
    static std::vector<std::byte> pixels(frames::frame_bytes);
    const frames::Bytes record(reinterpret_cast<const std::byte*>(data), size);
    try {
        const frames::Bytes jpeg = frames::parse_record(record, 7);
        if (jpeg.size() < 4 || jpeg.data() + jpeg.size() > record.data() + size) {
            __builtin_trap();
        }
        decoder.decode(jpeg, frames::PixelLayout::bgrx, pixels.data(), 7);
    } catch (const frames::BadFrameSet& e) {
        if (e.holder() != 7) {
            __builtin_trap();
        }
    }
    return 0;
}
