#pragma once

// Decoded frames as the native ports and the test tools keep them: 32-bit
// pixels, rows of one frame width, in one page-aligned block for all frames.

#include "common/program.hpp"

#include <cstddef>
#include <cstdint>

namespace frames {

// The byte order of a 32-bit pixel in memory, named from the lowest address
// up; X is an unused byte.  A display picks the one it shows without
// converting.
enum class PixelLayout : std::uint8_t { bgrx, rgbx, xbgr, xrgb };

inline constexpr std::size_t bytes_per_pixel = 4;
inline constexpr std::size_t frame_pitch = program::width * bytes_per_pixel;
inline constexpr std::size_t frame_bytes = frame_pitch * program::height;

// Memory for all the decoded frames, one after the other, each starting on
// a page.  Allocated, not touched: a frame's pages are first touched when it
// is decoded.
class FrameBlock {
public:
    static constexpr std::size_t page = 4096;
    static_assert(frame_bytes % page == 0, "every frame starts on a page");

    FrameBlock();
    ~FrameBlock();
    FrameBlock(const FrameBlock&) = delete;
    FrameBlock& operator=(const FrameBlock&) = delete;

    // The frame_bytes of Image<holder>'s picture, holder 1..frame_count.
    std::byte* frame(int holder) const { return bytes_ + frame_bytes * static_cast<std::size_t>(holder - 1); }

private:
    std::byte* bytes_;
};

}  // namespace frames
