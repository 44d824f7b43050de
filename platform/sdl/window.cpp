#include "window.hpp"

#include "linux_desktop.hpp"
#include "translate.hpp"
#include "wayland_surface.hpp"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace platform::sdl {

namespace {

std::string reason(const char* step)
{
    return std::string(step) + ": " + SDL_GetError();
}

// Maps an SDL window-surface format to the decoder's layout with the same
// bytes in memory (little-endian), if there is one.
bool layout_of(Uint32 format, frames::PixelLayout& layout)
{
    switch (format) {
    case SDL_PIXELFORMAT_XRGB8888:
    case SDL_PIXELFORMAT_ARGB8888: layout = frames::PixelLayout::bgrx; return true;
    case SDL_PIXELFORMAT_XBGR8888:
    case SDL_PIXELFORMAT_ABGR8888: layout = frames::PixelLayout::rgbx; return true;
    case SDL_PIXELFORMAT_RGBX8888:
    case SDL_PIXELFORMAT_RGBA8888: layout = frames::PixelLayout::xbgr; return true;
    case SDL_PIXELFORMAT_BGRX8888:
    case SDL_PIXELFORMAT_BGRA8888: layout = frames::PixelLayout::xrgb; return true;
    default: return false;
    }
}

// SDL's window surface (shared-memory X images on X11): a frame copied in
// and presented in well under a millisecond.
class WindowSurface final : public Presentation {
public:
    explicit WindowSurface(SDL_Window* window) : window_(window)
    {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (!surface) {
            throw OpenError(reason("cannot get the window's drawing surface"));
        }
        copy_directly_ = layout_of(surface->format->format, layout_);
        // Fault the drawing surface's pages in now, while the server maps
        // the window, rather than page by page in the first show.  Its
        // contents do not matter: the first show overwrites all of it.
        linux_desktop::populate(surface->pixels,
                                static_cast<std::size_t>(surface->pitch) * static_cast<std::size_t>(surface->h));
    }

    frames::PixelLayout layout() const override { return layout_; }

    void show(const std::byte* pixels) override
    {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (!surface) {
            return;  // the window is gone; its close request is on its way
        }
        if (SDL_MUSTLOCK(surface)) {
            SDL_LockSurface(surface);
        }
        auto* to = static_cast<unsigned char*>(surface->pixels);
        const auto* from = reinterpret_cast<const unsigned char*>(pixels);
        const int width = std::min(surface->w, program::width);
        const int height = std::min(surface->h, program::height);
        if (copy_directly_) {
            for (int y = 0; y < height; ++y) {
                std::memcpy(to + static_cast<std::size_t>(y) * surface->pitch, from + y * frames::frame_pitch,
                            static_cast<std::size_t>(width) * frames::bytes_per_pixel);
            }
        } else {
            // Only on displays whose surface format the decoder cannot
            // write: the frames are then decoded as B, G, R, X bytes
            // (XRGB8888 to SDL).
            SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_XRGB8888, from, static_cast<int>(frames::frame_pitch),
                              surface->format->format, to, surface->pitch);
        }
        if (SDL_MUSTLOCK(surface)) {
            SDL_UnlockSurface(surface);
        }
        repaint();
    }

    void clear() override
    {
        if (SDL_Surface* surface = SDL_GetWindowSurface(window_)) {
            SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
            repaint();
        }
    }

    void repaint() override { SDL_UpdateWindowSurface(window_); }

private:
    SDL_Window* window_;
    frames::PixelLayout layout_ = frames::PixelLayout::bgrx;
    bool copy_directly_ = false;  // the surface's layout is one the decoder writes
};

}  // namespace

struct Window::Sdl {
    Sdl()
    {
        // A click that activates the window counts like any other.
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        // SDL holds off the screen saver and screen lock of the whole desktop
        // while a window is open; a viewer left running must not keep a
        // screen unlocked.
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        // Only drivers that show a real window: left to itself SDL falls
        // back to an invisible offscreen driver when there is no display.
        // Wayland is tried only where a compositor says it is there, since
        // its client library complains on stderr otherwise.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, std::getenv("WAYLAND_DISPLAY") ? "x11,wayland" : "x11");
        // The compose table is skipped for X11 only, the first choice where
        // there is a display: Wayland's keyboard library reads the same
        // variable, as soon as SDL connects.
        const char* display = std::getenv("DISPLAY");
        if (display && *display) {
            linux_desktop::skip_compose_table();
        }
        linux_desktop::name_window(program::app_id);
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            throw OpenError(std::string("cannot open the display ") +
                            (display && *display ? display : "(DISPLAY is not set)") + ": " + SDL_GetError());
        }
    }
    ~Sdl() { SDL_Quit(); }
    Sdl(const Sdl&) = delete;
    Sdl& operator=(const Sdl&) = delete;
};

void Window::DestroyWindow::operator()(SDL_Window* window) const
{
    SDL_DestroyWindow(window);
}

