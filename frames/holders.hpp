#pragma once

// The image holders Image1 ... Image24: they own the 24 decoded frame
// pictures for as long as the program runs.

#include "frame_set.hpp"

#include "common/program.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace frames {

inline constexpr int frame_width = program::width;
inline constexpr int frame_height = program::height;

// The byte order of a 32-bit pixel in memory, named from the lowest address
// up; X is an unused byte.  The display picks it so that showing a picture is
// a plain copy.
enum class PixelLayout : std::uint8_t { bgrx, rgbx, xbgr, xrgb };

inline constexpr std::size_t bytes_per_pixel = 4;
inline constexpr std::size_t frame_pitch = frame_width * bytes_per_pixel;
inline constexpr std::size_t frame_bytes = frame_pitch * frame_height;

// One decoded frame: frame_width x frame_height pixels in the holders'
// layout, rows frame_pitch bytes apart.  Owned by its holder; shared by
// reference, never copied.
struct Picture {
    const std::byte* pixels = nullptr;
    PixelLayout layout = PixelLayout::bgrx;
};

// A JPEG decoder for frames; one is reused for all 24.
class Decoder {
public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Decodes one JPEG stream into frame_width x frame_height pixels at out
    // (at least frame_bytes long).  The header is checked before anything is
    // written; a decoder warning counts as a failure.  Throws BadFrameSet
    // naming the holder.
    void decode(Bytes jpeg, PixelLayout layout, std::byte* out, int holder);

private:
    void* handle_;
};

class Holders {
public:
    // Validates the frame set (throws BadFrameSet) and reserves memory for
    // all 24 pictures; decodes nothing yet.
    Holders(Bytes frame_set, PixelLayout layout);
    ~Holders();
    Holders(const Holders&) = delete;
    Holders& operator=(const Holders&) = delete;

    // The picture of Image<holder>, holder 1..24, decoded on the first
    // request.  Throws BadFrameSet if its JPEG cannot be decoded.  The
    // reference stays valid as long as the holders live.
    const Picture& picture(int holder);

private:
    struct Block;

    FrameSet set_;
    PixelLayout layout_;
    std::unique_ptr<Block> block_;
    Decoder decoder_;
    std::array<Picture, holder_count> pictures_{};
};

}  // namespace frames
