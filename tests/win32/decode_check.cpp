// Decodes the embedded frames with Windows' own JPEG codec and writes
// them, slot after slot in B, G, R, X bytes, to the file named on the
// command line; the Linux tests compare them with TurboJPEG's decoding.
// Also checks that streams the codec cannot decode are reported as errors,
// and what it makes of a stream whose scan data was cut short.
//
//   decode_check <out.raw>     exit status 0 when everything worked

#include "frames/embedded.hpp"
#include "frames/pixels.hpp"
#include "platform/win32/wic.hpp"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int check(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode_check <out.raw>\n");
        return 2;
    }
    const frames::FrameSet set = frames::parse_frame_set(frames::embedded_frame_set());
    std::vector<std::byte> pixels(frames::frame_bytes * program::frame_count);
    platform::win32::Wic decoder;
    try {
        for (int s = 0; s < program::frame_count; ++s) {
            decoder.decode(set.jpeg[s], pixels.data() + s * frames::frame_bytes, s + 1);
        }
    } catch (const frames::BadFrameSet& e) {
        std::fprintf(stderr, "decode_check: %s\n", e.what());
        return 1;
    }

    // Damaged streams: not a JPEG at all, and Image1's headers with the
    // start-of-frame segment's sizes zeroed.
    std::vector<std::byte> not_jpeg(4096, std::byte{0x5A});
    std::vector<std::byte> no_size(set.jpeg[0].begin(), set.jpeg[0].end());
    for (std::size_t i = 0; i + 8 < no_size.size(); ++i) {
        if (no_size[i] == std::byte{0xFF} && no_size[i + 1] == std::byte{0xC0}) {
            for (std::size_t b = i + 5; b < i + 9; ++b) {
                no_size[b] = std::byte{0};
            }
            break;
        }
    }
    int reported = 0;
    std::vector<std::byte> scratch(frames::frame_bytes);
    for (const auto* damaged : {&not_jpeg, &no_size}) {
        try {
            decoder.decode({damaged->data(), damaged->size()}, scratch.data(), 1);
        } catch (const frames::BadFrameSet&) {
            ++reported;
        }
    }
    if (reported != 2) {
        std::fprintf(stderr, "decode_check: a damaged stream decoded without an error\n");
        return 1;
    }

    // Image1 with its scan data cut to half but keeping its end marker gets
    // past the frame-set check.  Wine's codec (IJG libjpeg) decodes what is
    // there, fills the rest of the picture and reports success; so the top
    // of the picture must be Image1's.
    std::vector<std::byte> cut(set.jpeg[0].begin(), set.jpeg[0].begin() + set.jpeg[0].size() / 2);
    cut.push_back(std::byte{0xFF});
    cut.push_back(std::byte{0xD9});
    try {
        decoder.decode({cut.data(), cut.size()}, scratch.data(), 1);
    } catch (const frames::BadFrameSet& e) {
        std::fprintf(stderr, "decode_check: the cut stream: %s\n", e.what());
        return 1;
    }
    if (std::memcmp(scratch.data(), pixels.data(), 16 * frames::frame_pitch) != 0) {
        std::fprintf(stderr, "decode_check: the cut stream's top rows are not Image1's\n");
        return 1;
    }

    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(pixels.data(), 1, pixels.size(), out) != pixels.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "decode_check: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return check(argc, argv);
    } catch (const platform::win32::WicUnavailable& e) {
        std::fprintf(stderr, "decode_check: %s\n", e.what());
        return 1;
    }
}
