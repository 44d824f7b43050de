#pragma once

// The program's window, VormoKidney, on the desktop: an SDL window whose
// client area is the picture surface.  Only this layer talks to SDL and X11.

#include "viewer/platform.hpp"

#include "frames/holders.hpp"

#include <memory>
#include <stdexcept>

struct SDL_Window;
union SDL_Event;

namespace platform {

inline constexpr const char* caption = "Vormo KidneyShape    Use: SpaceBar + - / * mouse , .      ESC to Quit";

// A failure to open the window; what() names the step and SDL's reason.
class OpenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Window final : public viewer::Platform {
public:
    // Opens the window, without waiting for it to appear.  Throws OpenError
    // when there is no display or the window cannot be made.
    static std::unique_ptr<Window> open();

    // Waits until the window is first shown, exposed or focused, then raises
    // it and asks for input focus.  Returns false if the window was closed
    // before that.
    bool wait_until_active();

    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // The pixel layout that show() can copy without converting.
    frames::PixelLayout pixel_layout() const { return layout_; }

    void show(const frames::Picture& picture) override;
    void process_events(viewer::EventHandler& handler) override;
    void clear() override;

private:
    struct Sdl;  // SDL_Init / SDL_Quit
    Window(std::unique_ptr<Sdl> sdl, SDL_Window* window);
    void present();
    // Hands one SDL event to the handler in the viewer's terms; returns
    // false when the handler ends the program.
    bool dispatch(const SDL_Event& event, viewer::EventHandler& handler);

    std::unique_ptr<Sdl> sdl_;
    SDL_Window* window_;
    frames::PixelLayout layout_ = frames::PixelLayout::bgrx;
    bool copy_directly_ = false;  // the surface's layout is one the decoder writes
};

}  // namespace platform
