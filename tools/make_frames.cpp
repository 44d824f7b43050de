// Draws the 24 frames, encodes them and writes the embedded frame set.
//
//   make_frames <frame-set.bin> <frame-set.S.in> <frame-set.S> [--jpeg-dir DIR]
//               [--contact-sheet FILE.png] [--icon-dir DIR] [--values FILE.json]
//
// The .S file, made from the template, pulls the .bin into the executable's
// read-only data as the symbols vormo_frame_set and vormo_frame_set_size.
// --values writes the program's fixed values as JSON.  --jpeg-dir also writes
// each frame as DIR/slot-NN.jpg; --contact-sheet writes all 24 at a quarter
// of their size on one PNG; --icon-dir writes the program's icon, slot 0's
// central square drawn at each size, as DIR/icon-SIZE.png for the icon
// theme and as DIR/vormo-kidney.ico for Windows.

#include "artwork.hpp"
#include "jpeg_writer.hpp"
#include "mechanism.hpp"
#include "png_writer.hpp"

#include "frames/format.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace format = frames::format;

// The holders are stored in this fixed order, which starts with Image24 and
// is deliberately not the slot order: the loader must go by holder number.
constexpr std::array<int, program::frame_count> storage_order = {24, 7,  15, 2,  19, 11, 4, 22, 9, 1,  17, 13,
                                                                 6,  20, 3,  14, 23, 10, 5, 18, 8, 16, 12, 21};

// Image14's record carries this much data after its end marker: 252 zero
// bytes and a second end marker.  The loader must stop at the first one.
constexpr int trailing_holder = 14;
constexpr int trailing_size = 254;

