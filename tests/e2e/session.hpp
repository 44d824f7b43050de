#pragma once

// Where a window test or a benchmark runs the program: on a virtual X server
// (through the launcher, so also the Windows program under Wine), or on a
// headless Wayland compositor at scale 1 or 2 (the Linux program).  Each
// session starts its own server, launches the program, finds its window,
// shows what the window shows, and types, points and clicks in it as a user
// would.

#include "frame_watch.hpp"
#include "launcher.hpp"
#include "wayland.hpp"

#include "common/program.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Only bounds a hang: every wait ends as soon as what it waits for happens.
constexpr auto hang_limit = 20000ms;

// How a session runs its program: on Wayland, the program that gives the
// session its pointer and keyboard; on X11, the server's size, or a server
// shared with other sessions (one after another), and the caption of the
// program's window (none: the window is found by what it shows, as another
// program's must be); and how long each wait for it may take.
struct SessionOptions {
    std::string seat{};
    std::string screen = "1280x1024";
    std::shared_ptr<VirtualDisplay> display{};
    std::string caption = program::caption;
    std::chrono::milliseconds limit = hang_limit;
};

class Session {
public:
    using Options = SessionOptions;

    virtual ~Session() = default;

    // The sessions: X11; Wayland and Wayland at scale 2 (Wayland2) only for
    // the Linux program, which the native launcher starts.
    static std::vector<std::string> names(const Launcher& launcher);
    // A session of that name for the program: command is the program and
    // its arguments, with anything that runs it (valgrind, env) before it.
    static std::unique_ptr<Session> make(const std::string& name, const Launcher& launcher,
                                         std::vector<std::string> command, const Options& options = {});

    // Starts the program and waits until its window shows a frame and
    // takes keys; false (with the reason in error_output()) if it never
    // did.
    virtual bool launch() = 0;
    Process& viewer() { return *viewer_; }
    // The first slot the window was seen showing, when it was, and when the
    // program was started.
    int first_slot() const { return first_slot_; }
    Clock::time_point first_seen_at() const { return first_seen_at_; }
    Clock::time_point started_at() const { return started_at_; }
    // The environment entries that put another program on this session's
    // display.
    virtual std::vector<std::string> environment() const = 0;

    virtual std::string caption() = 0;
    // The name a desktop matches the window to its entry by: the X11 class,
    // or the Wayland app id.
    virtual std::string app_id() = 0;
    // The window's client size, in the desktop's units.
    virtual std::pair<int, int> client_size() = 0;

    // The slot the window shows now, or -1 (between two frames, or none).
    virtual int shown() = 0;
    // The same, from every pixel of the window, where shown() looks at
    // fewer.
    virtual int whole_slot() { return shown(); }
    // The decoded frames grabs are matched with, decoded once for all
    // sessions.
    const FrameMatcher& frames() const { return frames_; }
    // Waits until the window shows a slot other than `from`; that slot, or
    // -1 if it did not within the limit.
    int next_slot(int from, std::chrono::milliseconds limit = hang_limit);
    // Samples the window until it has changed count times, or the limit
    // passed; then() is called once the first slot is seen.
    Changes record_changes(int count, std::chrono::milliseconds limit = hang_limit,
                           const std::function<void()>& then = {});

    // Types one of the viewer's characters, ESC ('\x1b'), Return ('\r') or
    // Tab ('\t').
    virtual void type(char key) = 0;
    // Moves the pointer to (x, y) of the window's client area (which may be
    // outside it); presses and releases the left button.
    virtual void move(int x, int y) = 0;
    // Many moves that reach the program together.
    virtual void flood(const std::vector<std::pair<int, int>>& points);
    virtual void press() = 0;
    virtual void release() = 0;
    void click()
    {
        press();
        release();
    }
    // Presses the left button at `from` and moves to `to` with it held.
    void drag(std::pair<int, int> from, std::pair<int, int> to);
    // Asks the window to close, as its close button does.
    virtual void request_close() = 0;

    // Waits until the frames run again: the window shows several frames
    // in turn, as many as the session can see.  False if they did not
    // within the limit.
    virtual bool runs(std::chrono::milliseconds limit) = 0;
    // Counts the window's updates from now on, where the session can (X
    // DAMAGE); none on Wayland.
    virtual std::unique_ptr<DamageCounter> updates() { return nullptr; }
    // Another window over the whole of the program's (X11 only), and gone
    // again.
    virtual void cover(bool covered);

    // The display server dies, as in a crash; the line the program then
    // writes.
    virtual void lose() = 0;
    virtual std::string lost_line() const = 0;

    // The Wayland compositor and the window's place in its layout, for
    // what only a compositor does (floating, tiling); none under X11.
    virtual Compositor* compositor() { return nullptr; }
    virtual Compositor::View view() const { return {}; }

protected:
    Session(const Launcher& launcher, std::vector<std::string> command, std::chrono::milliseconds limit);
    // Starts the program with the session's environment.
    void start(const std::vector<std::string>& extra_env = {});
    // Takes the slot as the first one seen, now, if it is one; whether it is.
    bool seen_first(int slot);

    const Launcher& launcher_;
    const std::vector<std::string> command_;
    const std::chrono::milliseconds limit_;
    const FrameMatcher& frames_;
    std::unique_ptr<Process> viewer_;
    int first_slot_ = -1;
    Clock::time_point started_at_, first_seen_at_;
};

}  // namespace e2e
