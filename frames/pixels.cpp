#include "pixels.hpp"

#include <new>

namespace frames {

// No huge-page advice: on virtual machines that hand free memory back to
// their host, huge pages come from memory the host has to supply afresh, and
// touching 72 MiB that way took 100-190 ms against 20-35 ms in ordinary
// pages.
FrameBlock::FrameBlock()
    : bytes_(static_cast<std::byte*>(::operator new (frame_bytes* program::frame_count, std::align_val_t{page})))
{
}

FrameBlock::~FrameBlock()
{
    ::operator delete (bytes_, std::align_val_t{page});
}

}  // namespace frames
