#include "holders.hpp"

namespace viewer {

Holders::Holders(frames::Bytes frame_set, platform::Platform& platform)
    : set_(frames::parse_frame_set(frame_set)), platform_(platform)
{
}

platform::Picture Holders::picture(int holder)
{
    std::optional<platform::Picture>& p = pictures_.at(static_cast<std::size_t>(holder - 1));
    if (!p) {
        p = platform_.decode(set_.jpeg[static_cast<std::size_t>(holder - 1)], holder);
    }
    return *p;
}

void Holders::expect_rest()
{
    for (int holder = 1; holder <= program::frame_count; ++holder) {
        if (!pictures_[static_cast<std::size_t>(holder - 1)]) {
            platform_.expect(set_.jpeg[static_cast<std::size_t>(holder - 1)], holder);
        }
    }
}

}  // namespace viewer