std::unique_ptr<Window> Window::open()
{
    std::unique_ptr<Window> w(new Window(std::make_unique<Sdl>()));
    // Without a display SDL may fall back to drivers that show nothing; a
    // viewer nobody can see would run for ever.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0 ||
        std::strcmp(driver, "evdev") == 0) {
        throw OpenError(std::string("cannot open the display: no desktop to show a window on (SDL video driver ") +
                        (driver ? driver : "none") + ")");
    }
    if (std::strcmp(driver, "x11") == 0) {
        linux_desktop::end_on_lost_display();
        // The plain window surface (shared-memory X images) presents a
        // frame in well under a millisecond; the accelerated framebuffer
        // would go through OpenGL in a software rasteriser on machines
        // without a GPU, costing far more to create and to present.  Frames
        // are unscaled, so a copy is all that showing needs.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    } else {
        linux_desktop::keep_compose_table();
    }
    w->window_.reset(SDL_CreateWindow(program::caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, program::width,
                                      program::height, SDL_WINDOW_SHOWN));
    if (!w->window_) {
        throw OpenError(reason("cannot create the window"));
    }
    // A fixed size, said as equal smallest and largest sizes: SDL's Wayland
    // driver does not say it for a window that is merely not resizable, and
    // a tiling compositor (sway) then tiles it at the screen's size instead
    // of floating it at its own.
    SDL_SetWindowMinimumSize(w->window_.get(), program::width, program::height);
    SDL_SetWindowMaximumSize(w->window_.get(), program::width, program::height);
    SDL_SysWMinfo wm;
    SDL_VERSION(&wm.version);
    try {
        if (SDL_GetWindowWMInfo(w->window_.get(), &wm) && wm.subsystem == SDL_SYSWM_WAYLAND) {
            // SDL's Wayland driver has only the accelerated window surface.
            w->presentation_ = std::make_unique<WaylandSurface>(wm.info.wl.display, wm.info.wl.surface);
        } else {
            w->presentation_ = std::make_unique<WindowSurface>(w->window_.get());
        }
    } catch (const std::runtime_error& e) {
        throw OpenError(e.what());
    }
    return w;
}

Window::Window(std::unique_ptr<Sdl> sdl) : sdl_(std::move(sdl))
{
}

Window::~Window()
{
    if (presentation_ && !presentation_->answers()) {
        // A compositor that has stopped answering would hold SDL's teardown,
        // and the program, for ever.  The window and SDL are left to the
        // end of the process, which closes the connection: the compositor
        // drops the window with it.
        presentation_.reset();
        static_cast<void>(window_.release());
        static_cast<void>(sdl_.release());
    }
}

void Window::decode_into(frames::Bytes jpeg, std::byte* out, int holder)
{
    // Binding the 23 later frames takes a fifth less when each frame's pages
    // are faulted in with one call before the decoder writes them.
    linux_desktop::populate(out, frames::frame_bytes);
    decoder_.decode(jpeg, presentation_->layout(), out, holder);
}

bool Window::wait_until_active()
{
    // Start-up runs on the first sign that the window is on screen: on a bare
    // X server with no window manager no focus event ever comes, but the
    // window is still shown and exposed.
    SDL_Event e;
    while (SDL_WaitEvent(&e)) {
        if (e.type == SDL_QUIT) {
            return false;
        }
        if (e.type == SDL_WINDOWEVENT &&
            (e.window.event == SDL_WINDOWEVENT_SHOWN || e.window.event == SDL_WINDOWEVENT_EXPOSED ||
             e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)) {
            SDL_RaiseWindow(window_.get());
            SDL_SetWindowInputFocus(window_.get());
            // Its size now that it is shown: a compositor may have given it
            // another before it was.
            int width = 0;
            int height = 0;
            SDL_GetWindowSize(window_.get(), &width, &height);
            presentation_->resized(width, height);
            return true;
        }
    }
    throw OpenError(reason("lost the window's events"));
}

void Window::show_pixels(const std::byte* pixels)
{
    presentation_->show(pixels);
}

void Window::clear()
{
    presentation_->clear();
}

void Window::process_events(EventHandler& handler)
{
    // Handle only what is queued now: a flood of pointer motion that keeps
    // arriving must not keep the loop from its next tick.
    SDL_PumpEvents();
    const int pending = SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_Event batch[128];
    for (int left = pending; left > 0;) {
        const int got = SDL_PeepEvents(batch, std::min(left, 128), SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (got <= 0) {
            return;
        }
        left -= got;
        for (int i = 0; i < got; ++i) {
            if (!dispatch(batch[i], handler)) {
                return;
            }
        }
    }
}

bool Window::dispatch(const SDL_Event& e, EventHandler& handler)
{
    if (e.type == SDL_QUIT) {
        presentation_->check_connection();
    }
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        presentation_->resized(e.window.data1, e.window.data2);
    }
    const Translation t = translate(e, pointer_);
    if (t.repaint) {
        presentation_->repaint();
    }
    for (int i = 0; i < t.count; ++i) {
        if (!handler.handle(t.events[static_cast<std::size_t>(i)])) {
            return false;
        }
    }
    return true;
}

}  // namespace platform::sdl

namespace platform {

std::unique_ptr<Platform> open_platform()
{
    return sdl::Window::open();
}

void report_failure(const char* line)
{
    std::fprintf(stderr, "%s\n", line);
}

}  // namespace platform
