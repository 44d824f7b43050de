#include "png_writer.hpp"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <png.h>

namespace tools {

namespace {

void append(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

}  // namespace

std::vector<std::uint8_t> encode_png(const std::vector<std::uint8_t>& rgb, int width, int height)
{
    std::vector<std::uint8_t> bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fprintf(stderr, "make_frames: out of memory encoding a PNG\n");
        return {};
    }
    // libpng reports errors by longjmp; nothing with a destructor is created
    // between here and the end of the encoding.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fprintf(stderr, "make_frames: cannot encode a PNG\n");
        return {};
    }
    png_set_write_fn(png, &bytes, append, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int r = 0; r < height; ++r) {
        png_write_row(png, &rgb[static_cast<std::size_t>(r) * width * 3]);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

bool write_png(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height)
{
    const std::vector<std::uint8_t> bytes = encode_png(rgb, width, height);
    if (bytes.empty()) {
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_frames: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace tools
