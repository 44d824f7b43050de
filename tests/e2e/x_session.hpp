#pragma once

// What the end-to-end tests need around the real program: a virtual X
// server of their own, the program as a child process, and an X connection
// that finds its window, grabs it, and types and points through XTest.

#include "frames/holders.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A child process; killed (SIGKILL) and reaped on destruction if still running.
class Process {
public:
    // Starts argv[0] (searched in PATH) with extra environment entries
    // ("NAME=value", or "NAME" alone to remove it); stderr goes to a pipe.
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env_changes);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int pid() const { return pid_; }
    void signal(int sig) const;
    // The exit status (or 128 + signal number) if the process ended in time.
    std::optional<int> wait_for_exit(std::chrono::milliseconds limit);
    bool running();
    // Everything the process wrote to stderr (after it ended).
    std::string error_output();

private:
    int pid_ = -1;
    int stderr_fd_ = -1;
    std::optional<int> status_;
    std::string errors_;
};

// Xvfb on a display number it picks itself, stopped by its pid at the end.
class VirtualDisplay {
public:
    VirtualDisplay();
    const std::string& name() const { return name_; }
    Process& server() { return *server_; }

private:
    std::unique_ptr<Process> server_;
    std::string name_;
};

// The decoded frames in the window's pixel layout, for matching grabs.
class FrameMatcher {
public:
    // A grab shows a frame when every channel value is within tolerance of
    // the frame's TurboJPEG decoding: 0 for the Linux program, more for one
    // that decodes with another codec.
    explicit FrameMatcher(int tolerance = 0);
    // The slot whose frame the image shows exactly, or -1.
    int slot_of(const XImage& image) const;

private:
    std::vector<std::byte> pixels_;
    int tolerance_;
};

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
    // The window's client size and its position on the screen.
    XWindowAttributes attributes(Window w);

    // The slot the window shows, -1 if its picture is none of the frames.
    int slot_shown(Window w, const FrameMatcher& frames);
    // Waits until the window shows one of the frames and returns its slot
    // (-1 on timeout).
    int wait_for_slot(Window w, const FrameMatcher& frames, std::chrono::milliseconds limit);
    // Waits until the shown slot differs from `from` (-1 on timeout).
    int wait_for_change(Window w, const FrameMatcher& frames, int from, std::chrono::milliseconds limit);
    // The distinct slots shown over a while, in order.
    std::vector<int> watch(Window w, const FrameMatcher& frames, std::chrono::milliseconds how_long);

    // Input through XTest, as a user would produce it.
    void type(unsigned long keysym);
    void move_pointer(Window w, int x, int y);  // x, y in the window's pixels
    void click(int button = 1);
    void flush();

private:
    Display* display_ = nullptr;
};

void sleep_for(std::chrono::milliseconds d);

// How the program under test is started: as it is, or, for the Windows
// program, under Debian's wine64 in a scratch prefix made for this run of
// the tests and removed at its end.  VORMO_LAUNCHER=wine picks Wine.
class Launcher {
public:
    static std::unique_ptr<Launcher> from_environment();
    // Native, or Wine in a fresh scratch prefix (made now, which takes a
    // while).
    static std::unique_ptr<Launcher> make(bool wine);
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    bool wine() const { return !prefix_.empty(); }
    // Starts the program with its arguments and the extra environment
    // entries (as Process takes them).
    std::unique_ptr<Process> start(const std::string& program, const std::vector<std::string>& env_changes,
                                   const std::vector<std::string>& args = {}) const;
    // A limit for starting or ending, from the one the native program has:
    // Wine adds seconds of its own to both.
    std::chrono::milliseconds slack(std::chrono::milliseconds native) const;
    // With no window manager nobody gives a Wine window the input focus, as
    // a desktop would; this does.  Nothing for the native program, which
    // takes the focus itself.
    void focus(Connection& x, Window w) const;
    // How far a grab of the program's window may be from TurboJPEG's
    // decoding of a frame and still show it (see FrameMatcher).
    int frame_tolerance() const;
    // A path the started program can write to, inside the scratch area.
    std::string scratch_path(const std::string& name) const;

private:
    explicit Launcher(std::string prefix) : prefix_(std::move(prefix)) {}
    std::string prefix_;  // the scratch directory holding the Wine prefix; empty for native
};

}  // namespace e2e
