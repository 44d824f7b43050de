#pragma once

// A headless Wayland compositor (sway, drawing with pixman) of a test's
// own, and what the tests do on it: find a client's window, take its
// pixels (grim), and move, click and type with a pointer and a keyboard of
// their own (wayland_seat).

#include "process.hpp"
#include "x_display.hpp"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

class Compositor {
public:
    // Starts sway on one output of the given size (in pixels) and scale,
    // and the seat program (wayland_seat) on it.  sway refuses to run as
    // root: then it runs as nobody, in a runtime directory that user owns,
    // and root's clients still connect.
    explicit Compositor(const std::string& seat_program, int width = 1280, int height = 1024, int scale = 1);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // Environment entries for a client of this compositor, with no X
    // display to fall back to.
    std::vector<std::string> client_environment() const;

    // A client's toplevel as sway lays it out (found = false while it has
    // none): whether it floats and has the focus, its title, and its
    // contents' place and size in the output's layout.
    struct View {
        bool found = false;
        bool floating = false;
        bool focused = false;
        std::string title;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    View view(const std::string& app_id) const;

    // What the output shows in [x, x + width) x [y, y + height) of the
    // layout: a pixel per unit of the layout, as B, G, R, X bytes, top row
    // first (empty if grim failed), taken from the first of the output
    // pixels that show that unit, and whether all of them show the same.
    struct Grab {
        std::vector<std::uint8_t> bgrx;
        bool units_whole = true;
    };
    Grab grab(int x, int y, int width, int height) const;

    // Types text (the viewer's keys), or taps Escape.
    void type(const std::string& text) const { seat("type " + text); }
    void escape() const { seat("key Escape"); }
    // Moves the pointer to (x, y) of the output's layout; presses and
    // releases its left button.
    void move(int x, int y) const { seat("move " + std::to_string(x) + " " + std::to_string(y)); }
    void press() const { seat("press"); }
    void release() const { seat("release"); }

    // Tiles the client's window, as a rule of the user's would.
    void tile(const std::string& app_id) const { run({"swaymsg", "[app_id=" + app_id + "]", "floating", "disable"}); }

    // Asks the client's window to close, as its close button does.
    void close(const std::string& app_id) const { run({"swaymsg", "[app_id=" + app_id + "]", "kill"}); }

    // Ends the compositor at once, as a crash would.
    void kill();
    // Stops the compositor where it is (it answers nothing), and lets it
    // go on again.
    void pause(bool paused) const { sway_->signal(paused ? SIGSTOP : SIGCONT); }

private:
    // Runs a tool against the compositor; its standard output.
    std::string run(std::vector<std::string> argv) const;
    void start_seat(const std::string& program);
    // Hands the pointer-and-keyboard program one command.
    void seat(const std::string& command) const;

    ScratchDir dir_;
    int scale_;
    std::string layout_;  // the output's size in the layout's units, WxH
    std::unique_ptr<Process> sway_;
    std::unique_ptr<Process> seat_;
    int commands_ = -1;    // the seat program's command pipe
    std::string display_;  // the socket's name in the runtime directory
    std::string ipc_;      // sway's IPC socket, for swaymsg
};

// Weston, which draws no window decorations (clients draw their own, as on
// GNOME), on its X11 backend in a virtual X server of its own, drawing with
// OpenGL (in software): its headless backend offers no seat, and SDL 2.26
// cannot start on a compositor without one.
class Weston {
public:
    Weston();
    ~Weston();
    Weston(const Weston&) = delete;
    Weston& operator=(const Weston&) = delete;

    // Environment entries for a client, with no X display to fall back to.
    std::vector<std::string> client_environment() const;
    Process& server() { return *weston_; }
    // Presses the left button at `from` of the output and moves to `to`
    // with it held: input to Weston's window on its X server.
    void drag(std::pair<int, int> from, std::pair<int, int> to);

private:
    ScratchDir dir_;
    VirtualDisplay x_;
    std::unique_ptr<Process> weston_;
    std::unique_ptr<Connection> input_;
};

// The times, on the log's own clock (ms), at which a client's protocol log
// (WAYLAND_DEBUG=client) attaches a buffer of the frames' size: each a frame
// committed (the decorations' buffers have other sizes).
std::vector<double> frames_attached(const std::string& log);

}  // namespace e2e
