#pragma once

// A virtual X server of the tests' own, and a connection to it that finds
// windows and types and points through XTest as a user would.

#include "process.hpp"

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Xvfb on a display number it picks itself, stopped with its owner.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const std::string& size = "1280x1024");
    const std::string& name() const { return name_; }
    Process& server() { return *server_; }

private:
    std::unique_ptr<Process> server_;
    std::string name_;
};

// Runs f() with X errors ignored rather than ending the program (asking
// about a window that has just gone raises one), and waits for the server's
// answers to what it asked before it returns f's result.
template <typename F> auto ignoring_x_errors(Display* d, F f) -> decltype(f())
{
    struct Restore {
        Display* display;
        int (*previous)(Display*, XErrorEvent*);
        ~Restore()
        {
            XSync(display, False);
            XSetErrorHandler(previous);
        }
    } const restore{d, XSetErrorHandler([](Display*, XErrorEvent*) { return 0; })};
    return f();
}

class Connection {
public:
    explicit Connection(const std::string& display);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* display() const { return display_; }

    // Waits for a top-level window with the given caption; 0 if none comes.
    Window wait_for_window(const std::string& caption, std::chrono::milliseconds limit);
    std::string caption_of(Window w);
    // The class of WM_CLASS, by which a desktop matches the window to its
    // desktop entry.
    std::string class_of(Window w);
    // The window's client size and its position on the screen.
    XWindowAttributes attributes(Window w);
    // The viewable top-level windows of at least the frame size, topmost
    // first: other programs' windows, found without their captions.
    std::vector<Window> frame_sized_windows();

    // Input through XTest, as a user would produce it, sent at once.
    void type(unsigned long keysym);
    void move_pointer(Window w, int x, int y);  // x, y in the window's pixels
    void press(int button = 1);
    void release(int button = 1);
    // The pointer to a place on the screen, sent with the next flush():
    // many moves go out together.
    void queue_pointer_at(int x, int y);
    // Asks the window to close, as its close box does.
    void request_close(Window w);
    void flush();

private:
    // The viewable top-level windows, topmost first.
    std::vector<std::pair<Window, XWindowAttributes>> top_level_windows();

    Display* display_ = nullptr;
};

}  // namespace e2e
