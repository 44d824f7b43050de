#include "artwork.hpp"

#include "mechanism.hpp"
#include "raster.hpp"

#include <algorithm>
#include <cmath>

namespace tools {

namespace {

Polygon rectangle(double left, double top, double right, double bottom)
{
    return {{left, top}, {left, bottom}, {right, bottom}, {right, top}};
}

// The part of pixel row r that lies outside the black band across the pivot.
float outside_band(int r)
{
    const double inside = std::max(0.0, std::min(r + 0.5, band_bottom) - std::max(r - 0.5, band_top));
    return static_cast<float>(1.0 - inside);
}

std::uint8_t level(float v)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

std::vector<std::uint8_t> draw_frame(int slot)
{
    const double mid = bar_midpoint(slot);
    const Point left_end{mid - bar_half_length, pivot.y};
    const Point right_end{mid + bar_half_length, pivot.y};

    const std::vector<float> white =
        coverage({counter_clockwise(cam_outline_on_screen(slot)), counter_clockwise(circle(left_end, disc_radius)),
                  counter_clockwise(circle(right_end, disc_radius))},
                 program::width, program::height);
    const std::vector<float> hub =
        coverage({counter_clockwise(circle(pivot, pivot_radius))}, program::width, program::height);
    const std::vector<float> red =
        coverage({counter_clockwise(rectangle(left_end.x, bar_top, right_end.x, bar_bottom)),
                  counter_clockwise(circle(left_end, dot_radius)), counter_clockwise(circle(right_end, dot_radius))},
                 program::width, program::height);

    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(program::width) * program::height * 3);
    for (int r = 0; r < program::height; ++r) {
        const float open = outside_band(r);
        for (int i = 0; i < program::width; ++i) {
            const std::size_t at = static_cast<std::size_t>(r) * program::width + i;
            // The white shapes first, the bar and its dots on top.
            const float w = std::max(white[at], hub[at] * open);
            const float grey = w * (1.0f - red[at]);
            rgb[at * 3 + 0] = level(grey + red[at]);
            rgb[at * 3 + 1] = level(grey);
            rgb[at * 3 + 2] = level(grey);
        }
    }
    return rgb;
}

}  // namespace tools
