#pragma once

// The mechanism the frames show: a kidney-shaped cam turning about a fixed
// pivot, and a horizontal bar whose two end discs slide so that both keep
// touching the cam.  Everything here is in screen pixels, with pixel (i, j)
// centred at (i, j) and y growing downwards, except where a function says it
// works in the cam's own frame.

#include "common/program.hpp"

#include <array>
#include <vector>

namespace tools {

struct Point {
    double x = 0;
    double y = 0;
};

using Polygon = std::vector<Point>;

inline constexpr double degrees_per_slot = 360.0 / program::frame_count;

inline constexpr Point pivot{511.5, 383.0};
inline constexpr double pivot_radius = 21.0;
inline constexpr double band_top = 374.5;     // black band across the pivot,
inline constexpr double band_bottom = 391.5;  // rows 375..391

inline constexpr double bar_top = 377.5;  // rows 378..388
inline constexpr double bar_bottom = 388.5;
inline constexpr double bar_half_length = 255.0;  // pivot of the bar to each end dot
inline constexpr double bar_swing = 212.0;        // bar midpoint = pivot.x + swing * sin(theta)
inline constexpr double dot_radius = 12.5;
inline constexpr double disc_radius = 84.5;

// The angle of slot s in radians; the cam turns counter-clockwise on screen.
double slot_angle(int slot);

// Screen x of the bar's midpoint in the given slot.
double bar_midpoint(int slot);

// The centre of a disc in the cam's frame (x right, y up, pivot at the origin,
// cam axis along -y) at turning angle theta.  The right disc at theta and the
// left disc at theta + pi trace the same curve.
Point disc_path(double theta);

// The cam outline in its own frame: the inner envelope of the disc over one
// full turn, i.e. the boundary of the points inside the disc path that no disc
// position covers.  Returned as a fine closed polygon, computed once.
const Polygon& cam_outline();

// The cam outline placed on screen for the given slot.
Polygon cam_outline_on_screen(int slot);

// A circle as a closed polygon with the given number of vertices.
Polygon circle(Point centre, double radius, int vertices = 256);

// The distance from p to the closest point of the closed polygon's edges.
double distance_to_outline(const Polygon& outline, Point p);

}  // namespace tools
