#include "translate.hpp"

#include "platform/characters.hpp"

#include <SDL.h>

#include <cstring>
#include <string_view>

namespace platform::sdl {

namespace {

Translation one(const Event& e)
{
    Translation t;
    t.events[0] = e;
    t.count = 1;
    return t;
}

}  // namespace

Translation translate(const SDL_Event& e, Pointer& pointer)
{
    switch (e.type) {
    case SDL_QUIT: return one(CloseRequest{});
    case SDL_TEXTINPUT: {
        Translation t;
        const std::string_view text(e.text.text, strnlen(e.text.text, sizeof e.text.text));
        decode_utf8(text, [&t](char32_t code) {
            t.events[static_cast<std::size_t>(t.count++)] = TypedCharacter{code};
            return t.count < static_cast<int>(t.events.size());
        });
        return t;
    }
    case SDL_KEYDOWN:
        // No text is sent for control characters: ESC, and Ctrl+[ which
        // types the same character, arrive as key presses.
        if (e.key.keysym.sym == SDLK_ESCAPE ||
            (e.key.keysym.sym == SDLK_LEFTBRACKET && (e.key.keysym.mod & KMOD_CTRL) != 0)) {
            return one(TypedCharacter{program::escape});
        }
        return {};
    case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT && e.button.clicks == 1) {
            return one(Click{});
        }
        return {};
    case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT && e.button.clicks == 2) {
            return one(DoubleClick{});
        }
        return {};
    case SDL_MOUSEMOTION:
        // SDL also reports the pointer where it already was: when it takes
        // or gives up the pointer for a held button.  Such a move would
        // step mouse-step mode forwards in the middle of an upward drag.
        if (pointer.known && e.motion.x == pointer.x && e.motion.y == pointer.y) {
            return {};
        }
        pointer = {true, e.motion.x, e.motion.y};
        return one(to_user_scale(e.motion.x, e.motion.y));
    case SDL_WINDOWEVENT: {
        Translation t;
        t.repaint = e.window.event == SDL_WINDOWEVENT_EXPOSED;
        return t;
    }
    default: return {};
    }
}

}  // namespace platform::sdl
