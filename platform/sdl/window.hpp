#pragma once

// The program's window, VormoKidney, on a Linux desktop: an SDL window whose
// client area is the picture surface, showing frames that TurboJPEG decoded
// straight into the surface's pixel layout: SDL's window surface on X11,
// shared memory of its own on Wayland.

#include "platform/pixel_port.hpp"
#include "presentation.hpp"
#include "translate.hpp"

#include "frames/pixels.hpp"
#include "frames/turbojpeg.hpp"

#include <memory>

struct SDL_Window;
union SDL_Event;

namespace platform::sdl {

class Window final : public PixelPort {
public:
    // Opens the window, without waiting for it to appear.  Throws OpenError
    // when there is no display or the window cannot be made.
    static std::unique_ptr<Window> open();

    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window() override;

    bool wait_until_active() override;
    void process_events(EventHandler& handler) override;
    void clear() override;
    // On standard error; the window goes when the program ends, at once.
    void fail(const char* line) override { report_failure(line); }

private:
    struct Sdl;  // SDL_Init / SDL_Quit
    struct DestroyWindow {
        void operator()(SDL_Window* window) const;
    };

    explicit Window(std::unique_ptr<Sdl> sdl);
    // Frames are decoded in the presentation's layout.
    void decode_into(frames::Bytes jpeg, std::byte* out, int holder) override;
    void show_pixels(const std::byte* pixels) override;
    // Hands one SDL event to the handler in the viewer's terms; returns
    // false when the handler ends the program.
    bool dispatch(const SDL_Event& event, EventHandler& handler);

    std::unique_ptr<Sdl> sdl_;  // declared first: SDL ends after the window is gone
    std::unique_ptr<SDL_Window, DestroyWindow> window_;
    std::unique_ptr<Presentation> presentation_;
    frames::TurboJpeg decoder_;
    PointerRules pointer_;
};

}  // namespace platform::sdl
