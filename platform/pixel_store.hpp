#pragma once

// The pictures of a port that draws from its own memory: all frames decoded
// into one block, each into its holder's slot, by the port's own codec.

#include "platform/platform.hpp"

#include "frames/pixels.hpp"

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace platform {

class PixelStore {
public:
    // Decodes Image<holder>'s stream into its slot: codec(jpeg, out, holder)
    // writes frames::frame_bytes at out, or throws frames::BadFrameSet.
    template <typename Codec> Picture decode(frames::Bytes jpeg, int holder, Codec&& codec)
    {
        std::byte* out = slot(holder);
        decoded_[static_cast<std::size_t>(holder - 1)] = false;
        codec(jpeg, out, holder);
        decoded_[static_cast<std::size_t>(holder - 1)] = true;
        return Picture{holder};
    }

    // The pixels of a picture this store decoded.
    const std::byte* pixels(Picture picture) const
    {
        const std::byte* p = slot(picture.holder);
        if (!decoded_[static_cast<std::size_t>(picture.holder - 1)]) {
            throw std::logic_error("a picture that was never decoded");
        }
        return p;
    }

private:
    std::byte* slot(int holder) const
    {
        if (holder < 1 || holder > program::frame_count) {
            throw std::out_of_range("no holder " + std::to_string(holder));
        }
        return block_.frame(holder);
    }

    frames::FrameBlock block_;
    std::array<bool, program::frame_count> decoded_{};
};

}  // namespace platform
