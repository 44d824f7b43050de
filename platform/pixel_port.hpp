#pragma once

// What the ports that draw from their own memory share: every frame decoded
// by the port's own codec into one block, each into its holder's slot, and a
// picture shown by handing its pixels to the port.

#include "platform/platform.hpp"

#include "frames/pixels.hpp"

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace platform {

class PixelPort : public Platform {
public:
    Picture decode(frames::Bytes jpeg, int holder) final
    {
        std::byte* out = slot(holder);
        bool& decoded = decoded_[static_cast<std::size_t>(holder - 1)];
        decoded = false;
        decode_into(jpeg, out, holder);
        decoded = true;
        return Picture{holder};
    }

    void show(Picture picture) final
    {
        const std::byte* pixels = slot(picture.holder);  // checks the holder's number first
        if (!decoded_[static_cast<std::size_t>(picture.holder - 1)]) {
            throw std::logic_error("a picture that was never decoded");
        }
        show_pixels(pixels);
    }

protected:
    // Decodes one JPEG stream with the port's codec into width x height
    // pixels at out (frames::frame_bytes long, its pages not yet touched),
    // in the layout show_pixels() takes.  Throws frames::BadFrameSet naming
    // the holder.
    virtual void decode_into(frames::Bytes jpeg, std::byte* out, int holder) = 0;

    // Shows one decoded frame on the picture surface, as show() does.
    virtual void show_pixels(const std::byte* pixels) = 0;

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
