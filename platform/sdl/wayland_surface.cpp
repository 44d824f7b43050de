#include "wayland_surface.hpp"

#include "frames/pixels.hpp"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::sdl {

namespace {

[[noreturn]] void lost()
{
    throw std::runtime_error("lost the connection to the Wayland compositor");
}

void on_global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        *static_cast<wl_shm**>(data) = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    }
}

void on_global_remove(void*, wl_registry*, uint32_t)
{
}

const wl_registry_listener registry_listener = {on_global, on_global_remove};

void on_release(void* data, wl_buffer*)
{
    *static_cast<bool*>(data) = false;
}

const wl_buffer_listener buffer_listener = {on_release};

}  // namespace

WaylandSurface::WaylandSurface(wl_display* display, wl_surface* surface)
    : display_(display), surface_(surface), width_(program::width), height_(program::height)
{
    queue_ = wl_display_create_queue(display_);
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue_);
    wl_registry* registry = wl_display_get_registry(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    wl_registry_add_listener(registry, &registry_listener, &shm_);
    if (wl_display_roundtrip_queue(display_, queue_) < 0) {
        wl_registry_destroy(registry);
        lost();
    }
    wl_registry_destroy(registry);
    if (!shm_) {
        throw std::runtime_error("the Wayland compositor offers no shared memory");
    }

    make_buffers();
}

void WaylandSurface::make_buffers()
{
    const std::size_t pitch = static_cast<std::size_t>(width_) * frames::bytes_per_pixel;
    const std::size_t one = pitch * static_cast<std::size_t>(height_);
    size_ = one * buffer_count;
    const int fd = memfd_create("vormo-kidney", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size_)) != 0 ||
        (memory_ = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
        memory_ = nullptr;
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("cannot get shared memory for the window's pixels");
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, static_cast<int32_t>(size_));
    close(fd);  // the compositor has its own
    for (std::size_t i = 0; i < buffer_count; ++i) {
        Buffer& b = buffers_[i];
        b = Buffer{};
        b.pixels = static_cast<std::byte*>(memory_) + i * one;
        b.buffer = wl_shm_pool_create_buffer(pool, static_cast<int32_t>(i * one), width_, height_,
                                             static_cast<int32_t>(pitch), WL_SHM_FORMAT_XRGB8888);
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(b.buffer), queue_);
        wl_buffer_add_listener(b.buffer, &buffer_listener, &b.busy);
    }
    wl_shm_pool_destroy(pool);  // the buffers keep what they need
    last_ = nullptr;
}

void WaylandSurface::drop_buffers()
{
    // The compositor keeps what it still shows of them.
    for (Buffer& b : buffers_) {
        if (b.buffer) {
            wl_buffer_destroy(b.buffer);
        }
        b = Buffer{};
    }
    if (memory_) {
        munmap(memory_, size_);
        memory_ = nullptr;
    }
    last_ = nullptr;
}

void WaylandSurface::fit(int width, int height)
{
    if (width > 0 && height > 0 && (width != width_ || height != height_)) {
        drop_buffers();
        width_ = width;
        height_ = height;
        make_buffers();
        show(shown_);
    }
}

WaylandSurface::~WaylandSurface()
{
    drop_buffers();
    if (shm_) {
        wl_shm_destroy(shm_);
    }
    if (queue_) {
        wl_event_queue_destroy(queue_);
    }
}

WaylandSurface::Buffer& WaylandSurface::free_buffer()
{
    // Releases that SDL's reading of the connection already queued for us,
    // then, only if every buffer is still read, a wait for one.
    if (wl_display_dispatch_queue_pending(display_, queue_) < 0) {
        lost();
    }
    for (;;) {
        const auto b = std::find_if(buffers_.begin(), buffers_.end(), [](const Buffer& x) { return !x.busy; });
        if (b != buffers_.end()) {
            return *b;
        }
        if (wl_display_dispatch_queue(display_, queue_) < 0) {
            lost();
        }
    }
}

void WaylandSurface::commit(Buffer& b)
{
    b.busy = true;
    last_ = &b;
    wl_surface_attach(surface_, b.buffer, 0, 0);
    wl_surface_damage_buffer(surface_, 0, 0, width_, height_);
    wl_surface_commit(surface_);
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        lost();
    }
}

void WaylandSurface::show(const std::byte* pixels)
{
    shown_ = pixels;
    Buffer& b = free_buffer();
    const std::size_t pitch = static_cast<std::size_t>(width_) * frames::bytes_per_pixel;
    if (b.blank || !pixels) {
        std::memset(b.pixels, 0, pitch * static_cast<std::size_t>(height_));
        b.blank = false;
    }
    if (pixels && pitch == frames::frame_pitch && height_ >= program::height) {
        std::memcpy(b.pixels, pixels, frames::frame_bytes);
    } else if (pixels) {
        // A window of another size: the frame's part that fits, unscaled.
        const std::size_t row = std::min(pitch, frames::frame_pitch);
        for (int y = 0; y < std::min(height_, program::height); ++y) {
            std::memcpy(b.pixels + static_cast<std::size_t>(y) * pitch, pixels + y * frames::frame_pitch, row);
        }
    }
    commit(b);
}

void WaylandSurface::check_connection() const
{
    if (wl_display_get_error(display_) != 0) {
        lost();
    }
}

void WaylandSurface::repaint()
{
    if (last_) {
        commit(*last_);
    }
}

}  // namespace platform::sdl
