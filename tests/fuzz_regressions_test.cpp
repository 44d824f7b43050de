// Inputs that once troubled the loader, or were made to probe its edges,
// replayed through both fuzzers' entry points on every test run.

#include "e2e/process.hpp"
#include "frames/frame_set.hpp"
#include "frames/turbojpeg.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

TEST(FuzzRegressions, EveryInputIsRejectedWithAnErrorNeverACrash)
{
    int replayed = 0;
    std::vector<std::byte> pixels(frames::frame_bytes);
    frames::TurboJpeg decoder;
    for (const auto& entry : std::filesystem::directory_iterator(FUZZ_REGRESSIONS)) {
        const std::string bytes = e2e::read_file(entry.path());
        const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
        const std::vector<std::byte> input(data, data + bytes.size());
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
