#include "icons.hpp"

#include "artwork.hpp"
#include "bytes.hpp"
#include "png_writer.hpp"

#include <utility>
#include <vector>

namespace tools {

namespace {

// An icon image as Windows stores it below 256 pixels: a bitmap header
// whose height counts the colour rows and the mask's, the opaque colour
// rows bottom-up as B, G, R, A, and a mask of zero bits (rows of whole
// 32-bit words) that hides nothing.
Bytes icon_bitmap(const Bytes& rgb, int size)
{
    const std::size_t mask_pitch = static_cast<std::size_t>((size + 31) / 32) * 4;
    const std::size_t colour_bytes = static_cast<std::size_t>(size) * size * 4;
    Bytes out;
    put_u32(out, 40);                                  // header size
    put_u32(out, size);                                // width
    put_u32(out, 2 * static_cast<std::size_t>(size));  // height of colour and mask together
    put_u16(out, 1);                                   // planes
    put_u16(out, 32);                                  // bits per pixel
    put_u32(out, 0);                                   // no compression
    put_u32(out, colour_bytes + mask_pitch * size);
    out.resize(out.size() + 16, 0);  // resolution and palette: none
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * size + x) * 3;
            out.insert(out.end(), {rgb[at + 2], rgb[at + 1], rgb[at], 0xFF});
        }
    }
    out.resize(out.size() + mask_pitch * size, 0);
    return out;
}

// A Windows icon file holding the given images (size and the image's
// bytes): a directory of 16-byte entries, then the images as they are.
Bytes icon_file(const std::vector<std::pair<int, Bytes>>& images)
{
    Bytes ico = {0, 0, 1, 0};
    put_u16(ico, images.size());
    std::size_t offset = 6 + 16 * images.size();
    for (const auto& [size, image] : images) {
        const auto side = static_cast<std::uint8_t>(size >= 256 ? 0 : size);  // 0 stands for 256
        ico.insert(ico.end(), {side, side, 0, 0, 1, 0, 32, 0});
        put_u32(ico, image.size());
        put_u32(ico, offset);
        offset += image.size();
    }
    for (const auto& entry : images) {
        ico.insert(ico.end(), entry.second.begin(), entry.second.end());
    }
    return ico;
}

}  // namespace

// The icon at each size: a PNG file of each (the build installs the icon
// theme's sizes among them, and the page's), and the Windows icon of those
// up to 256 pixels, with uncompressed images below 256 and PNG at 256, the
// layout every Windows version reads.
bool write_icons(const std::string& dir, const std::vector<int>& sizes, int maskable_size)
{
    std::vector<std::pair<int, Bytes>> images;
    for (const int size : sizes) {
        const Bytes rgb = draw_icon(size);
        const Bytes png = encode_png(rgb, size, size);
        if (png.empty() || !write_file(dir + "/icon-" + std::to_string(size) + ".png", png)) {
            return false;
        }
        if (size <= 256) {
            images.emplace_back(size, size < 256 ? icon_bitmap(rgb, size) : png);
        }
    }
    if (maskable_size > 0) {
        const Bytes png = encode_png(draw_icon(maskable_size, true), maskable_size, maskable_size);
        if (png.empty() || !write_file(dir + "/icon-maskable-" + std::to_string(maskable_size) + ".png", png)) {
            return false;
        }
    }
    return images.empty() || write_file(dir + "/vormo-kidney.ico", icon_file(images));
}

}  // namespace tools
