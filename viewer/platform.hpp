#pragma once

// The few operations the viewer needs from the windowing system.  The SDL
// window implements them; tests use a scripted fake.

#include "events.hpp"

#include "frames/holders.hpp"

namespace viewer {

class EventHandler {
public:
    // Handles one event; returns false when the program is to end, after
    // which no further event may be delivered.
    virtual bool handle(const Event& event) = 0;

protected:
    ~EventHandler() = default;
};

class Platform {
public:
    virtual ~Platform() = default;

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

}  // namespace viewer
