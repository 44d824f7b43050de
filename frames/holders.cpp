#include "holders.hpp"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace frames {

// All 24 pictures live in one page-aligned block, touched only as each frame
// is decoded into it.  No huge-page advice: on virtual machines that hand
// free memory back to their host, huge pages come from memory the host has
// to supply afresh, and touching 72 MiB that way took 100-190 ms against
// 20-35 ms in ordinary pages.
struct Holders::Block {
    static constexpr std::size_t alignment = 4096;
    static constexpr std::size_t size = (frame_bytes * holder_count + alignment - 1) / alignment * alignment;

    Block() : bytes(static_cast<std::byte*>(::operator new (size, std::align_val_t{alignment}))) {}
    ~Block() { ::operator delete (bytes, std::align_val_t{alignment}); }
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
#if defined(__linux__)
        madvise(out, frame_bytes, MADV_POPULATE_WRITE);
#endif
        decoder_.decode(set_.jpeg[holder - 1], layout_, out, holder);
        p = Picture{out, layout_};
    }
    return p;
}

}  // namespace frames
