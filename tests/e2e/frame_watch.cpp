#include "frame_watch.hpp"

#include "frames/embedded.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace e2e {

FrameMatcher::FrameMatcher(int tolerance) : tolerance_(tolerance)
{
    frames::decode_all(frames::parse_frame_set(frames::embedded_frame_set()), frames::PixelLayout::bgrx, frames_);
}

const FrameMatcher& FrameMatcher::shared(int tolerance)
{
    static std::map<int, std::unique_ptr<const FrameMatcher>> decoded;
    std::unique_ptr<const FrameMatcher>& matcher = decoded[tolerance];
    if (!matcher) {
        matcher = std::make_unique<const FrameMatcher>(tolerance);
    }
    return *matcher;
}

namespace {

// Every red, green and blue value of the image within tolerance of the
// frame's (B, G, R, X bytes, as the window's).
bool same_picture(const std::uint8_t* pixels, std::size_t stride, const std::byte* frame, int tolerance)
{
    for (int y = 0; y < program::height; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * stride;
        const auto* want = reinterpret_cast<const std::uint8_t*>(frame + y * frames::frame_pitch);
        for (std::size_t i = 0; i < frames::frame_pitch; ++i) {
            if (i % 4 != 3 && std::abs(static_cast<int>(row[i]) - static_cast<int>(want[i])) > tolerance) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int FrameMatcher::slot_of(const XImage& image) const
{
    if (image.bits_per_pixel != 32 || image.width < program::width || image.height < program::height) {
        return -1;
    }
    return slot_of(reinterpret_cast<const std::uint8_t*>(image.data), static_cast<std::size_t>(image.bytes_per_line));
}

int FrameMatcher::slot_of(const std::uint8_t* bgrx, std::size_t stride) const
{
    for (int s = 0; s < program::frame_count; ++s) {
        if (same_picture(bgrx, stride, frame(s), tolerance_)) {
            return s;
        }
    }
    return -1;
}

int slot_shown(Connection& x, Window w, const FrameMatcher& frames)
{
    XImage* image = ignoring_x_errors(x.display(), [&] {
        return XGetImage(x.display(), w, 0, 0, program::width, program::height, AllPlanes, ZPixmap);
    });
    if (!image) {
        return -1;
    }
    const int slot = frames.slot_of(*image);
    XDestroyImage(image);
    return slot;
}

int wait_for_change(const Sampler& sample, int from, std::chrono::milliseconds limit)
{
    int s = -1;
    return wait_until(limit, [&] { return (s = sample()) >= 0 && s != from; }) ? s : -1;
}

Changes record_changes(const Sampler& sample, int count, std::chrono::milliseconds limit,
                       const std::function<void()>& then)
{
    Changes c;
    Clock::time_point last_sample{};
    Clock::time_point last_grab{};
    wait_until(limit, [&] {
        if (static_cast<int>(c.slots.size()) > count) {
            return true;
        }
        const int s = sample();
        const auto now = Clock::now();
        if (c.slots.size() > 1) {
            c.longest_grab_gap = std::max(c.longest_grab_gap, now - last_grab);
            ++c.grabs;
            c.unmatched += s < 0;
        }
        last_grab = now;
        if (s < 0) {
            return false;  // a present came between two rows
        }
        if (c.slots.size() > 1) {
            c.longest_without_frame = std::max(c.longest_without_frame, now - last_sample);
        }
        last_sample = now;
        if (c.slots.empty() || c.slots.back() != s) {
            c.slots.push_back(s);
            c.seen_at.push_back(now);
            if (c.slots.size() == 1 && then) {
                then();
            }
        }
        return false;
    });
    return c;
}

std::vector<Clock::duration> Changes::ticks() const
{
    std::vector<Clock::duration> t;
    for (std::size_t i = 2; i < seen_at.size(); ++i) {
        t.push_back(seen_at[i] - seen_at[i - 1]);
    }
    return t;
}

Clock::duration Changes::shortest_tick() const
{
    const std::vector<Clock::duration> t = ticks();
    return t.empty() ? Clock::duration{} : *std::min_element(t.begin(), t.end());
}

Clock::duration Changes::longest_tick() const
{
    const std::vector<Clock::duration> t = ticks();
    return t.empty() ? Clock::duration{} : *std::max_element(t.begin(), t.end());
}

bool Changes::sampler_kept_up() const
{
    return !ticks().empty() && longest_grab_gap * 2 <= shortest_tick();
}

std::vector<int> Changes::steps() const
{
    std::vector<int> d;
    for (std::size_t i = 1; i < slots.size(); ++i) {
        d.push_back((slots[i] - slots[i - 1] + program::frame_count) % program::frame_count);
    }
    return d;
}

namespace {

// The largest difference between the red, green or blue values of two
// 0xRRGGBB pixels.
int channel_distance(std::uint32_t a, std::uint32_t b)
{
    int widest = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        widest =
            std::max(widest, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return widest;
}

}  // namespace

StripMatcher::StripMatcher(const FrameMatcher& frames)
    : signatures_(program::frame_count), tolerance_(frames.tolerance())
{
    for (int s = 0; s < program::frame_count; ++s) {
        for (const int r : rows) {
            for (int x = 0; x < program::width; ++x) {
                const std::byte* p = frames.frame(s) + r * frames::frame_pitch + static_cast<std::size_t>(x) * 4;
                signatures_[s].push_back(std::to_integer<std::uint32_t>(p[0]) |
                                         std::to_integer<std::uint32_t>(p[1]) << 8 |
                                         std::to_integer<std::uint32_t>(p[2]) << 16);
            }
        }
    }
    // Two frames are told apart only if some value differs by more than
    // twice the tolerance.
    for (int a = 0; a < program::frame_count; ++a) {
        for (int b = a + 1; b < program::frame_count; ++b) {
            int widest = 0;
            for (std::size_t i = 0; i < signatures_[a].size(); ++i) {
                widest = std::max(widest, channel_distance(signatures_[a][i], signatures_[b][i]));
            }
            if (widest <= 2 * tolerance_) {
                throw std::runtime_error("the sampled rows do not tell slot " + std::to_string(a) + " from slot " +
                                         std::to_string(b));
            }
        }
    }
}

std::vector<std::uint32_t> StripMatcher::read_rows(Display* d, Window w)
{
    return ignoring_x_errors(d, [&] {
        std::vector<std::uint32_t> seen;
        for (const int r : rows) {
            XImage* image = XGetImage(d, w, 0, r, program::width, 1, AllPlanes, ZPixmap);
            if (!image) {
                return std::vector<std::uint32_t>{};
            }
            for (int x = 0; x < program::width; ++x) {
                seen.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, 0)) & 0xFFFFFFu);
            }
            XDestroyImage(image);
        }
        return seen;
    });
}

template <class Fits> int StripMatcher::first_fitting(Display* d, Window w, Fits fits) const
{
    const std::vector<std::uint32_t> seen = read_rows(d, w);
    for (int s = 0; s < program::frame_count && !seen.empty(); ++s) {
        if (fits(seen, signatures_[static_cast<std::size_t>(s)])) {
            return s;
        }
    }
    return -1;
}

int StripMatcher::slot(Display* d, Window w) const
{
    return first_fitting(d, w, [this](const std::vector<std::uint32_t>& seen, const std::vector<std::uint32_t>& want) {
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (tolerance_ == 0 ? seen[i] != want[i] : channel_distance(seen[i], want[i]) > tolerance_) {
                return false;
            }
        }
        return true;
    });
}

int StripMatcher::near_slot(Display* d, Window w) const
{
    return first_fitting(d, w, [](const std::vector<std::uint32_t>& seen, const std::vector<std::uint32_t>& want) {
        long sum = 0;  // of the green differences
        for (std::size_t i = 0; i < seen.size(); ++i) {
            sum += std::abs(static_cast<int>((seen[i] >> 8) & 0xFF) - static_cast<int>((want[i] >> 8) & 0xFF));
        }
        return static_cast<double>(sum) / static_cast<double>(seen.size()) < 6.0;
    });
}

DamageCounter::DamageCounter(Display* d, Window w) : display_(d)
{
    int error_base = 0;
    if (!XDamageQueryExtension(d, &event_base_, &error_base)) {
        throw std::runtime_error("the X server has no DAMAGE extension");
    }
    damage_ = XDamageCreate(d, w, XDamageReportRawRectangles);
    XSync(d, False);
}

DamageCounter::~DamageCounter()
{
    // The server frees the damage object itself when the window is
    // destroyed, and then refuses to destroy it again.
    ignoring_x_errors(display_, [this] { XDamageDestroy(display_, damage_); });
}

long DamageCounter::count()
{
    while (XPending(display_)) {
        XEvent e;
        XNextEvent(display_, &e);
        seen_ += e.type == event_base_ + XDamageNotify;
    }
    return seen_;
}

long DamageCounter::wait_for(long count, std::chrono::milliseconds limit)
{
    wait_until(
        limit, [&] { return this->count() >= count; }, 1ms);
    return seen_;
}

}  // namespace e2e
