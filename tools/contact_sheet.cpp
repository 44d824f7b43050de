#include "contact_sheet.hpp"

#include "common/program.hpp"

namespace tools {

namespace {

// Channel c of the factor x factor block of the frame whose top-left pixel
// is (left, top), averaged.
std::uint8_t block_average(const Bytes& frame, int left, int top, int factor, int c)
{
    int sum = 0;
    for (int dy = 0; dy < factor; ++dy) {
        for (int dx = 0; dx < factor; ++dx) {
            const std::size_t at = static_cast<std::size_t>(top + dy) * program::width + left + dx;
            sum += frame[at * 3 + c];
        }
    }
    return static_cast<std::uint8_t>(sum / (factor * factor));
}

}  // namespace

Bytes contact_sheet(const std::vector<Bytes>& frames, int& width, int& height)
{
    constexpr int scale = 4;
    constexpr int columns = 6;
    constexpr int tile_w = program::width / scale;
    constexpr int tile_h = program::height / scale;
    width = columns * tile_w;
    height = (program::frame_count / columns) * tile_h;
    Bytes sheet(static_cast<std::size_t>(width) * height * 3);
    for (int s = 0; s < program::frame_count; ++s) {
        const int ox = (s % columns) * tile_w;
        const int oy = (s / columns) * tile_h;
        for (int y = 0; y < tile_h; ++y) {
            for (int x = 0; x < tile_w; ++x) {
                for (int c = 0; c < 3; ++c) {
                    sheet[(static_cast<std::size_t>(oy + y) * width + ox + x) * 3 + c] =
                        block_average(frames[s], x * scale, y * scale, scale, c);
                }
            }
        }
    }
    return sheet;
}

}  // namespace tools
