#include "x_display.hpp"

#include "common/program.hpp"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace e2e {

VirtualDisplay::VirtualDisplay(const std::string& size)
{
    // Xvfb picks a free display number and writes it to the descriptor we
    // give it, so parallel test runs never collide.
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    try {
        server_ =
            std::make_unique<Process>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen",
                                                               "0", size + "x24", "-nolisten", "tcp", "-noreset"},
                                      std::vector<std::string>{});
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        throw std::runtime_error("Xvfb did not start: " + server_->error_output());
    }
    name_ = ":" + number;
}

Connection::Connection(const std::string& display)
{
    for (int attempt = 0; attempt < 100 && !display_; ++attempt) {
        display_ = XOpenDisplay(display.c_str());
        if (!display_) {
            sleep_for(50ms);
        }
    }
    if (!display_) {
        throw std::runtime_error("cannot connect to " + display);
    }
}

Connection::~Connection()
{
    XCloseDisplay(display_);
}

std::string Connection::caption_of(Window w)
{
    char* name = nullptr;
    std::string caption;
    if (XFetchName(display_, w, &name) && name) {
        caption = name;
        XFree(name);
    }
    return caption;
}

std::string Connection::class_of(Window w)
{
    XClassHint hint{};
    std::string name;
    if (XGetClassHint(display_, w, &hint)) {
        name = hint.res_class ? hint.res_class : "";
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return name;
}

Window Connection::wait_for_window(const std::string& caption, std::chrono::milliseconds limit)
{
    Window found = 0;
    wait_until(
        limit,
        [&] {
            for (const auto& [w, a] : top_level_windows()) {
                if (caption_of(w) == caption) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        10ms);
    return found;
}

XWindowAttributes Connection::attributes(Window w)
{
    XWindowAttributes a{};
    XGetWindowAttributes(display_, w, &a);
    return a;
}

std::vector<std::pair<Window, XWindowAttributes>> Connection::top_level_windows()
{
    return ignoring_x_errors(display_, [this] {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
        std::vector<std::pair<Window, XWindowAttributes>> viewable;
        for (unsigned i = count; i-- > 0;) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable) {
                viewable.emplace_back(children[i], a);
            }
        }
        if (children) {
            XFree(children);
        }
        return viewable;
    });
}

std::vector<Window> Connection::frame_sized_windows()
{
    std::vector<Window> found;
    for (const auto& [w, a] : top_level_windows()) {
        if (a.width >= program::width && a.height >= program::height) {
            found.push_back(w);
        }
    }
    return found;
}

void Connection::type(unsigned long keysym)
{
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    if (code == 0) {
        throw std::runtime_error("no key for keysym " + std::to_string(keysym));
    }
    // Hold Shift when the keysym sits on the key's shifted level.
    const bool shifted =
        XkbKeycodeToKeysym(display_, code, 0, 0) != keysym && XkbKeycodeToKeysym(display_, code, 0, 1) == keysym;
    const KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
    if (shifted) {
        XTestFakeKeyEvent(display_, shift, True, 0);
    }
    XTestFakeKeyEvent(display_, code, True, 0);
    XTestFakeKeyEvent(display_, code, False, 0);
    if (shifted) {
        XTestFakeKeyEvent(display_, shift, False, 0);
    }
    flush();
}

void Connection::move_pointer(Window w, int x, int y)
{
    int rx = 0;
    int ry = 0;
    Window child = 0;
    XTranslateCoordinates(display_, w, DefaultRootWindow(display_), x, y, &rx, &ry, &child);
    queue_pointer_at(rx, ry);
    flush();
}

void Connection::queue_pointer_at(int x, int y)
{
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, 0);
}

void Connection::press(int button)
{
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, 0);
    flush();
}

void Connection::release(int button)
{
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, 0);
    flush();
}

void Connection::request_close(Window w)
{
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = w;
    close.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &close);
    flush();
}

void Connection::flush()
{
    XSync(display_, False);
}

}  // namespace e2e
