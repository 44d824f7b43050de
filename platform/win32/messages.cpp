#include "messages.hpp"

#include <windowsx.h>

#include <algorithm>

namespace platform::win32 {

Translation translate(UINT message, WPARAM w, LPARAM l, InputState& state)
{
    Translation t;
    switch (message) {
    case WM_CHAR: {
        // UTF-16 units; a character outside the BMP comes as two messages.
        // ESC and Ctrl+[ both type 27.
        char32_t codes[2];
        const int n = state.joiner.feed(static_cast<char16_t>(w), codes);
        for (int i = 0; i < n; ++i) {
            t.add(TypedCharacter{codes[i]});
        }
        return t;
    }
    case WM_MOUSEMOVE: {
        // Windows also reports the pointer where it already was: when the
        // capture is released, and when a window appears or disappears under
        // it.  Such a move would start mouse-step mode stepping.
        const int x = GET_X_LPARAM(l);
        const int y = GET_Y_LPARAM(l);
        if (!state.moved || x != state.last_x || y != state.last_y) {
            state.moved = true;
            state.last_x = x;
            state.last_y = y;
            t.add(to_user_scale(x, y));
        }
        return t;
    }
    case WM_LBUTTONDOWN:
        // The pointer stays with the window while the button is held, so
        // that moves outside it still arrive, as they do on X11.
        state.button_held = true;
        state.release_ends_double_click = false;
        t.capture = Capture::take;
        return t;
    case WM_LBUTTONDBLCLK:
        // With CS_DBLCLKS a double-click comes as down, up, double-click,
        // up: the second press is the double-click, and its release is no
        // click of its own.
        state.button_held = true;
        state.release_ends_double_click = true;
        t.capture = Capture::take;
        t.add(DoubleClick{});
        return t;
    case WM_LBUTTONUP:
        // A release whose press was elsewhere (a window closed under the
        // pointer, a drag that ended here) is no click.
        if (state.button_held) {
            state.button_held = false;
            t.capture = Capture::release;
            if (state.release_ends_double_click) {
                state.release_ends_double_click = false;
            } else {
                t.add(Click{});
            }
        }
        return t;
    case WM_CAPTURECHANGED:
        // Another window took the pointer while the button was held: the
        // release will go there.
        state.button_held = false;
        state.release_ends_double_click = false;
        t.by_default = true;
        return t;
    case WM_SYSCOMMAND:
        // Alt or F10 tapped alone would enter the keyboard menu, which stops
        // the loop until the next key and swallows that key.  Alt+Space (the
        // system menu) and everything else go on as usual.
        if ((w & 0xFFF0) == SC_KEYMENU && l == 0) {
            return t;
        }
        t.by_default = true;
        return t;
    case WM_CLOSE:  // the close box, the system menu, Alt+F4, or WM_CLOSE from elsewhere
        t.add(CloseRequest{});
        return t;
    case WM_QUERYENDSESSION: t.answer = TRUE; return t;
    case WM_ENDSESSION:
        if (w) {
            t.add(CloseRequest{});
        }
        return t;
    case WM_ERASEBKGND: t.answer = 1; return t;  // every paint covers the whole client area
    default:
        // A click that activates the window counts like any other: the
        // default answer to WM_MOUSEACTIVATE, MA_ACTIVATE, passes it on.
        t.by_default = true;
        return t;
    }
}

namespace {

template <typename F> F load(HMODULE module, const char* name)
{
    // Through a function type without parameters, which any function
    // pointer converts to and from.
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

DpiFunctions::DpiFunctions()
{
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    adjust_ = load<Adjust>(user32, "AdjustWindowRectExForDpi");
    dpi_for_window_ = load<DpiForWindow>(user32, "GetDpiForWindow");
}

UINT DpiFunctions::dpi_of(HWND hwnd) const
{
    return dpi_for_window_ && hwnd ? dpi_for_window_(hwnd) : 0;
}

SIZE DpiFunctions::frame(UINT dpi) const
{
    RECT r{0, 0, program::width, program::height};
    if (adjust_ && dpi) {
        adjust_(&r, window_style, FALSE, 0, dpi);
    } else {
        AdjustWindowRectEx(&r, window_style, FALSE, 0);
    }
    return {r.right - r.left, r.bottom - r.top};
}

const DpiFunctions& dpi_functions()
{
    static const DpiFunctions functions;
    return functions;
}

RECT rectangle_for_dpi(const RECT& suggested, SIZE frame, bool size_asked)
{
    if (size_asked) {
        return suggested;
    }
    return {suggested.left, suggested.top, suggested.left + frame.cx, suggested.top + frame.cy};
}

POINT centred_in(const RECT& work, SIZE frame)
{
    return {work.left + std::max(0L, (work.right - work.left - frame.cx) / 2),
            work.top + std::max(0L, (work.bottom - work.top - frame.cy) / 2)};
}

void allow_full_size(MINMAXINFO& limits, SIZE frame, POINT at)
{
    limits.ptMaxTrackSize.x = std::max(limits.ptMaxTrackSize.x, frame.cx);
    limits.ptMaxTrackSize.y = std::max(limits.ptMaxTrackSize.y, frame.cy);
    limits.ptMaxSize = {frame.cx, frame.cy};
    limits.ptMaxPosition = at;
}

}  // namespace platform::win32
