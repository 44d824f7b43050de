// The yardstick for the viewer's tick: a bare SDL2 loop that shows the same
// decoded frames through the same display path (the plain window surface)
// as fast as it can, pumping events once per frame.  Ends on a close request
// or SIGINT/SIGTERM.

#include "frames/embedded.hpp"
#include "frames/pixels.hpp"
#include "frames/turbojpeg.hpp"

#include <SDL.h>

#include <cstdio>
#include <cstring>

int main()
{
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bare_present: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("bare present loop", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          program::width, program::height, SDL_WINDOW_SHOWN);
    SDL_Surface* surface = window ? SDL_GetWindowSurface(window) : nullptr;
    if (!surface || surface->format->format != SDL_PIXELFORMAT_XRGB8888) {
        std::fprintf(stderr, "bare_present: no XRGB8888 window surface: %s\n", SDL_GetError());
        return 1;
    }
    const frames::FrameBlock block;
    frames::decode_all(frames::parse_frame_set(frames::embedded_frame_set()), frames::PixelLayout::bgrx, block);
    for (int slot = 0;; slot = (slot + 1) % program::frame_count) {
        const std::byte* from = block.frame(slot + 1);
        for (int y = 0; y < program::height; ++y) {
            std::memcpy(static_cast<unsigned char*>(surface->pixels) + static_cast<std::size_t>(y) * surface->pitch,
                        from + y * frames::frame_pitch, frames::frame_pitch);
        }
        SDL_UpdateWindowSurface(window);
        SDL_PumpEvents();
        if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) {
            break;
        }
    }
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
