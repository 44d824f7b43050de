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

// The pointer stays with the window while the button is held, so that
// moves outside it still arrive, as they do on X11.  With CS_DBLCLKS a
// double-click comes as down, up, double-click, up: the second press is the
// double-click.
void pressed(int count, InputState& state, Translation& t)
{
    t.capture = Capture::take;
    t.add_any(state.pointer.pressed(count));
}

void released(InputState& state, Translation& t)
{
    if (state.pointer.held()) {
        t.capture = Capture::release;
    }
    t.add_any(state.pointer.released());
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
    case WM_MOUSEMOVE: t.add_any(state.pointer.moved(GET_X_LPARAM(l), GET_Y_LPARAM(l))); break;
    case WM_LBUTTONDOWN: pressed(1, state, t); break;
    case WM_LBUTTONDBLCLK: pressed(2, state, t); break;
    case WM_LBUTTONUP: released(state, t); break;
    case WM_CAPTURECHANGED:  // another window took the pointer: the release will go there
        state.pointer.lost();
        t.by_default = true;
        break;
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
