#include "wayland_surface.hpp"

#include "common/program.hpp"

#include <wayland-client.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::sdl {

namespace {

// What libwayland last logged.  It would write a protocol error on stderr
// itself, before the program can say anything; the failure line says it
// instead, in the compositor's words.  Its other lines are kept the same
// way and not written: a failure says the last of them, and a run that
// goes on has nothing to tell the user.
std::string& last_logged()
{
    static std::string line;
    return line;
}

void keep_log(const char* format, std::va_list args)
{
    std::array<char, 512> line{};
    std::vsnprintf(line.data(), line.size(), format, args);
    last_logged() = line.data();
    while (!last_logged().empty() && last_logged().back() == '\n') {
        last_logged().pop_back();
    }
}

// Why the connection failed: a protocol error in its own words, anything
// else as a lost compositor.
[[noreturn]] void failed(wl_display* display)
{
    // A compositor that ends the connection for a protocol error sends the
    // error before it closes: a write that finds the connection closed
    // leaves it unread, and with the connection closed, reading what is left
    // cannot wait.
    if (wl_display_get_error(display) == 0 && errno == EPIPE) {
        wl_display_roundtrip(display);
    }
    if (wl_display_get_error(display) == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
        const std::string said =
            last_logged().empty()
                ? std::string(interface ? interface->name : "an unknown object") + ": error " + std::to_string(code)
                : last_logged();
        throw std::runtime_error("the Wayland compositor ended the connection for a protocol error: " + said);
    }
    throw std::runtime_error("lost the connection to the Wayland compositor");
}

void on_global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t)
{
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        static_cast<Owned<wl_shm>*>(data)->reset(
            static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    }
}

void on_global_remove(void*, wl_registry*, std::uint32_t)
{
}

const wl_registry_listener registry_listener = {on_global, on_global_remove};

void on_release(void* data, wl_buffer*)
{
    *static_cast<bool*>(data) = false;
}

const wl_buffer_listener buffer_listener = {on_release};

// The compositor asks for the next frame.
void on_frame(void* data, wl_callback*, std::uint32_t)
{
    static_cast<Owned<wl_callback>*>(data)->reset();
}

const wl_callback_listener frame_listener = {on_frame};

// A proxy that sends its events to the queue.
template <typename T> Owned<T> on_queue(T* proxy, wl_event_queue* queue)
{
    auto* wrapper = static_cast<T*>(wl_proxy_create_wrapper(proxy));
    if (wrapper) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    }
    return Owned<T>(wrapper, [](T* w) { wl_proxy_wrapper_destroy(w); });
}

}  // namespace

WaylandSurface::WaylandSurface(wl_display* display, wl_surface* surface)
    : display_(display), surface_(surface), queue_(wl_display_create_queue(display), wl_event_queue_destroy),
      shm_(nullptr, [](wl_shm* s) { wl_shm_destroy(s); })
{
    wl_log_set_handler_client(keep_log);
    display_on_queue_ = on_queue(display_, queue_.get());
    surface_on_queue_ = on_queue(surface_, queue_.get());
    if (!display_on_queue_ || !surface_on_queue_) {
        failed(display_);
    }
    const Owned<wl_registry> registry(wl_display_get_registry(display_on_queue_.get()),
                                      [](wl_registry* r) { wl_registry_destroy(r); });
    wl_registry_add_listener(registry.get(), &registry_listener, &shm_);
    if (wl_display_roundtrip_queue(display_, queue_.get()) < 0) {
        failed(display_);
    }
    if (!shm_) {
        throw std::runtime_error("the Wayland compositor offers no shared memory");
    }
}

WaylandSurface::~WaylandSurface()
{
    drop_buffers();
}

