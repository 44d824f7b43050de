#pragma once

// Frames shown on a Wayland window straight from shared memory, where SDL's
// Wayland driver offers only a window surface drawn through OpenGL (in a
// software rasteriser where there is no GPU: a tenth of the ticks at the
// fastest pace).  A few buffers of the window's size in one shared-memory
// pool; showing a frame copies it into a buffer the compositor has let go
// of and commits it.  Nothing waits for the compositor's next frame, so the
// busy pace stays the program's own.

#include <array>
#include <cstddef>

struct wl_buffer;
struct wl_display;
struct wl_event_queue;
struct wl_shm;
struct wl_surface;

namespace platform::sdl {

class WaylandSurface {
public:
    // For SDL's window surface on SDL's connection.  Throws
    // std::runtime_error when the compositor offers no shared memory or
    // the memory cannot be had.
    WaylandSurface(wl_display* display, wl_surface* surface);
    ~WaylandSurface();
    WaylandSurface(const WaylandSurface&) = delete;
    WaylandSurface& operator=(const WaylandSurface&) = delete;

    // The window's size, where a compositor imposes one other than the
    // frames': the frame stays unscaled at the top-left, the rest black.
    // The frame last shown is shown again at the new size.
    void fit(int width, int height);
    // Shows a frame's pixels (B, G, R, X bytes, rows frame_pitch apart), or
    // black where pixels is null.  The pixels must stay while they are the
    // frame last shown.  Throws std::runtime_error when the compositor is
    // gone.
    void show(const std::byte* pixels);
    // Commits the buffer last shown again, for a compositor that asks.
    void repaint();
    // Throws std::runtime_error if the connection to the compositor has
    // failed: SDL reports a lost compositor as a quit, like a close request.
    void check_connection() const;

private:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        std::byte* pixels = nullptr;
        bool busy = false;  // the compositor still reads it
        bool blank = true;  // not yet black beyond the frame
    };
    static constexpr std::size_t buffer_count = 3;

    // Buffers of the window's size, in one pool.
    void make_buffers();
    void drop_buffers();
    Buffer& free_buffer();
    void commit(Buffer& b);

    wl_display* display_;
    wl_surface* surface_;
    wl_event_queue* queue_ = nullptr;  // our buffers' events, apart from SDL's
    wl_shm* shm_ = nullptr;
    void* memory_ = nullptr;
    std::size_t size_ = 0;
    int width_;
    int height_;
    std::array<Buffer, buffer_count> buffers_{};
    Buffer* last_ = nullptr;
    const std::byte* shown_ = nullptr;  // the frame last shown; none when black
};

}  // namespace platform::sdl
