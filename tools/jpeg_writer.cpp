#include "jpeg_writer.hpp"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace tools {

namespace {

// libjpeg's default handler calls exit() without saying which tool failed;
// this is a build step, so a message and a failed build are all we need.
void fail(j_common_ptr info)
{
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    std::fprintf(stderr, "make_frames: JPEG encoding failed: %s\n", message);
    std::exit(1);
}

}  // namespace

std::vector<std::uint8_t> encode_jpeg(const std::vector<std::uint8_t>& rgb, int width, int height)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = fail;
    jpeg_create_compress(&info);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);

    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);  // 4:2:0, standard Huffman tables, JFIF 1.01
    jpeg_set_quality(&info, 75, TRUE);
    info.density_unit = 1;  // dots per inch
    info.X_density = 96;
    info.Y_density = 96;

    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        // libjpeg takes non-const rows but only reads them.
        auto* row = const_cast<JSAMPLE*>(&rgb[static_cast<std::size_t>(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);

    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

}  // namespace tools
