#include "mechanism.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tools {

namespace {

// Samples of the disc path over one turn.  4096 points put neighbouring
// samples under 0.75 px apart, far finer than the anti-aliased edge.
constexpr int path_samples = 4096;

Point rotate(Point p, double angle)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {c * p.x - s * p.y, s * p.x + c * p.y};
}

Polygon compute_outline()
{
    std::vector<Point> path(path_samples);
    for (int i = 0; i < path_samples; ++i) {
        path[i] = disc_path(2 * std::numbers::pi * i / path_samples);
    }

    // The path runs clockwise, so the inside lies to the right of its
    // direction of travel.  Offset every sample by one disc radius towards the
    // inside and keep the offsets that no disc position covers; where the
    // path curves more tightly than a disc (the notch), the offsets are
    // swallowed and the kept neighbours meet across the gap.
    constexpr double tolerance = 1e-3;
    Polygon outline;
    for (int i = 0; i < path_samples; ++i) {
        const Point next = path[(i + 1) % path_samples];
        const Point prev = path[(i + path_samples - 1) % path_samples];
        const double tx = next.x - prev.x;
        const double ty = next.y - prev.y;
        const double length = std::hypot(tx, ty);
        const Point p{path[i].x + disc_radius * ty / length, path[i].y - disc_radius * tx / length};

        double nearest = std::numeric_limits<double>::infinity();
        for (const Point& q : path) {
            nearest = std::min(nearest, (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y));
        }
        if (std::sqrt(nearest) >= disc_radius - tolerance) {
            outline.push_back(p);
        }
    }
    return outline;
}

}  // namespace

double slot_angle(int slot)
{
    return degrees_per_slot * slot * std::numbers::pi / 180.0;
}

double bar_midpoint(int slot)
{
    return pivot.x + bar_swing * std::sin(slot_angle(slot));
}

Point disc_path(double theta)
{
    const double reach = bar_half_length + bar_swing * std::sin(theta);
    return rotate({reach, 0.0}, -theta);
}

const Polygon& cam_outline()
{
    static const Polygon outline = compute_outline();
    return outline;
}

Polygon cam_outline_on_screen(int slot)
{
    const double theta = slot_angle(slot);
    Polygon placed;
    placed.reserve(cam_outline().size());
    for (const Point& p : cam_outline()) {
        const Point r = rotate(p, theta);
        placed.push_back({pivot.x + r.x, pivot.y - r.y});
    }
    return placed;
}

Polygon circle(Point centre, double radius, int vertices)
{
    Polygon c;
    c.reserve(vertices);
    for (int i = 0; i < vertices; ++i) {
        const double a = 2 * std::numbers::pi * i / vertices;
        c.push_back({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
    }
    return c;
}

double distance_to_outline(const Polygon& outline, Point p)
{
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const Point a = outline[i];
        const Point b = outline[(i + 1) % outline.size()];
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double length2 = dx * dx + dy * dy;
        double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        nearest = std::min(nearest, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
    }
    return nearest;
}

}  // namespace tools
