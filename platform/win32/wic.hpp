#pragma once

// Decoding a frame's JPEG stream with the Windows Imaging Component's own
// codec, in every Windows since Vista.

#include "frames/frame_set.hpp"

#include <cstddef>

struct IWICImagingFactory;

namespace platform::win32 {

class Wic {
public:
    // Starts COM on this thread and makes the imaging factory; a failure
    // shows in the first decode.
    Wic();
    ~Wic();
    Wic(const Wic&) = delete;
    Wic& operator=(const Wic&) = delete;

    // Decodes one JPEG stream into width x height pixels of B, G, R, X bytes
    // at out (at least frames::frame_bytes long).  Throws frames::BadFrameSet
    // naming the holder.
    void decode(frames::Bytes jpeg, std::byte* out, int holder);

private:
    bool com_started_ = false;
    IWICImagingFactory* factory_ = nullptr;
};

}  // namespace platform::win32
