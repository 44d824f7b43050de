#include "frame_set_writer.hpp"

#include "common/program.hpp"
#include "frames/format.hpp"

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

namespace tools {

namespace {

namespace format = frames::format;

// The holders are stored in this fixed order, which starts with Image24 and
// is deliberately not the slot order: the loader must go by holder number.
constexpr std::array<int, program::frame_count> storage_order = {24, 7,  15, 2,  19, 11, 4, 22, 9, 1,  17, 13,
                                                                 6,  20, 3,  14, 23, 10, 5, 18, 8, 16, 12, 21};

// Image14's record carries this much data after its end marker: 252 zero
// bytes and a second end marker.  The loader must stop at the first one.
constexpr int trailing_holder = 14;
constexpr int trailing_size = 254;

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

}  // namespace

Bytes frame_set(const std::vector<Bytes>& jpegs)
{
    Bytes set;
    for (const int holder : storage_order) {
        put_holder(set, holder, jpegs[static_cast<std::size_t>(holder - 1)]);
    }
    return set;
}

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

}  // namespace tools
