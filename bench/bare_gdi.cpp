// The yardstick for the Windows program: a bare Win32 loop that shows the
// same frames, decoded by the same codec, with GDI at the start-up pace (the
// same counting pause), and empties its message queue once per frame.  Ends
// on ESC or a close request, destroying its window.  Under Wine it tells
// what the platform does on its own: how many of the frames drawn reach the
// screen, and how long a program takes to end.
//
//   bare_gdi [flush]    with flush, a look at the message queue that waits
//                       for nothing follows each draw

#include "frames/embedded.hpp"
#include "frames/pixels.hpp"
#include "platform/win32/wic.hpp"
#include "viewer/pause.hpp"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

constexpr wchar_t class_name[] = L"bare GDI loop";  // also the caption
bool ended = false;

LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l)
{
    if ((message == WM_CHAR && w == 27) || message == WM_CLOSE) {
        ended = true;
        return 0;
    }
    return DefWindowProcW(hwnd, message, w, l);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool flush = argc > 1 && std::strcmp(argv[1], "flush") == 0;
    const frames::FrameBlock block;
    try {
        const frames::FrameSet set = frames::parse_frame_set(frames::embedded_frame_set());
        platform::win32::Wic decoder;
        for (int s = 0; s < program::frame_count; ++s) {
            decoder.decode(set.jpeg[s], block.frame(s + 1), s + 1);
        }
    } catch (const std::exception& e) {  // a bad frame, or no codec
        std::fprintf(stderr, "bare_gdi: %s\n", e.what());
        return 1;
    }

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = class_name;
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, program::width, program::height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const HWND hwnd =
        RegisterClassExW(&wc)
            ? CreateWindowExW(0, class_name, class_name, style, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, nullptr)
            : nullptr;
    if (!hwnd) {
        std::fprintf(stderr, "bare_gdi: cannot create the window\n");
        return 1;
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    const HDC dc = GetDC(hwnd);
    BITMAPINFO bitmap{};
    bitmap.bmiHeader.biSize = sizeof bitmap.bmiHeader;
    bitmap.bmiHeader.biWidth = program::width;
    bitmap.bmiHeader.biHeight = -program::height;
    bitmap.bmiHeader.biPlanes = 1;
    bitmap.bmiHeader.biBitCount = 32;
    bitmap.bmiHeader.biCompression = BI_RGB;

    for (int slot = 0; !ended; slot = (slot + 1) % program::frame_count) {
        SetDIBitsToDevice(dc, 0, 0, program::width, program::height, 0, 0, 0, program::height, block.frame(slot + 1),
                          &bitmap, DIB_RGB_COLORS);
        if (flush) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
        }
        viewer::busy_count(program::startup_pace);
        MSG msg;
        while (!ended && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DestroyWindow(hwnd);
    return 0;
}
