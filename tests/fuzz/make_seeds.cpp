// Writes the fuzzers' starting inputs: the embedded frame set, a small valid
// set, and broken variants of both; single records from the embedded set.
//
//   make_fuzz_seeds <frame-set-dir> <record-dir>

#include "frames/embedded.hpp"
#include "frames/frame_set.hpp"
#include "frame_set_builder.hpp"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using testing_support::Buffer;

using testing_support::description;
using testing_support::record;

bool write(const std::string& path, const Buffer& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Buffer copy(frames::Bytes b)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(b.data());
    return Buffer(p, p + b.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <frame-set-dir> <record-dir>\n");
        return 2;
    }
    const std::string sets = argv[1];
    const std::string records = argv[2];
    const frames::Bytes embedded = frames::embedded_frame_set();
    const frames::FrameSet parsed = frames::parse_frame_set(embedded);
    bool ok = write(sets + "/embedded", copy(embedded));

    // A small valid set: each stream a start marker, one comment segment, a
    // scan header with two bytes of data (one stuffed FF), and an end marker.
    Buffer small;
    for (int h = program::frame_count; h >= 1; --h) {
        const Buffer jpeg = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x03, static_cast<std::uint8_t>(h),
                             0xFF, 0xDA, 0x00, 0x02, 0x12, 0xFF, 0x00,
                             0xFF, 0xD0, 0x34, 0xFF, 0xD9};
        const Buffer d = description(h, record(jpeg));
        small.insert(small.end(), d.begin(), d.end());
    }
    ok = write(sets + "/small", small) && ok;
    ok = write(sets + "/small-truncated", Buffer(small.begin(), small.begin() + 200)) && ok;
    Buffer duplicated = small;
    duplicated[1] = 23;
    ok = write(sets + "/small-duplicate", duplicated) && ok;

    for (const int h : {1, 14}) {
        const frames::Bytes jpeg = parsed.jpeg[h - 1];
        // The record as stored, trailing bytes included for Image14.
        const auto* start = reinterpret_cast<const std::uint8_t*>(jpeg.data()) - 8;
        std::uint32_t n = 0;
        for (int i = 0; i < 4; ++i) {
            n |= static_cast<std::uint32_t>(start[4 + i]) << (8 * i);
        }
        const Buffer rec(start, start + 8 + n);
        ok = write(records + "/image" + std::to_string(h), rec) && ok;
        ok = write(records + "/image" + std::to_string(h) + "-cut",
                   record(Buffer(rec.begin() + 8, rec.begin() + 8 + static_cast<std::ptrdiff_t>(n / 3)))) &&
             ok;
    }
    if (!ok) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write the seeds\n");
        return 1;
    }
    return 0;
}
