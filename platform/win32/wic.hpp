#pragma once

// Decoding a frame's JPEG stream with the Windows Imaging Component's own
// codec, in every Windows since Vista.

#include "frames/frame_set.hpp"

#include <cstddef>
#include <stdexcept>

#include <wincodec.h>
#include <wrl/client.h>

namespace platform::win32 {

// WIC could not be started: what() names the step and carries its HRESULT.
class WicUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Wic {
public:
    // Starts COM on this thread and makes the imaging factory; throws
    // WicUnavailable if either fails.
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
    Microsoft::WRL::ComPtr<IWICImagingFactory> factory_;
};

}  // namespace platform::win32