void WaylandSurface::make_buffers(int width, int height)
{
    const std::size_t pitch = static_cast<std::size_t>(width) * frames::bytes_per_pixel;
    const std::size_t one = pitch * static_cast<std::size_t>(height);
    const std::size_t size = one * buffer_count;
    const int fd = memfd_create("vormo-kidney", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    void* memory = MAP_FAILED;
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0 ||
        (memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
        if (fd >= 0) {
            close(fd);
        }
        throw std::runtime_error("cannot get shared memory for the window's pixels");
    }
    // Sealed at its size: the compositor maps it too, and could be made to
    // fault if it shrank.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
    memory_ = memory;
    size_ = size;
    width_ = width;
    height_ = height;
    // The pool, and so its buffers, on our queue, as shm_ is.
    const Owned<wl_shm_pool> pool(wl_shm_create_pool(shm_.get(), fd, static_cast<std::int32_t>(size)),
                                  [](wl_shm_pool* p) { wl_shm_pool_destroy(p); });  // the buffers keep what they need
    close(fd);                                                                      // the compositor has its own
    for (std::size_t i = 0; i < buffer_count; ++i) {
        Buffer& b = buffers_[i];
        b.pixels = static_cast<std::byte*>(memory_) + i * one;
        b.buffer =
            Owned<wl_buffer>(wl_shm_pool_create_buffer(pool.get(), static_cast<std::int32_t>(i * one), width, height,
                                                       static_cast<std::int32_t>(pitch), WL_SHM_FORMAT_XRGB8888),
                             [](wl_buffer* x) { wl_buffer_destroy(x); });
        wl_buffer_add_listener(b.buffer.get(), &buffer_listener, &b.busy);
    }
}

void WaylandSurface::drop_buffers()
{
    // The compositor keeps what it still shows of them.
    buffers_ = {};
    if (memory_) {
        munmap(memory_, size_);
        memory_ = nullptr;
    }
}

void WaylandSurface::resized(int width, int height)
{
    if (width > 0 && height > 0 && (width != width_ || height != height_)) {
        drop_buffers();
        make_buffers(width, height);
        present(shown_, false);
    }
}

void WaylandSurface::read_events(int wait_ms)
{
    wl_event_queue* queue = queue_.get();
    while (wl_display_prepare_read_queue(display_, queue) != 0) {
        if (wl_display_dispatch_queue_pending(display_, queue) < 0) {
            failed(display_);
        }
    }
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display_);
        failed(display_);
    }
    pollfd connection{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&connection, 1, wait_ms) > 0) {
        if (wl_display_read_events(display_) < 0) {
            failed(display_);
        }
    } else {
        wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_queue_pending(display_, queue) < 0) {
        failed(display_);
    }
}

void WaylandSurface::present(const std::byte* pixels, bool at_once)
{
    shown_ = pixels;
    read_events();
    if (!memory_) {
        make_buffers(program::width, program::height);
    }
    const auto free = std::find_if(buffers_.begin(), buffers_.end(), [](const Buffer& b) { return !b.busy; });
    if ((frame_ && !at_once) || free == buffers_.end()) {
        return;
    }
    Buffer& b = *free;
    const std::size_t pitch = static_cast<std::size_t>(width_) * frames::bytes_per_pixel;
    if (b.blank || !pixels) {
        std::memset(b.pixels, 0, pitch * static_cast<std::size_t>(height_));
        b.blank = false;
    }
    if (pixels) {
        // The frame's part that fits, unscaled: all of it at the frames' size.
        const std::size_t row = std::min(pitch, frames::frame_pitch);
        for (int y = 0; y < std::min(height_, program::height); ++y) {
            std::memcpy(b.pixels + static_cast<std::size_t>(y) * pitch, pixels + y * frames::frame_pitch, row);
        }
    }
    b.busy = true;
    wl_surface_attach(surface_, b.buffer.get(), 0, 0);
    wl_surface_damage_buffer(surface_, 0, 0, width_, height_);
    frame_ =
        Owned<wl_callback>(wl_surface_frame(surface_on_queue_.get()), [](wl_callback* c) { wl_callback_destroy(c); });
    wl_callback_add_listener(frame_.get(), &frame_listener, &frame_);
    wl_surface_commit(surface_);
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        failed(display_);
    }
}

void WaylandSurface::show(const std::byte* pixels)
{
    present(pixels, false);
}

void WaylandSurface::clear()
{
    present(nullptr, true);
}

bool WaylandSurface::answers()
{
    bool answered = false;
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    try {
        const Owned<wl_callback> sync(wl_display_sync(display_on_queue_.get()),
                                      [](wl_callback* c) { wl_callback_destroy(c); });
        wl_callback_add_listener(sync.get(), &listener, &answered);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        for (auto now = std::chrono::steady_clock::now(); !answered && now < end;
             now = std::chrono::steady_clock::now()) {
            read_events(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(end - now).count()));
        }
    } catch (const std::runtime_error&) {
        return false;  // the connection has failed
    }
    return answered;
}

void WaylandSurface::check_connection() const
{
    if (wl_display_get_error(display_) != 0) {
        failed(display_);
    }
}

}  // namespace platform::sdl
