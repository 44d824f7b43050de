#pragma once

// The contract between the viewer and the windowing system: everything a
// port has to provide.  The program is one Platform, made by open_platform(),
// which exactly one platform library linked into the program defines; tests
// use a scripted fake.
//
// Lifecycle, as main() drives it: open_platform(), pixel_layout() to decode
// the frames in, wait_until_active(), then the viewer's show(),
// process_events() and clear() until it ends; the program then ends with the
// viewer's exit status, and destroying the platform closes the window.

#include "events.hpp"

#include "frames/holders.hpp"

#include <memory>
#include <stdexcept>

namespace viewer {

class EventHandler {
public:
    // Handles one event; returns false when the program is to end, after
    // which no further event may be delivered.
    virtual bool handle(const Event& event) = 0;

protected:
    ~EventHandler() = default;
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

    // The pixel layout in which show() takes pictures without converting
    // them; the frames are decoded in it.
    virtual frames::PixelLayout pixel_layout() const = 0;

    // Waits until the window is first on screen (shown, exposed or
    // activated, whichever comes first), then brings it to the front with
    // the input focus.  Returns false if it was closed before that.  Called
    // once; later activations do not concern the viewer.
    virtual bool wait_until_active() = 0;

    // Shows the picture on the picture surface, unscaled at its top-left
    // corner, replacing whatever was shown.  The picture must outlive the
    // platform's use of it until the next show().
    virtual void show(const frames::Picture& picture) = 0;

    // Processes the events pending when the pass starts, in order, handing
    // the viewer's ones to the handler; returns when those are done (events
    // arriving meanwhile wait for the next pass) or when the handler returns
    // false.
    virtual void process_events(EventHandler& handler) = 0;

    // Fills the window's drawing surface black and presents it.
    virtual void clear() = 0;
};

// Opens the window, shown but without waiting for it to appear.  Throws
// OpenError when there is no display or the window cannot be made.
std::unique_ptr<Platform> open_platform();

// Tells the user about a failure that ends the program, in one line.
void report_failure(const char* line);

}  // namespace viewer
