#pragma once

// The window's geometry at any DPI, as plain computations that a table can
// check: its style, its frame and place for a DPI, and its limits.

#include <windows.h>

namespace platform::win32 {

// The window's style: caption, system menu and minimise box; no resizing
// and no maximising.
inline constexpr DWORD window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The functions for windows at any DPI came with Windows 10 (1607); they
// are looked up when first needed, so that the program still starts where
// they are missing.  There the window is sized for the system's DPI, the
// only one.
class DpiFunctions {
public:
    DpiFunctions();
    // The DPI the window is drawn at; 0 where the system cannot tell.
    UINT dpi_of(HWND hwnd) const;
    // The outer size of the window whose client area is the frames' size,
    // at the DPI (0: the system's).
    SIZE frame(UINT dpi) const;
    // The same at the DPI the window is drawn at.
    SIZE frame_of(HWND hwnd) const { return frame(dpi_of(hwnd)); }

private:
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    using DpiForWindow = UINT(WINAPI*)(HWND);
    Adjust adjust_ = nullptr;
    DpiForWindow dpi_for_window_ = nullptr;
};

const DpiFunctions& dpi_functions();

// The window rectangle for a new DPI.  Where the system first asked for
// the window's size at that DPI (WM_GETDPISCALEDSIZE, per-monitor DPI v2)
// it suggests exactly the window at that size, placed where the move across
// monitors wants it: taken as given.  Elsewhere the suggestion scales the
// client area with the DPI, which the frames are not, so only its top-left
// corner is kept, with the frame that keeps the client area width x height.
RECT rectangle_for_dpi(const RECT& suggested, SIZE frame, bool size_asked);

// Where the window of the given frame opens: centred in the work area (of
// the screen under the pointer), or at its top-left corner where it does
// not fit, so that the caption stays on the screen.
POINT centred_in(const RECT& work, SIZE frame);

// The tracking limits that let the window keep its whole size on a screen
// shorter or narrower than it (the system's default maximum is the screen),
// and its maximized size and place: its own size, where it is (relative to
// its monitor), so that however it is shown its client area keeps the
// frames' size.
void allow_full_size(MINMAXINFO& limits, SIZE frame, POINT at);

}  // namespace platform::win32
