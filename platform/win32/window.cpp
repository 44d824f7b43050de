// The program's window, VormoKidney, on Windows: a fixed-size Win32 window
// whose client area is the picture surface, drawn with GDI, showing frames
// that Windows' own codec decoded.

#include "wic.hpp"

#include "frames/pixels.hpp"
#include "platform/characters.hpp"
#include "platform/platform.hpp"

#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace platform::win32 {

namespace {

constexpr wchar_t class_name[] = L"VormoKidney";
constexpr int icon_resource = 1;  // the generator's icon, in the .rc file

// A fixed-size window: caption, system menu and minimise box; no resizing
// and no maximising.
constexpr DWORD window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// A pass handles at most this many messages.  Pointer motion cannot flood
// the queue (Windows keeps one pending WM_MOUSEMOVE and updates it), and the
// time stamps end a pass at the first input that came after it began; this
// bound only guards against a storm of posted messages from elsewhere, far
// beyond what a person can produce in one tick.
constexpr int max_messages_per_pass = 4096;

std::wstring widen(const char* text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string reason(const char* step)
{
    const DWORD code = GetLastError();
    if (code == ERROR_SUCCESS) {
        return std::string(step) + ": the system gave no reason";
    }
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string line = std::string(step) + ": " + (text ? text : "error " + std::to_string(code));
    LocalFree(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '.')) {
        line.pop_back();
    }
    return line;
}

// Keyboard and mouse messages, whose time stamps say when the input came.
bool is_input(UINT message)
{
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

class Window final : public Platform {
public:
    static std::unique_ptr<Window> open();
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const Picture& decode(frames::Bytes jpeg, int holder) override;
    bool wait_until_active() override;
    void show(const Picture& picture) override;
    void process_events(EventHandler& handler) override;
    void clear() override;

private:
    // A decoded frame: frames::frame_bytes of the block, B, G, R, X bytes.
    struct Pixels final : Picture {
        const std::byte* bytes = nullptr;
    };

    Window() = default;
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT on_message(UINT message, WPARAM w, LPARAM l);
    void draw(HDC dc) const;
    // Puts what draw() drew on the screen before the pause begins.
    void put_on_screen();
    // Hands the events the window procedure queued to the handler; returns
    // false when the handler ends the program.
    bool deliver(EventHandler& handler);

    HINSTANCE instance_ = GetModuleHandleW(nullptr);
    HWND hwnd_ = nullptr;
    HDC dc_ = nullptr;  // the window's own device context (CS_OWNDC)
    BITMAPINFO bitmap_{};
    const Pixels* current_ = nullptr;  // what WM_PAINT repaints; none once cleared
    std::vector<Event> queued_;
    Utf16Joiner joiner_;
    bool on_screen_ = false;
    bool closing_ = false;
    bool release_ends_double_click_ = false;
    Wic decoder_;
    frames::FrameBlock block_;
    std::array<Pixels, program::frame_count> pictures_;
};

std::unique_ptr<Window> Window::open()
{
    // Frames are shown pixel for pixel: a window the system scales for a
    // high-DPI screen would blur them.
    SetProcessDPIAware();
    std::unique_ptr<Window> w(new Window);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = procedure;
    wc.hInstance = w->instance_;
    wc.hIcon = LoadIconW(w->instance_, MAKEINTRESOURCEW(icon_resource));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = class_name;
    if (!RegisterClassExW(&wc)) {
        throw OpenError(reason("cannot register the window class"));
    }
    RECT frame{0, 0, program::width, program::height};
    AdjustWindowRectEx(&frame, window_style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{0, 0, width, height};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    const LONG y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
    // WM_NCCREATE stores the object with the window; CreateWindowExW fails
    // if it cannot.
    if (!CreateWindowExW(0, class_name, widen(program::caption).c_str(), window_style, x, y, width, height, nullptr,
                         nullptr, w->instance_, w.get())) {
        throw OpenError(reason("cannot create the window"));
    }
    w->dc_ = GetDC(w->hwnd_);
    BITMAPINFOHEADER& h = w->bitmap_.bmiHeader;
    h.biSize = sizeof h;
    h.biWidth = program::width;
    h.biHeight = -program::height;  // top row first, as the frames are stored
    h.biPlanes = 1;
    h.biBitCount = 32;  // B, G, R, X in memory
    h.biCompression = BI_RGB;
    ShowWindow(w->hwnd_, SW_SHOWNORMAL);
    return w;
}

Window::~Window()
{
    // The window and its class end with the process, as Windows ends a
    // thread's windows itself; destroying the window first would only hold
    // up the exit (Wine waits for the window manager to withdraw it, two
    // seconds when there is none).  Messages that still come find no
    // object.
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    }
}

LRESULT CALLBACK Window::procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->on_message(message, w, l) : DefWindowProcW(hwnd, message, w, l);
}

LRESULT Window::on_message(UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_CHAR: {
        // UTF-16 units; a character outside the BMP comes as two messages.
        // ESC and Ctrl+[ both type 27.
        char32_t codes[2];
        const int n = joiner_.feed(static_cast<char16_t>(w), codes);
        for (int i = 0; i < n; ++i) {
            queued_.emplace_back(TypedCharacter{codes[i]});
        }
        return 0;
    }
    case WM_MOUSEMOVE: queued_.emplace_back(to_user_scale(GET_X_LPARAM(l), GET_Y_LPARAM(l))); return 0;
    case WM_LBUTTONDOWN:
        // Keep the pointer while the button is held, so that moves outside
        // the window still reach it, as they do on X11.
        SetCapture(hwnd_);
        return 0;
    case WM_LBUTTONDBLCLK:
        // With CS_DBLCLKS a double-click comes as down, up, double-click,
        // up: the second press is the double-click, and its release is no
        // click of its own.
        SetCapture(hwnd_);
        release_ends_double_click_ = true;
        queued_.emplace_back(DoubleClick{});
        return 0;
    case WM_LBUTTONUP:
        ReleaseCapture();
        if (release_ends_double_click_) {
            release_ends_double_click_ = false;
        } else {
            queued_.emplace_back(Click{});
        }
        return 0;
    case WM_CLOSE:  // the close box, the system menu, Alt+F4, or WM_CLOSE from elsewhere
        closing_ = true;
        queued_.emplace_back(CloseRequest{});
        return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
        if (w) {
            closing_ = true;
            queued_.emplace_back(CloseRequest{});
        }
        return 0;
    case WM_SHOWWINDOW:
    case WM_ACTIVATE: on_screen_ = on_screen_ || w != 0; break;
    case WM_ERASEBKGND: return 1;  // every paint covers the whole client area
    case WM_PAINT: {
        on_screen_ = true;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        draw(dc);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    default: break;
    }
    // A click that activates the window counts like any other: the default
    // answer to WM_MOUSEACTIVATE, MA_ACTIVATE, passes the click on.
    return DefWindowProcW(hwnd_, message, w, l);
}

void Window::draw(HDC dc) const
{
    if (current_) {
        SetDIBitsToDevice(dc, 0, 0, program::width, program::height, 0, 0, 0, program::height, current_->bytes,
                          &bitmap_, DIB_RGB_COLORS);
    } else {
        const RECT all{0, 0, program::width, program::height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
}

bool Window::wait_until_active()
{
    // Start-up runs on the first sign that the window is on screen; later
    // activations change nothing.  Input that comes meanwhile waits for the
    // first event pass.
    MSG msg;
    while (!on_screen_ && !closing_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            throw OpenError(reason("lost the window's messages"));
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (closing_) {
        return false;
    }
    SetForegroundWindow(hwnd_);
    SetFocus(hwnd_);
    return true;
}

const Picture& Window::decode(frames::Bytes jpeg, int holder)
{
    Pixels& p = pictures_.at(static_cast<std::size_t>(holder - 1));
    std::byte* out = block_.frame(holder);
    decoder_.decode(jpeg, out, holder);
    p.bytes = out;
    return p;
}

void Window::show(const Picture& picture)
{
    current_ = &static_cast<const Pixels&>(picture);
    draw(dc_);
    put_on_screen();
}

void Window::clear()
{
    current_ = nullptr;
    draw(dc_);
    put_on_screen();
}

void Window::put_on_screen()
{
    // GdiFlush hands the thread's batched drawing to the system.  Wine keeps
    // a window's drawing in pixels it shares with the X server and copies it
    // to the screen when the thread looks for messages and finds none (else
    // at most every 50 ms); the server reads those pixels some time after
    // the copy is asked for.  Asked for only at the end of the event pass,
    // the copy would race the next frame's drawing, and about one frame in
    // five would never reach the screen.  A look at the queue that waits for
    // nothing asks for it now, and the frame then stays unchanged for the
    // whole pause.
    GdiFlush();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

bool Window::deliver(EventHandler& handler)
{
    std::size_t i = 0;
    bool go_on = true;
    while (go_on && i < queued_.size()) {
        go_on = handler.handle(queued_[i++]);
    }
    queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(i));
    return go_on;
}

void Window::process_events(EventHandler& handler)
{
    // Handle what was queued when the pass began: the pass ends after the
    // first keyboard or mouse message stamped later than its start.  The
    // characters that a key press handled here types are posted to the
    // front of the queue, so they are handled in the same pass.
    const DWORD start = GetTickCount();
    if (!deliver(handler)) {
        return;
    }
    MSG msg;
    for (int handled = 0; handled < max_messages_per_pass && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++handled) {
        if (msg.message == WM_QUIT) {
            queued_.emplace_back(CloseRequest{});
        } else {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!deliver(handler)) {
            return;
        }
        if (is_input(msg.message) && static_cast<LONG>(msg.time - start) > 0) {
            return;
        }
    }
}

}  // namespace

}  // namespace platform::win32

namespace platform {

std::unique_ptr<Platform> open_platform()
{
    return win32::Window::open();
}

void report_failure(const char* line)
{
    // A program started from a console, or under a test harness, has a
    // standard error to write to; one started from the desktop has none.
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN) {
        const std::string text = std::string(line) + "\n";
        DWORD written = 0;
        WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        MessageBoxW(nullptr, win32::widen(line).c_str(), L"Vormo KidneyShape", MB_OK | MB_ICONERROR);
    }
}

}  // namespace platform
