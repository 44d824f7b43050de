#pragma once

// The contract between the viewer and the system it runs on: everything a
// port has to provide.  A port is one folder below this one; exactly one is
// linked into the program, and it defines open_platform() and
// report_failure().  Tests use a scripted fake.
//
// Lifecycle, as main() drives it: open_platform(), decode() for each frame
// (the first before the window is waited for, the rest during start-up,
// told of by expect() once the first is shown),
// wait_until_active(), then the viewer's show(), process_events() and
// clear() until it ends; the program then ends with the viewer's exit
// status, and destroying the platform closes the window.  A failure after
// open_platform() goes to fail() while the platform still exists; one
// before it, to report_failure().

#include "common/program.hpp"
#include "frames/frame_set.hpp"

#include <memory>
#include <stdexcept>
#include <variant>

namespace platform {

// The events a port hands the viewer from an event pass.
struct TypedCharacter {
    char32_t code;  // the character a key press produced; ESC is 27
    bool operator==(const TypedCharacter&) const = default;
};
struct Click {  // the left button released, ending a single click
    bool operator==(const Click&) const = default;
};
struct DoubleClick {  // the left button pressed the second time in a double-click
    bool operator==(const DoubleClick&) const = default;
};
struct MouseMove {
    float x;  // pointer position in the surface's user scale
    float y;
    bool lands = false;  // a touch put down here, rather than the pointer moved here
    bool operator==(const MouseMove&) const = default;
};
struct CloseRequest {  // the window closed through its frame, or the session or process is ending
    bool operator==(const CloseRequest&) const = default;
};

using Event = std::variant<TypedCharacter, Click, DoubleClick, MouseMove, CloseRequest>;

// A pointer position in pixels of the client area, in the user scale; the
// pixel position may lie outside the surface while a button is held.
inline MouseMove to_user_scale(int px, int py)
{
    return {static_cast<float>(px) * program::user_width / static_cast<float>(program::width),
            static_cast<float>(py) * program::user_height / static_cast<float>(program::height)};
}

class EventHandler {
public:
    // Handles one event; returns false when the program is to end, after
    // which no further event may be delivered.
    virtual bool handle(const Event& event) = 0;

protected:
    ~EventHandler() = default;
};

// A frame as the port shows it, named by the holder whose JPEG stream the
// port's own decoder made it from.  The port keeps the picture itself in its
// table under that number; the viewer only holds the name and hands it back.
struct Picture {
    int holder = 0;  // 1..frame_count
    bool operator==(const Picture&) const = default;
};

// A failure to open the window: what() is the one line the program prints,
// naming the step that failed and the system's reason.
class OpenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Turns Image<holder>'s JPEG stream (holder 1..frame_count) into a
    // picture show() takes, with the system's own decoder.  Called at most
    // once for each holder; the picture lives as long as the platform.
    // Throws frames::BadFrameSet naming the holder when the stream does not
    // decode to a width x height picture.
    virtual Picture decode(frames::Bytes jpeg, int holder) = 0;

    // Image<holder>'s stream will be asked for: a port whose decoder works
    // beside the program may start on it now.  The stream outlives the
    // platform.
    virtual void expect(frames::Bytes jpeg, int holder)
    {
        (void)jpeg;
        (void)holder;
    }

    // Waits until the window is first on screen (shown, exposed or
    // activated, whichever comes first), then brings it to the front with
    // the input focus.  Returns false if it was closed before that.  Called
    // once; later activations do not concern the viewer.
    virtual bool wait_until_active() = 0;

    // Shows a picture decode() made on the picture surface, unscaled at its
    // top-left corner, replacing whatever was shown.
    virtual void show(Picture picture) = 0;

    // Processes the events pending when the pass starts, in order, handing
    // the viewer's ones to the handler; returns when those are done (events
    // arriving meanwhile wait for the next pass) or when the handler returns
    // false.
    virtual void process_events(EventHandler& handler) = 0;

    // Fills the window's drawing surface black and presents it.
    virtual void clear() = 0;

    // Tells the user, in one line, about a failure that ends the program,
    // taking down first whatever would otherwise stay on screen beside the
    // message as if the viewer still ran.  Nothing else is called after it
    // but the destructor.
    virtual void fail(const char* line) = 0;
};

// Opens the window, shown but without waiting for it to appear.  Throws
// OpenError when there is no display or the window cannot be made.
std::unique_ptr<Platform> open_platform();

// Tells the user about a failure that ends the program, in one line, when
// no platform was opened.
void report_failure(const char* line);

}  // namespace platform
