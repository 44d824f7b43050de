// Inputs that once troubled the loader, or were made to probe its edges,
// replayed through both fuzzers' entry points on every test run.

#include "frames/frame_set.hpp"
#include "frames/turbojpeg.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::byte> read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> out(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[i] = static_cast<std::byte>(bytes[i]);
    }
    return out;
}

TEST(FuzzRegressions, EveryInputIsRejectedWithAnErrorNeverACrash)
{
    int replayed = 0;
    std::vector<std::byte> pixels(frames::frame_bytes);
    frames::TurboJpeg decoder;
    for (const auto& entry : std::filesystem::directory_iterator(FUZZ_REGRESSIONS)) {
        const std::vector<std::byte> input = read(entry.path());
        ++replayed;
        EXPECT_THROW(frames::parse_frame_set(input), frames::BadFrameSet) << entry.path().filename();
        try {
            const frames::Bytes jpeg = frames::parse_record(input, 1);
            decoder.decode(jpeg, frames::PixelLayout::bgrx, pixels.data(), 1);
            ADD_FAILURE() << entry.path().filename() << " decoded as a frame";
        } catch (const frames::BadFrameSet& e) {
            EXPECT_EQ(e.holder(), 1);
        }
    }
    EXPECT_GE(replayed, 5);
}

}  // namespace
