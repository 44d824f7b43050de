// In-process figures: decoding the frames against a bare libjpeg-turbo loop,
// the cost of touching fresh memory, parsing, and the pacing count.

#include "frames/embedded.hpp"
#include "frames/frame_set.hpp"
#include "frames/pixels.hpp"
#include "frames/turbojpeg.hpp"
#include "viewer/pause.hpp"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstring>
#include <sys/mman.h>
#include <vector>

namespace {

const frames::FrameSet& frame_set()
{
    static const frames::FrameSet set = frames::parse_frame_set(frames::embedded_frame_set());
    return set;
}

// All frames' worth of memory, touched once before timing.
std::vector<std::byte>& touched_buffer()
{
    static std::vector<std::byte> buffer(frames::frame_bytes * program::frame_count, std::byte{1});
    return buffer;
}

void DecodeAll(benchmark::State& state)
{
    frames::TurboJpeg decoder;
    std::byte* out = touched_buffer().data();
    for (auto _ : state) {
        for (int h = 1; h <= program::frame_count; ++h) {
            decoder.decode(frame_set().jpeg[h - 1], frames::PixelLayout::bgrx, out + (h - 1) * frames::frame_bytes, h);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(DecodeAll)->Unit(benchmark::kMillisecond);

// The floor: TurboJPEG called directly on the same streams, same format.
void BareTurboJpegLoop(benchmark::State& state)
{
    tjhandle handle = tjInitDecompress();
    auto* out = reinterpret_cast<unsigned char*>(touched_buffer().data());
    for (auto _ : state) {
        for (int s = 0; s < program::frame_count; ++s) {
            const frames::Bytes jpeg = frame_set().jpeg[s];
            tjDecompress2(handle, reinterpret_cast<const unsigned char*>(jpeg.data()),
                          static_cast<unsigned long>(jpeg.size()), out + s * frames::frame_bytes, program::width, 0,
                          program::height, TJPF_BGRX, 0);
        }
        benchmark::ClobberMemory();
    }
    tjDestroy(handle);
}
BENCHMARK(BareTurboJpegLoop)->Unit(benchmark::kMillisecond);

// What start-up really pays on Linux, the way the window decodes: the set
// parsed, a fresh block allocated, and each frame's pages populated and then
// decoded into.
void FramesFromScratch(benchmark::State& state)
{
    frames::TurboJpeg decoder;
    for (auto _ : state) {
        const frames::FrameSet set = frames::parse_frame_set(frames::embedded_frame_set());
        const frames::FrameBlock block;
        for (int h = 1; h <= program::frame_count; ++h) {
            madvise(block.frame(h), frames::frame_bytes, MADV_POPULATE_WRITE);
            decoder.decode(set.jpeg[h - 1], frames::PixelLayout::bgrx, block.frame(h), h);
        }
        benchmark::DoNotOptimize(block.frame(1));
    }
}
BENCHMARK(FramesFromScratch)->Unit(benchmark::kMillisecond);

// First touch of 72 MiB alone: faulted page by page as it is written (0),
// populated with one call first (1), or with huge-page advice (2).  The
// iterations follow each other closely and so get back memory just freed,
// which flatters huge pages: on a virtual machine that returns free memory
// to its host, huge pages fresh from the host cost far more (docs/where-the-time-goes.md).
void FirstTouch(benchmark::State& state)
{
    const auto mode = state.range(0);
    constexpr std::size_t size = std::size_t{72} << 20;
    for (auto _ : state) {
        constexpr std::size_t huge_page = std::size_t{2} << 20;
        void* p = mmap(nullptr, size + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        char* aligned = static_cast<char*>(p) + (huge_page - reinterpret_cast<std::uintptr_t>(p) % huge_page);
        if (mode == 1) {
            madvise(aligned, size, MADV_POPULATE_WRITE);
        } else if (mode == 2) {
            madvise(aligned, size, MADV_HUGEPAGE);
        }
        std::memset(aligned, 1, size);
        benchmark::ClobberMemory();
        munmap(p, size + huge_page);
    }
}
BENCHMARK(FirstTouch)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void ParseFrameSet(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(frames::parse_frame_set(frames::embedded_frame_set()));
    }
}
BENCHMARK(ParseFrameSet)->Unit(benchmark::kMicrosecond);

// ns per counting step: constant across k if the count is linear.
void BusyCount(benchmark::State& state)
{
    const auto k = static_cast<double>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(viewer::busy_count(k));
    }
    state.counters["ns_per_step"] = benchmark::Counter(static_cast<double>(state.iterations()) * (k + 1),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BusyCount)->Arg(10000)->Arg(100000)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
