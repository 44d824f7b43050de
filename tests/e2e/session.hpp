#pragma once

// Where a window test runs the program: on a virtual X server (through the
// launcher, so also the Windows program under Wine), or on a headless
// Wayland compositor at scale 1 or 2 (the Linux program).  Each session
// starts its own server, finds the program's window, shows what the window
// shows, and types, points and clicks in it as a user would.

#include "frame_watch.hpp"
#include "launcher.hpp"
#include "wayland.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

class Session {
public:
    virtual ~Session() = default;

    // The sessions: X11; Wayland and Wayland at scale 2 (Wayland2) only for
    // the Linux program, which the native launcher starts.
    static std::vector<std::string> names(const Launcher& launcher);
    // A session of that name for the program; on Wayland, seat is the
    // program that gives the session its pointer and keyboard.
    static std::unique_ptr<Session> make(const std::string& name, const Launcher& launcher, const std::string& program,
                                         const std::string& seat);

    // Starts the program and waits until its window shows a frame and
    // takes keys; false (with the reason in error_output()) if it never
    // did.
    virtual bool launch() = 0;
    Process& viewer() { return *viewer_; }

    virtual std::string caption() = 0;
    // The name a desktop matches the window to its entry by: the X11 class,
    // or the Wayland app id.
    virtual std::string app_id() = 0;
    // The window's client size, in the desktop's units.
    virtual std::pair<int, int> client_size() = 0;

    // The slot the window shows now, or -1 (between two frames, or none).
    virtual int shown() = 0;

    // Types one of the viewer's characters, or ESC ('\x1b').
    virtual void type(char key) = 0;
    // Moves the pointer to (x, y) of the window's client area; presses and
    // releases the left button.
    virtual void move(int x, int y) = 0;
    virtual void press() = 0;
    virtual void release() = 0;
    void click()
    {
        press();
        release();
    }
    // Asks the window to close, as its close button does.
    virtual void request_close() = 0;

    // Waits until the frames run again: the window shows several frames
    // in turn, as many as the session can see.  False if they did not
    // within the limit.
    virtual bool runs(std::chrono::milliseconds limit) = 0;

    // The display server dies, as in a crash; the line the program then
    // writes.
    virtual void lose() = 0;
    virtual std::string lost_line() const = 0;

    // The Wayland compositor and the window's place in its layout, for
    // what only a compositor does (floating, tiling); none under X11.
    virtual Compositor* compositor() { return nullptr; }
    virtual Compositor::View view() const { return {}; }

protected:
    std::unique_ptr<Process> viewer_;
};

}  // namespace e2e
