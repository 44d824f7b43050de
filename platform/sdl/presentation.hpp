#pragma once

// How the SDL port puts frames on its window: SDL's own window surface on
// X11, shared memory of its own on Wayland.  The window decodes frames in
// the presentation's layout and hands it their pixels.

#include "frames/pixels.hpp"

#include <cstddef>

namespace platform::sdl {

class Presentation {
public:
    virtual ~Presentation() = default;

    // The layout the frames are decoded in.
    virtual frames::PixelLayout layout() const = 0;
    // Shows a frame's pixels (rows frame_pitch apart), unscaled at the
    // top-left, black beyond them.  The pixels must stay while they are
    // the frame last shown.
    virtual void show(const std::byte* pixels) = 0;
    // Black all over, at once: the last picture.
    virtual void clear() = 0;
    // The window was exposed: its contents are to be shown again.
    virtual void repaint() {}
    // The window's size, once it is shown and whenever it changes.
    virtual void resized(int /*width*/, int /*height*/) {}
    // SDL reports a lost display as a quit, like a close request: throws
    // std::runtime_error if the quit was that.
    virtual void check_connection() const {}
    // Whether the display still answers: SDL takes the window down with a
    // round trip to it, which has no limit.
    virtual bool answers() { return true; }
};

}  // namespace platform::sdl