void put_u32(Bytes& out, std::size_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void put_holder(Bytes& out, int holder, const Bytes& jpeg)
{
    Bytes data = jpeg;
    if (holder == trailing_holder) {
        data.insert(data.end(), trailing_size - 2, 0x00);
        data.push_back(0xFF);
        data.push_back(0xD9);
    }
    out.push_back(format::holder_number);
    out.push_back(static_cast<std::uint8_t>(holder));
    out.push_back(format::picture);
    put_u32(out, data.size() + format::record_header_size);
    out.insert(out.end(), std::begin(format::record_magic), std::end(format::record_magic));
    put_u32(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(format::end_of_description);
}

bool write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_frames: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// The assembler source that pulls the frame set into the program: the
// template with the set's path, size and holder count filled in.
bool write_assembler(const std::string& template_path, const std::string& out_path, const std::string& bin_path,
                     std::size_t size)
{
    std::ifstream in(template_path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        std::fprintf(stderr, "make_frames: cannot read %s\n", template_path.c_str());
        return false;
    }
    const std::pair<std::string, std::string> fills[] = {{"@FRAME_SET_BIN@", bin_path},
                                                         {"@FRAME_SET_SIZE@", std::to_string(size)},
                                                         {"@FRAME_COUNT@", std::to_string(program::frame_count)}};
    for (const auto& [name, value] : fills) {
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
            text.replace(at, name.size(), value);
        }
    }
    return write_file(out_path, text);
}

// A JSON string: the text in quotes, with quotes, backslashes and control
// characters escaped.
std::string json_string(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The program's fixed values as JSON, for what is not C++: the page and its
// tests.
std::string program_values()
{
    const auto number = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", v);
        return std::string(text);
    };
    std::ostringstream out;
    out << "{\n";
    out << "  \"name\": " << json_string(program::name) << ",\n";
    out << "  \"caption\": " << json_string(program::caption) << ",\n";
    out << "  \"width\": " << program::width << ",\n";
    out << "  \"height\": " << program::height << ",\n";
    out << "  \"frame_count\": " << program::frame_count << ",\n";
    out << "  \"user_width\": " << number(program::user_width) << ",\n";
    out << "  \"user_height\": " << number(program::user_height) << ",\n";
    out << "  \"startup_pace\": " << number(program::startup_pace) << ",\n";
    out << "  \"step_mode_pace\": " << number(program::step_mode_pace) << ",\n";
    out << "  \"pointer_factor\": " << number(program::pointer_factor) << ",\n";
    out << "  \"escape\": " << static_cast<unsigned>(program::escape) << ",\n";
    out << "  \"keys\": [";
    const char* separator = "\n";
    for (const program::Binding& b : program::key_table) {
        // All the keys are ASCII characters.
        out << separator << "    {\"character\": " << json_string(std::string(1, static_cast<char>(b.character)))
            << ", \"command\": " << b.command << "}";
        separator = ",\n";
    }
    out << "\n  ]\n}\n";
    return out.str();
}

// The icon's sizes: those Windows asks for at 100 % to 250 % (title bar,
// taskbar, Alt+Tab, Explorer's views), which include the icon theme's.
constexpr std::array<int, 8> icon_sizes = {16, 20, 24, 32, 40, 48, 64, 256};

void put_u16(Bytes& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

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

// The icon at each size: a PNG file of each (the build installs the icon
// theme's sizes among them), and the Windows icon, with uncompressed images
// below 256 pixels and PNG at 256, the layout every Windows version reads.
bool write_icons(const std::string& dir)
{
    std::vector<std::pair<int, Bytes>> images;
    for (const int size : icon_sizes) {
        const Bytes rgb = tools::draw_icon(size);
        const Bytes png = tools::encode_png(rgb, size, size);
        if (png.empty()) {
            return false;
        }
        if (!write_file(dir + "/icon-" + std::to_string(size) + ".png", std::string(png.begin(), png.end()))) {
            return false;
        }
        images.emplace_back(size, size < 256 ? icon_bitmap(rgb, size) : png);
    }
    const Bytes ico = icon_file(images);
    return write_file(dir + "/vormo-kidney.ico", std::string(ico.begin(), ico.end()));
}

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

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string jpeg_dir;
    std::string sheet_path;
    std::string icon_dir;
    std::string values_path;
    std::vector<std::string> outputs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--jpeg-dir" && i + 1 < args.size()) {
            jpeg_dir = args[++i];
        } else if (args[i] == "--contact-sheet" && i + 1 < args.size()) {
            sheet_path = args[++i];
        } else if (args[i] == "--icon-dir" && i + 1 < args.size()) {
            icon_dir = args[++i];
        } else if (args[i] == "--values" && i + 1 < args.size()) {
            values_path = args[++i];
        } else {
            outputs.push_back(args[i]);
        }
    }
    if (outputs.size() != 3) {
        std::fprintf(stderr, "usage: make_frames <frame-set.bin> <frame-set.S.in> <frame-set.S> [--jpeg-dir DIR]"
                             " [--contact-sheet FILE.png] [--icon-dir DIR] [--values FILE.json]\n");
        return 2;
    }

    std::vector<Bytes> pictures;
    std::vector<Bytes> jpegs;
    for (int slot = 0; slot < program::frame_count; ++slot) {
        pictures.push_back(tools::draw_frame(slot));
        jpegs.push_back(tools::encode_jpeg(pictures.back(), program::width, program::height));
    }

    Bytes set;
    for (const int holder : storage_order) {
        put_holder(set, holder, jpegs[holder - 1]);
    }
    {
        std::ofstream out(outputs[0], std::ios::binary);
        out.write(reinterpret_cast<const char*>(set.data()), static_cast<std::streamsize>(set.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "make_frames: cannot write %s\n", outputs[0].c_str());
            return 1;
        }
    }
    if (!write_assembler(outputs[1], outputs[2], outputs[0], set.size())) {
        return 1;
    }
    if (!values_path.empty() && !write_file(values_path, program_values())) {
        return 1;
    }

    if (!jpeg_dir.empty()) {
        for (int slot = 0; slot < program::frame_count; ++slot) {
            char name[32];
            std::snprintf(name, sizeof name, "/slot-%02d.jpg", slot);
            const std::string path = jpeg_dir + name;
            if (!write_file(path, std::string(jpegs[slot].begin(), jpegs[slot].end()))) {
                return 1;
            }
        }
    }
    if (!sheet_path.empty()) {
        int width = 0;
        int height = 0;
        const Bytes sheet = contact_sheet(pictures, width, height);
        if (!tools::write_png(sheet_path, sheet, width, height)) {
            return 1;
        }
    }
    if (!icon_dir.empty() && !write_icons(icon_dir)) {
        return 1;
    }
    return 0;
}
