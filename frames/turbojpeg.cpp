#include "turbojpeg.hpp"

#include <turbojpeg.h>

#include <stdexcept>
#include <string>

namespace frames {

namespace {

int turbojpeg_format(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::bgrx: return TJPF_BGRX;
    case PixelLayout::rgbx: return TJPF_RGBX;
    case PixelLayout::xbgr: return TJPF_XBGR;
    case PixelLayout::xrgb: return TJPF_XRGB;
    }
    return TJPF_BGRX;
}

}  // namespace

void TurboJpeg::Destroy::operator()(void* handle) const
{
    tjDestroy(handle);
}

TurboJpeg::TurboJpeg() : handle_(tjInitDecompress())
{
    if (!handle_) {
        throw std::runtime_error(std::string("cannot start the JPEG decoder: ") + tjGetErrorStr2(nullptr));
    }
}

void TurboJpeg::decode(Bytes jpeg, PixelLayout layout, std::byte* out, int holder)
{
    tjhandle handle = handle_.get();
    // TurboJPEG takes non-const input but only reads it.
    auto* data = reinterpret_cast<unsigned char*>(const_cast<std::byte*>(jpeg.data()));
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle, data, size, &width, &height, &subsampling, &colorspace) != 0) {
        throw BadFrameSet(Problem::undecodable, holder, tjGetErrorStr2(handle));
    }
    if (width != program::width || height != program::height) {
        throw BadFrameSet(Problem::wrong_size, holder);
    }
    // Truncated or corrupt data only draws a warning from libjpeg and would
    // give a partly grey frame; stop on it and treat it as the error it is.
    if (tjDecompress2(handle, data, size, reinterpret_cast<unsigned char*>(out), program::width, frame_pitch,
                      program::height, turbojpeg_format(layout), TJFLAG_STOPONWARNING) != 0) {
        throw BadFrameSet(Problem::undecodable, holder, tjGetErrorStr2(handle));
    }
}

void decode_all(const FrameSet& set, PixelLayout layout, const FrameBlock& block)
{
    TurboJpeg decoder;
    for (int h = 1; h <= program::frame_count; ++h) {
        decoder.decode(set.jpeg[static_cast<std::size_t>(h - 1)], layout, block.frame(h), h);
    }
}

}  // namespace frames
