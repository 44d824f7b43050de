#pragma once

// The image holders Image1 ... Image24: the frame set's JPEG streams, each
// turned into the platform's picture on first request.  The pictures live as
// long as the platform that made them.

#include "frames/frame_set.hpp"
#include "platform/platform.hpp"

#include "common/program.hpp"

#include <array>
#include <optional>

namespace viewer {

class Holders {
public:
    // Validates the frame set (throws frames::BadFrameSet); decodes nothing
    // yet.  The platform must outlive the holders.
    Holders(frames::Bytes frame_set, platform::Platform& platform);

    // The picture of Image<holder>, holder 1..frame_count, decoded by the
    // platform on the first request.  Throws frames::BadFrameSet if its JPEG
    // cannot be decoded.
    platform::Picture picture(int holder);

    // Tells the platform of every holder not decoded yet, so that a decoder
    // that works beside the program can start on them all.
    void expect_rest();

private:
    frames::FrameSet set_;
    platform::Platform& platform_;
    std::array<std::optional<platform::Picture>, program::frame_count> pictures_{};
};

}  // namespace viewer
