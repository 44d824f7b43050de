#include "translate.hpp"

#include "platform/characters.hpp"

#include <SDL.h>

#include <cstring>
#include <string_view>

namespace platform::sdl {

namespace {

Translation one(const std::optional<Event>& e)
{
    Translation t;
    if (e) {
        t.events[0] = *e;
        t.count = 1;
    }
    return t;
}

}  // namespace

Translation translate(const SDL_Event& e, PointerRules& pointer)
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
    // SDL counts the presses of a double-click, and keeps the pointer
    // while the button is held.
    case SDL_MOUSEBUTTONDOWN:
        return e.button.button == SDL_BUTTON_LEFT ? one(pointer.pressed(e.button.clicks)) : Translation{};
    case SDL_MOUSEBUTTONUP: return e.button.button == SDL_BUTTON_LEFT ? one(pointer.released()) : Translation{};
    case SDL_MOUSEMOTION: return one(pointer.moved(e.motion.x, e.motion.y));
    case SDL_WINDOWEVENT: {
        Translation t;
        t.repaint = e.window.event == SDL_WINDOWEVENT_EXPOSED;
        return t;
    }
    default: return {};
    }
}

}  // namespace platform::sdl
