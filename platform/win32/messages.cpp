#include "messages.hpp"

#include <windowsx.h>

namespace platform::win32 {

namespace {

// UTF-16 units; a character outside the BMP comes as two messages.  ESC and
// Ctrl+[ both type 27.
void typed(WPARAM w, InputState& state, Translation& t)
{
    char32_t codes[2];
    const int n = state.joiner.feed(static_cast<char16_t>(w), codes);
    for (int i = 0; i < n; ++i) {
        t.add(TypedCharacter{codes[i]});
    }
}

// Windows also reports the pointer where it already was: when the capture
// is released, and when a window appears or disappears under it.  Such a
// move would start mouse-step mode stepping.
void moved(LPARAM l, InputState& state, Translation& t)
{
    const int x = GET_X_LPARAM(l);
    const int y = GET_Y_LPARAM(l);
    if (!state.moved || x != state.last_x || y != state.last_y) {
        state.moved = true;
        state.last_x = x;
        state.last_y = y;
        t.add(to_user_scale(x, y));
    }
}

// The pointer stays with the window while the button is held, so that
// moves outside it still arrive, as they do on X11.  With CS_DBLCLKS a
// double-click comes as down, up, double-click, up: the second press is the
// double-click, and its release is no click of its own.
void pressed(bool double_click, InputState& state, Translation& t)
{
    state.button_held = true;
    state.release_ends_double_click = double_click;
    t.capture = Capture::take;
    if (double_click) {
        t.add(DoubleClick{});
    }
}

// A release whose press was elsewhere (a window closed under the pointer, a
// drag that ended here) is no click.
void released(InputState& state, Translation& t)
{
    if (!state.button_held) {
        return;
    }
    state.button_held = false;
    t.capture = Capture::release;
    if (state.release_ends_double_click) {
        state.release_ends_double_click = false;
    } else {
        t.add(Click{});
    }
}

// Another window took the pointer while the button was held: the release
// will go there.
void capture_lost(InputState& state, Translation& t)
{
    state.button_held = false;
    state.release_ends_double_click = false;
    t.by_default = true;
}

// Alt or F10 tapped alone would enter the keyboard menu, which stops the
// loop until the next key and swallows that key.  Alt+Space (the system
// menu) and everything else go on as usual.
void system_command(WPARAM w, LPARAM l, Translation& t)
{
    t.by_default = !((w & 0xFFF0) == SC_KEYMENU && l == 0);
}

}  // namespace

Translation translate(UINT message, WPARAM w, LPARAM l, InputState& state)
{
    Translation t;
    switch (message) {
    case WM_CHAR: typed(w, state, t); break;
    case WM_MOUSEMOVE: moved(l, state, t); break;
    case WM_LBUTTONDOWN: pressed(false, state, t); break;
    case WM_LBUTTONDBLCLK: pressed(true, state, t); break;
    case WM_LBUTTONUP: released(state, t); break;
    case WM_CAPTURECHANGED: capture_lost(state, t); break;
    case WM_SYSCOMMAND: system_command(w, l, t); break;
    case WM_CLOSE:  // the close box, the system menu, Alt+F4, or WM_CLOSE from elsewhere
        t.add(CloseRequest{});
        break;
    case WM_QUERYENDSESSION: t.answer = TRUE; break;
    case WM_ENDSESSION:
        if (w) {
            t.add(CloseRequest{});
        }
        break;
    case WM_ERASEBKGND: t.answer = 1; break;  // every paint covers the whole client area
    default:
        // A click that activates the window counts like any other: the
        // default answer to WM_MOUSEACTIVATE, MA_ACTIVATE, passes it on.
        t.by_default = true;
        break;
    }
    return t;
}

}  // namespace platform::win32
