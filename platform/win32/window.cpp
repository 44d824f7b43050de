// The program's window, VormoKidney, on Windows: a fixed-size Win32 window
// whose client area is the picture surface, drawn with GDI, showing frames
// that Windows' own codec decoded.

#include "geometry.hpp"
#include "messages.hpp"
#include "system_text.hpp"
#include "wic.hpp"

#include "frames/pixels.hpp"
#include "platform/characters.hpp"
#include "platform/pixel_port.hpp"

#include <windows.h>

#include <imm.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace platform::win32 {

namespace {

constexpr wchar_t class_name[] = L"VormoKidney";
constexpr int icon_resource = 1;  // the generator's icon, in the .rc file

// A pass handles at most this many messages.  Pointer motion cannot flood
// the queue (Windows keeps one pending WM_MOUSEMOVE and updates it), and the
// time stamps end a pass at the first input that came after it began; this
// bound only guards against a storm of posted messages from elsewhere, far
// beyond what a person can produce in one tick.
constexpr int max_messages_per_pass = 4096;

std::string reason(const char* step)
{
    const DWORD code = GetLastError();
    const std::string words = code == ERROR_SUCCESS ? "the system gave no reason" : system_message(code);
    return std::string(step) + ": " + (words.empty() ? "error " + std::to_string(code) : words);
}

// Keyboard and mouse messages, whose time stamps say when the input came.
bool is_input(UINT message)
{
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

// The registered window class, unregistered when its owner goes (which
// fails, harmlessly, while a window of it is left for the process's end).
class WindowClass {
public:
    explicit WindowClass(const WNDCLASSEXW& wc) : instance_(wc.hInstance)
    {
        if (!RegisterClassExW(&wc)) {
            throw OpenError(reason("cannot register the window class"));
        }
    }
    ~WindowClass() { UnregisterClassW(class_name, instance_); }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

private:
    HINSTANCE instance_;
};

// The window itself.  After a normal end it ends with the process, as
// Windows ends a thread's windows itself: destroying it first would only
// hold up the exit (Wine waits for the window manager to withdraw it, two
// seconds when there is none).  When the program fails it is destroyed at
// once, so that the message saying why does not sit beside a window that
// has stopped.  Once it is detached, messages that still come find no
// object.
class WindowHandle {
public:
    WindowHandle() = default;
    ~WindowHandle() { detach(); }
    WindowHandle(const WindowHandle&) = delete;
    WindowHandle& operator=(const WindowHandle&) = delete;
    void attach(HWND hwnd) { hwnd_ = hwnd; }
    void detach()
    {
        if (hwnd_) {
            SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        }
    }
    void destroy()
    {
        detach();
        if (hwnd_) {
            DestroyWindow(hwnd_);
            hwnd_ = nullptr;
        }
    }
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

// The window's own device context (CS_OWNDC), released with its owner.
class DeviceContext {
public:
    DeviceContext() = default;
    ~DeviceContext()
    {
        if (dc_) {
            ReleaseDC(hwnd_, dc_);
        }
    }
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;
    void acquire(HWND hwnd)
    {
        hwnd_ = hwnd;
        dc_ = GetDC(hwnd);
        if (!dc_) {
            throw OpenError(reason("cannot draw in the window"));
        }
    }
    HDC get() const { return dc_; }

private:
    HWND hwnd_ = nullptr;
    HDC dc_ = nullptr;
};

class Window final : public PixelPort {
public:
    static std::unique_ptr<Window> open();
    ~Window() override
    {
        // Before the codec and the pixels go: nothing may paint from them.
        hwnd_.detach();
        current_ = nullptr;
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    bool wait_until_active() override;
    void process_events(EventHandler& handler) override;
    void clear() override;
    // The window goes first, then the message: in a message box, or on
    // standard error where there is one.
    void fail(const char* line) override
    {
        hwnd_.destroy();
        report_failure(line);
    }

private:
    // Frames are decoded as B, G, R, X bytes.
    void decode_into(frames::Bytes jpeg, std::byte* out, int holder) override;
    void show_pixels(const std::byte* pixels) override;

    explicit Window(const WNDCLASSEXW& wc) : class_(wc) {}
    static WNDCLASSEXW window_class();
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT on_message(UINT message, WPARAM w, LPARAM l);
    // Gives the window the frame that keeps its client area the frames'
    // size at the DPI it is drawn at.
    void fit_frame();
    void draw(HDC dc) const;
    // Puts what draw() drew on the screen before the pause begins.
    void put_on_screen();
    // Hands the events the window procedure queued to the handler; returns
    // false when the handler ends the program.
    bool deliver(EventHandler& handler);

    WindowClass class_;
    WindowHandle hwnd_;
    DeviceContext dc_;
    BITMAPINFO bitmap_{};
    const std::byte* current_ = nullptr;  // what WM_PAINT repaints; none once cleared
    InputState input_;
    std::vector<Event> queued_;
    // The viewer, from its first event pass on: it outlives the passes, and
    // a message sent while it draws may need it at once.
    EventHandler* handler_ = nullptr;
    bool ended_ = false;  // the handler ended the program
    bool on_screen_ = false;
    bool closing_ = false;
    bool size_asked_ = false;  // WM_GETDPISCALEDSIZE was answered for the coming WM_DPICHANGED
    Wic decoder_;
};

WNDCLASSEXW Window::window_class()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    // Each icon from the size the resource holds for it, not scaled from
    // another: the small one for the title bar, the taskbar and Alt+Tab.
    const auto icon = [instance](int width, int height) {
        return static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(icon_resource), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
    };
    wc.hIcon = icon(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    wc.hIconSm = icon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = class_name;
    return wc;
}

std::unique_ptr<Window> Window::open()
{
    // The manifest declares the program aware of each screen's DPI: frames
    // are shown pixel for pixel, and a window the system scaled would blur
    // them.
    const WNDCLASSEXW wc = window_class();
    std::unique_ptr<Window> w(new Window(wc));
    // On the screen the pointer is on, where the user is looking, centred
    // in its work area.
    const SIZE frame = dpi_functions().frame(0);
    POINT pointer{0, 0};
    GetCursorPos(&pointer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    monitor.rcWork = RECT{0, 0, frame.cx, frame.cy};
    GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const POINT at = centred_in(monitor.rcWork, frame);
    // WM_NCCREATE stores the object with the window; CreateWindowExW fails
    // if it cannot.
    if (!CreateWindowExW(0, class_name, widen(program::caption).c_str(), window_style, at.x, at.y, frame.cx, frame.cy,
                         nullptr, nullptr, wc.hInstance, w.get())) {
        throw OpenError(reason("cannot create the window"));
    }
    // No input method: with one on (Chinese, Japanese, Korean) the keys
    // would arrive as full-width or composed characters that the viewer does
    // not know.  It takes the keys' own characters.
    ImmAssociateContextEx(w->hwnd_.get(), nullptr, 0);
    w->fit_frame();  // the screen it landed on may have another DPI
    try {
        w->dc_.acquire(w->hwnd_.get());
    } catch (const OpenError&) {
        w->hwnd_.destroy();  // no window beside the message
        throw;
    }
    BITMAPINFOHEADER& h = w->bitmap_.bmiHeader;
    h.biSize = sizeof h;
    h.biWidth = program::width;
    h.biHeight = -program::height;  // top row first, as the frames are stored
    h.biPlanes = 1;
    h.biBitCount = 32;  // B, G, R, X in memory
    h.biCompression = BI_RGB;
    ShowWindow(w->hwnd_.get(), SW_SHOWNORMAL);
    return w;
}

void Window::fit_frame()
{
    const SIZE frame = dpi_functions().frame_of(hwnd_.get());
    RECT r{};
    if (GetWindowRect(hwnd_.get(), &r) && (r.right - r.left != frame.cx || r.bottom - r.top != frame.cy)) {
        SetWindowPos(hwnd_.get(), nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

LRESULT CALLBACK Window::procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_GETMINMAXINFO) {
        // Also sent before WM_NCCREATE, with no object yet: the answer only
        // needs the window.  By default the window could be no larger than
        // the screen, which would shorten the picture on a short screen, and
        // maximized it would fill the screen.  Maximized, it stays where it
        // is, at its own size.
        RECT at{};
        GetWindowRect(hwnd, &at);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
        allow_full_size(*reinterpret_cast<MINMAXINFO*>(l), dpi_functions().frame_of(hwnd),
                        POINT{at.left - monitor.rcMonitor.left, at.top - monitor.rcMonitor.top});
        return 0;
    }
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->hwnd_.attach(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->on_message(message, w, l) : DefWindowProcW(hwnd, message, w, l);
}

LRESULT Window::on_message(UINT message, WPARAM w, LPARAM l)
{
    const HWND hwnd = hwnd_.get();
    switch (message) {
    case WM_SHOWWINDOW:
    case WM_ACTIVATE: on_screen_ = on_screen_ || w != 0; break;
    case WM_PAINT: {
        on_screen_ = true;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        draw(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_GETDPISCALEDSIZE: {
        // Moving to a screen of another DPI: the window's size there, so
        // that the rectangle then suggested is exactly right.
        *reinterpret_cast<SIZE*>(l) = dpi_functions().frame(static_cast<UINT>(w));
        size_asked_ = true;
        return TRUE;
    }
    case WM_DPICHANGED: {
        const RECT r = rectangle_for_dpi(*reinterpret_cast<const RECT*>(l), dpi_functions().frame(HIWORD(w)),
                                         std::exchange(size_asked_, false));
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    default: break;
    }

    const Translation t = translate(message, w, l, input_);
    if (t.capture == Capture::take) {
        SetCapture(hwnd);
    } else if (t.capture == Capture::release) {
        ReleaseCapture();
    }
    for (int i = 0; i < t.event_count; ++i) {
        closing_ = closing_ || std::holds_alternative<CloseRequest>(t.events[static_cast<std::size_t>(i)]);
        queued_.push_back(t.events[static_cast<std::size_t>(i)]);
    }
    if (message == WM_ENDSESSION && w && handler_) {
        // Windows may end the process once this returns: quit now.
        deliver(*handler_);
    }
    return t.by_default ? DefWindowProcW(hwnd, message, w, l) : t.answer;
}

void Window::draw(HDC dc) const
{
    if (current_) {
        SetDIBitsToDevice(dc, 0, 0, program::width, program::height, 0, 0, 0, program::height, current_, &bitmap_,
                          DIB_RGB_COLORS);
    } else {
        const RECT all{0, 0, program::width, program::height};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
}

bool Window::wait_until_active()
{
    // Start-up runs on the first sign that the window is on screen, and
    // not minimized (a shortcut set to run minimized starts it so): then it
    // runs when the window is first restored.  Later activations change
    // nothing.  Input that comes meanwhile waits for the first event pass.
    MSG msg;
    while ((!on_screen_ || IsIconic(hwnd_.get())) && !closing_) {
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
    SetForegroundWindow(hwnd_.get());
    SetFocus(hwnd_.get());
    return true;
}

void Window::decode_into(frames::Bytes jpeg, std::byte* out, int holder)
{
    decoder_.decode(jpeg, out, holder);
}

void Window::show_pixels(const std::byte* pixels)
{
    current_ = pixels;
    draw(dc_.get());
    put_on_screen();
}

void Window::clear()
{
    current_ = nullptr;
    draw(dc_.get());
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
    for (std::size_t i = 0; !ended_ && i < queued_.size(); ++i) {
        ended_ = !handler.handle(queued_[i]);
    }
    queued_.clear();  // delivered, or after the end, where nothing may follow
    return !ended_;
}

void Window::process_events(EventHandler& handler)
{
    // Handle what was queued when the pass began: the pass ends after the
    // first keyboard or mouse message stamped later than its start.  The
    // characters that a key press handled here types are posted to the
    // front of the queue, so they are handled in the same pass.  Sent
    // messages (a close request, the session's end) are handled inside
    // PeekMessage, also inside the one that finds the queue empty, so what
    // they queue is delivered after it too.
    handler_ = &handler;
    const DWORD start = GetTickCount();
    MSG msg;
    for (int handled = 0; deliver(handler); ++handled) {
        if (handled == max_messages_per_pass || !PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            deliver(handler);
            return;
        }
        if (msg.message == WM_QUIT) {
            queued_.emplace_back(CloseRequest{});
        } else {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (is_input(msg.message) && static_cast<LONG>(msg.time - start) > 0) {
            deliver(handler);
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
        MessageBoxW(nullptr, win32::widen(line).c_str(), win32::widen(program::name).c_str(), MB_OK | MB_ICONERROR);
    }
}

}  // namespace platform
