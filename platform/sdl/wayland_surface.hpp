#pragma once

// Frames shown on a Wayland window straight from shared memory, where SDL's
// Wayland driver offers only a window surface drawn through OpenGL (in a
// software rasteriser where there is no GPU: a tenth of the ticks at the
// fastest pace).  A few buffers of the window's size in one shared-memory
// pool.  The program ticks at its own pace and never waits for the
// compositor: a frame is committed only when the compositor has asked for
// one (the last commit's frame callback is done) and a buffer it has let go
// of is there to write into; otherwise that tick's frame is skipped, and a
// later tick's takes its place.  A hidden window asks for no frames, and so
// gets none.

#include "presentation.hpp"

#include <array>
#include <cstddef>
#include <memory>

struct wl_buffer;
struct wl_callback;
struct wl_display;
struct wl_event_queue;
struct wl_shm;
struct wl_surface;

namespace platform::sdl {

// A Wayland object of ours, destroyed with its owner.
template <typename T> using Owned = std::unique_ptr<T, void (*)(T*)>;

class WaylandSurface final : public Presentation {
public:
    // For SDL's window surface on SDL's connection.  Throws
    // std::runtime_error when the compositor offers no shared memory.
    WaylandSurface(wl_display* display, wl_surface* surface);
    ~WaylandSurface() override;
    WaylandSurface(const WaylandSurface&) = delete;
    WaylandSurface& operator=(const WaylandSurface&) = delete;

    frames::PixelLayout layout() const override { return frames::PixelLayout::bgrx; }  // XRGB8888
    // Throws std::runtime_error when the connection has failed, as does
    // every call below.
    void show(const std::byte* pixels) override;
    // Committed whether or not the compositor has asked for a frame.
    void clear() override;
    // A compositor that imposes a size other than the frames' (a tiling
    // rule of the user's) gets buffers of that size; the frame last shown
    // is shown again in them.
    void resized(int width, int height) override;
    void check_connection() const override;
    // A round trip, for at most a second.
    bool answers() override;

private:
    struct Buffer {
        Owned<wl_buffer> buffer{nullptr, nullptr};
        std::byte* pixels = nullptr;
        bool busy = false;  // attached, and not yet released by the compositor
        bool blank = true;  // not yet black beyond the frame
    };
    static constexpr std::size_t buffer_count = 3;

    // Buffers of the window's size, in one pool.
    void make_buffers(int width, int height);
    void drop_buffers();
    // Reads and handles what the compositor sent us, waiting up to wait_ms
    // for something to arrive.
    void read_events(int wait_ms = 0);
    // Draws the pixels into a free buffer and commits it, unless the
    // compositor has yet to ask for a frame (and at_once is false) or holds
    // every buffer.
    void present(const std::byte* pixels, bool at_once);

    wl_display* display_;
    wl_surface* surface_;
    Owned<wl_event_queue> queue_;  // our objects' events, apart from SDL's
    Owned<wl_display> display_on_queue_{nullptr, nullptr};
    Owned<wl_surface> surface_on_queue_{nullptr, nullptr};  // asks for frame callbacks on queue_
    Owned<wl_shm> shm_{nullptr, nullptr};
    std::array<Buffer, buffer_count> buffers_;
    Owned<wl_callback> frame_{nullptr, nullptr};  // the last commit's, until the compositor asks for the next
    void* memory_ = nullptr;
    std::size_t size_ = 0;
    int width_ = 0;
    int height_ = 0;
    const std::byte* shown_ = nullptr;  // the frame last shown; none when black
};

}  // namespace platform::sdl
