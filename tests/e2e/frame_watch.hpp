#pragma once

// Telling which frame a window shows, and watching it change: the decoded
// frames to match grabs with, the three rows that tell every frame apart,
// the changes seen while sampling, and the window's updates counted through
// X DAMAGE.

#include "x_display.hpp"

#include "frames/pixels.hpp"
#include "frames/turbojpeg.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace e2e {

// The decoded frames in the window's pixel layout, for matching grabs.
class FrameMatcher {
public:
    // A grab shows a frame when every channel value is within tolerance of
    // the frame's TurboJPEG decoding: 0 for the Linux program, more for one
    // that decodes with another codec.
    explicit FrameMatcher(int tolerance = 0);
    // The frames decoded once for all who match with that tolerance.
    static const FrameMatcher& shared(int tolerance = 0);
    // The slot whose frame the image shows, or -1.
    int slot_of(const XImage& image) const;
    // The same for width x height pixels of B, G, R, X bytes, rows stride
    // bytes apart.
    int slot_of(const std::uint8_t* bgrx, std::size_t stride) const;
    // One frame's pixels, B, G, R, X.
    const std::byte* frame(int slot) const { return frames_.frame(slot + 1); }
    int tolerance() const { return tolerance_; }

private:
    frames::FrameBlock frames_;
    int tolerance_;
};

// Tells the slot on screen from three rows of the window, which tell all the
// frames apart: a grab that small is answered at once even while the program
// keeps the server busy with full-window presents, so sampling with it sees
// every frame at the start-up pace.
class StripMatcher {
public:
    // The rows, the same ones the page's tests read.
    static constexpr int rows[3] = {VORMO_PROBE_ROWS};

    // With the full frames' tolerance; throws if the rows cannot tell two
    // frames apart at that tolerance.
    explicit StripMatcher(const FrameMatcher& frames);
    // The slot whose rows the window shows within the tolerance, or -1
    // (also when the window is gone, or a present came between two rows).
    int slot(Display* d, Window w) const;
    // The slot whose rows the window shows within a small mean difference
    // (other viewers' decoders round differently), or -1.
    int near_slot(Display* d, Window w) const;

private:
    // The three rows of the window as 0xRRGGBB values; empty if it is gone.
    static std::vector<std::uint32_t> read_rows(Display* d, Window w);
    // The first slot whose rows fits(seen, slot's) accepts, or -1.
    template <class Fits> int first_fitting(Display* d, Window w, Fits fits) const;

    std::vector<std::vector<std::uint32_t>> signatures_;
    int tolerance_;
};

// The frames a window showed while it was sampled: each change of slot with
// the time it was first seen, and how far apart the samples came from the
// first change on (before it the program may still be starting).
struct Changes {
    std::vector<int> slots;  // the first slot seen, then each new one
    std::vector<Clock::time_point> seen_at;
    Clock::duration longest_without_frame{};  // between two grabs that showed a frame
    Clock::duration longest_grab_gap{};       // between any two grabs
    long grabs = 0;                           // from the first change on
    long unmatched = 0;                       // grabs that showed no one frame
    // Time from one change to the next; the first slot's time is when
    // sampling began, so it starts no tick.
    std::vector<Clock::duration> ticks() const;
    Clock::duration shortest_tick() const;
    Clock::duration longest_tick() const;
    // The sampler looked often enough to see every frame if no gap between
    // its grabs was longer than half the shortest tick.  A frame whose every
    // grab showed no one frame (drawn only in part) was not seen whole, and
    // counts as not shown.
    bool sampler_kept_up() const;
    // The forward distance (0..frame_count-1) of each change.
    std::vector<int> steps() const;
};

// The slot the whole window shows, -1 if its picture is none of the frames.
int slot_shown(Connection& x, Window w, const FrameMatcher& frames);

// Looks at a window once: the slot it shows, or -1.
using Sampler = std::function<int()>;
// Waits until the sampled slot is one and differs from `from`; that slot,
// or -1 if the limit passed first.
int wait_for_change(const Sampler& sample, int from, std::chrono::milliseconds limit);
// Samples the window until it has changed count times, or the limit passed;
// then() is called once the first slot is seen (to type a command, say,
// whose effect is to be seen).
Changes record_changes(const Sampler& sample, int count, std::chrono::milliseconds limit,
                       const std::function<void()>& then = {});

// Counts the window's updates through X DAMAGE, for paces at which no
// sampler can see every frame.
class DamageCounter {
public:
    DamageCounter(Display* d, Window w);
    ~DamageCounter();
    DamageCounter(const DamageCounter&) = delete;
    DamageCounter& operator=(const DamageCounter&) = delete;
    // The updates since the counter was made, without waiting for more.
    long count();
    // Waits until the window has been updated count times since the counter
    // was made, or the limit passed; returns the updates seen.
    long wait_for(long count, std::chrono::milliseconds limit);

private:
    Display* display_;
    int event_base_ = 0;
    unsigned long damage_ = 0;
    long seen_ = 0;
};

}  // namespace e2e
