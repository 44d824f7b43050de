#include "holders.hpp"

#include <cstdlib>
#include <new>

#include <sys/mman.h>
#include <turbojpeg.h>

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

Decoder::Decoder() : handle_(tjInitDecompress())
{
}

Decoder::~Decoder()
{
    if (handle_) {
        tjDestroy(handle_);
    }
}

void Decoder::decode(Bytes jpeg, PixelLayout layout, std::byte* out, int holder)
{
    tjhandle handle = handle_;
    if (!handle) {
        throw BadFrameSet(Problem::undecodable, holder);
    }
    // TurboJPEG takes non-const input but only reads it.
    auto* data = reinterpret_cast<unsigned char*>(const_cast<std::byte*>(jpeg.data()));
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle, data, size, &width, &height, &subsampling, &colorspace) != 0) {
        throw BadFrameSet(Problem::undecodable, holder);
    }
    if (width != frame_width || height != frame_height) {
        throw BadFrameSet(Problem::wrong_size, holder);
    }
    // Truncated or corrupt data only draws a warning from libjpeg and would
    // give a partly grey frame; stop on it and treat it as the error it is.
    if (tjDecompress2(handle, data, size, reinterpret_cast<unsigned char*>(out), frame_width, frame_pitch, frame_height,
                      turbojpeg_format(layout), TJFLAG_STOPONWARNING) != 0) {
        throw BadFrameSet(Problem::undecodable, holder);
    }
}

// All 24 pictures live in one page-aligned block, touched only as each frame
// is decoded into it.  No huge-page advice: on virtual machines that hand
// free memory back to their host, huge pages come from memory the host has
// to supply afresh, and touching 72 MiB that way took 100-190 ms against
// 20-35 ms in ordinary pages.
struct Holders::Block {
    static constexpr std::size_t alignment = 4096;
    static constexpr std::size_t size = (frame_bytes * holder_count + alignment - 1) / alignment * alignment;

    Block() : bytes(static_cast<std::byte*>(std::aligned_alloc(alignment, size)))
    {
        if (!bytes) {
            throw std::bad_alloc();
        }
    }
    ~Block() { std::free(bytes); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    std::byte* bytes;
};

Holders::Holders(Bytes frame_set, PixelLayout layout)
    : set_(parse_frame_set(frame_set)), layout_(layout), block_(std::make_unique<Block>())
{
}

Holders::~Holders() = default;

const Picture& Holders::picture(int holder)
{
    Picture& p = pictures_.at(static_cast<std::size_t>(holder - 1));
    if (!p.pixels) {
        std::byte* out = block_->bytes + frame_bytes * static_cast<std::size_t>(holder - 1);
        // Fault the frame's pages in with one call rather than one fault at a
        // time as the decoder writes: binding the 23 later frames takes a
        // fifth less.  Only advice; older kernels refuse it and the decoder
        // then faults the pages in itself.
        static_assert(frame_bytes % Block::alignment == 0, "every frame starts on a page");
        madvise(out, frame_bytes, MADV_POPULATE_WRITE);
        decoder_.decode(set_.jpeg[holder - 1], layout_, out, holder);
        p = Picture{out, layout_};
    }
    return p;
}

}  // namespace frames
