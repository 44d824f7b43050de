#include "mouse.hpp"

namespace controls {

void on_click(viewer::State& s)
{
    if (s.nm == 0) {
        s.n1 = s.n;
        s.mm1 = s.mm;
        s.m1 = s.m;
    }
    s.nm = (s.nm + 1) % 2;
    if (s.nm == 0) {
        s.n = s.n1;
        s.mm = s.mm1;
        s.m = s.m1;
    }
}

void on_mouse_move(viewer::State& s, float x, float y, bool lands)
{
    if (s.nm == 0) {
        const float scaled = x * program::pointer_factor;
        s.k = scaled * y;
        return;
    }
    if (lands) {
        s.yyy = y;
        return;
    }
    s.k = program::step_mode_pace;
    s.n = y >= s.yyy ? program::command::step_forward : program::command::step_back;
    s.yyy = y;
}

}  // namespace controls
