#include "png_writer.hpp"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <png.h>

namespace tools {

bool write_png(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height)
{
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        std::fprintf(stderr, "make_frames: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fprintf(stderr, "make_frames: out of memory writing %s\n", path.c_str());
        return false;
    }
    // libpng reports errors by longjmp; nothing with a destructor is created
    // between here and the end of the writing.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fprintf(stderr, "make_frames: cannot write %s\n", path.c_str());
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int r = 0; r < height; ++r) {
        png_write_row(png, &rgb[static_cast<std::size_t>(r) * width * 3]);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace tools
