// The SDL window's events in the viewer's terms, from hand-made events with
// no display.

#include "platform/sdl/translate.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::Event;

SDL_Event text(const char* utf8)
{
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
    return e;
}

SDL_Event key(SDL_Keycode sym, Uint16 mod = KMOD_NONE)
{
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event button(Uint32 type, Uint8 which, Uint8 clicks)
{
    SDL_Event e{};
    e.type = type;
    e.button.button = which;
    e.button.clicks = clicks;
    return e;
}

SDL_Event motion(int x, int y)
{
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event window(Uint8 what)
{
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
}

SDL_Event of_type(Uint32 type)
{
    SDL_Event e{};
    e.type = type;
    return e;
}

std::vector<Event> events_of(const platform::sdl::Translation& t)
{
    return {t.events.begin(), t.events.begin() + t.count};
}

TEST(Translate, EachSdlEventBecomesTheViewersOwn)
{
    using platform::Click;
    using platform::CloseRequest;
    using platform::DoubleClick;
    using platform::TypedCharacter;
    struct Row {
        const char* what;
        SDL_Event event;
        std::vector<Event> expected;
        bool repaint = false;
    };
    const std::vector<Row> rows = {
        {"close box, SIGINT, SIGTERM", of_type(SDL_QUIT), {CloseRequest{}}},
        {"typed plus", text("+"), {TypedCharacter{U'+'}}},
        {"several characters in one event",
         text("-/ "),
         {TypedCharacter{U'-'}, TypedCharacter{U'/'}, TypedCharacter{U' '}}},
        {"two-byte UTF-8", text("\xC3\xA9"), {TypedCharacter{0xE9}}},
        {"four-byte UTF-8", text("\xF0\x9F\x98\x80"), {TypedCharacter{0x1F600}}},
        {"malformed UTF-8", text("\xC3+"), {TypedCharacter{0xFFFD}, TypedCharacter{U'+'}}},
        {"overlong UTF-8 for a bound key", text("\xC0\xAF"), {TypedCharacter{0xFFFD}}},
        {"UTF-8 of a surrogate", text("\xED\xA0\x80"), {TypedCharacter{0xFFFD}}},
        {"UTF-8 past U+10FFFF", text("\xF4\x90\x80\x80"), {TypedCharacter{0xFFFD}}},
        {"ESC key", key(SDLK_ESCAPE), {TypedCharacter{27}}},
        {"Ctrl+[", key(SDLK_LEFTBRACKET, KMOD_LCTRL), {TypedCharacter{27}}},
        {"[ alone types text, not a key", key(SDLK_LEFTBRACKET), {}},
        {"other keys type text, not keys", key(SDLK_PLUS), {}},
        {"left press of a first click", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 1), {}},
        {"left release of a single click", button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 1), {Click{}}},
        {"second left press", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 2), {DoubleClick{}}},
        {"left release ending a double-click", button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 2), {}},
        {"right button", button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 1), {}},
        {"right double-click", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 2), {}},
        {"pointer move", motion(888, 664), {platform::to_user_scale(888, 664)}},
        {"pointer left of the window while dragging", motion(-40, 10), {platform::to_user_scale(-40, 10)}},
        {"the pointer reported where it already was", motion(-40, 10), {}},
        {"and then moved", motion(-40, 11), {platform::to_user_scale(-40, 11)}},
        {"exposed", window(SDL_WINDOWEVENT_EXPOSED), {}, true},
        {"focus gained again", window(SDL_WINDOWEVENT_FOCUS_GAINED), {}},
        {"key release", of_type(SDL_KEYUP), {}},
        {"wheel", of_type(SDL_MOUSEWHEEL), {}},
    };
    platform::PointerRules pointer;  // the rows come one after the other
    for (const Row& row : rows) {
        const platform::sdl::Translation t = platform::sdl::translate(row.event, pointer);
        EXPECT_EQ(events_of(t), row.expected) << row.what;
        EXPECT_EQ(t.repaint, row.repaint) << row.what;
    }
}

TEST(Translate, AFullTextBufferIsDeliveredWhole)
{
    const std::string full(sizeof SDL_TextInputEvent::text - 1, '.');
    platform::PointerRules pointer;
    const platform::sdl::Translation t = platform::sdl::translate(text(full.c_str()), pointer);
    EXPECT_EQ(t.count, static_cast<int>(full.size()));
}

}  // namespace
