#pragma once

// What every port decides the same way about the pointer and the left
// button, whatever its system reports, before the viewer sees the input.

#include "platform/platform.hpp"

#include <optional>

namespace platform {

class PointerRules {
public:
    // The pointer at (x, y), in pixels of the client area: a move for the
    // viewer, or none where the pointer already was.  Systems report that
    // too (when a capture is taken or given up, when a window appears under
    // the pointer, with fractional coordinates that round alike), and as a
    // move it would step mouse-step mode forwards in the middle of an
    // upward drag.
    std::optional<Event> moved(int x, int y)
    {
        if (known_ && x == x_ && y == y_) {
            return std::nullopt;
        }
        known_ = true;
        x_ = x;
        y_ = y;
        return to_user_scale(x, y);
    }
    // A finger put down at (x, y): where its movement is measured from,
    // never a move from where the last touch ended.
    Event landed(int x, int y)
    {
        known_ = true;
        x_ = x;
        y_ = y;
        MouseMove touch = to_user_scale(x, y);
        touch.lands = true;
        return touch;
    }
    // The pointer left the window: its next report is a move, wherever.
    void left() { known_ = false; }

    // The left button pressed in the window, the count-th press of a run of
    // quick presses (1 for a single press, 0 where the system does not
    // count): an even one is a double-click, and its release is no click.
    std::optional<Event> pressed(int count)
    {
        held_ = true;
        ends_double_click_ = count > 0 && count % 2 == 0;
        return ends_double_click_ ? std::optional<Event>(DoubleClick{}) : std::nullopt;
    }
    // The left button released: a click, unless its press ended a
    // double-click or was not in the window (a drag that ended here, or a
    // press whose pointer another window took).
    std::optional<Event> released()
    {
        const bool click = held_ && !ends_double_click_;
        lost();
        return click ? std::optional<Event>(Click{}) : std::nullopt;
    }
    // Another window took the pointer while the button was held: the
    // release will go there.
    void lost() { held_ = ends_double_click_ = false; }
    bool held() const { return held_; }

private:
    bool known_ = false;  // a move was delivered, at x_, y_
    int x_ = 0;
    int y_ = 0;
    bool held_ = false;               // a left press in the window
    bool ends_double_click_ = false;  // the held press was a double-click's second
};

}  // namespace platform
