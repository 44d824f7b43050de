#pragma once

// Decoding a frame's JPEG stream with libjpeg-turbo's TurboJPEG API: the
// Linux port's decoder, and the reference the tests and benchmarks match
// every port's pictures against.

#include "frame_set.hpp"
#include "pixels.hpp"

#include <memory>

namespace frames {

class TurboJpeg {
public:
    // Throws std::runtime_error with TurboJPEG's reason if it cannot start.
    TurboJpeg();

    // Decodes one JPEG stream into width x height pixels at out (at least
    // frame_bytes long).  The header is checked before anything is written;
    // a decoder warning counts as a failure.  Throws BadFrameSet naming the
    // holder, with TurboJPEG's reason.
    void decode(Bytes jpeg, PixelLayout layout, std::byte* out, int holder);

private:
    struct Destroy {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, Destroy> handle_;
};

// Decodes every frame of the set into the block: Image<h> into
// block.frame(h).  Throws as TurboJpeg::decode does.
void decode_all(const FrameSet& set, PixelLayout layout, const FrameBlock& block);

}  // namespace frames
