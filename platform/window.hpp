#pragma once

// The program's window, VormoKidney, on the desktop: an SDL window whose
// client area is the picture surface.  Only this layer talks to SDL and X11.

#include "viewer/platform.hpp"

#include "frames/holders.hpp"

#include <memory>

struct SDL_Window;
union SDL_Event;

namespace platform {

class Window final : public viewer::Platform {
public:
    // Opens the window, without waiting for it to appear.  Throws
    // viewer::OpenError when there is no display or the window cannot be
    // made.
    static std::unique_ptr<Window> open();

    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    frames::PixelLayout pixel_layout() const override { return layout_; }
    bool wait_until_active() override;
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
