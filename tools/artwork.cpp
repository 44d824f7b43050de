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

// Where the mechanism is drawn: the part of the frame whose top-left pixel
// is (left, top), scaled by scale into a width x height picture, with the
// bar, its dots and the band across the pivot at least least_half pixels
// thick on each side of the bar's axis, so that at a small size they do not
// fade away.
struct View {
    int width = program::width;
    int height = program::height;
    double left = 0;
    double top = 0;
    double scale = 1;
    double least_half = 0;

    // Pixel centres stay pixel centres: the frame's pixel square around
    // (x, y) maps onto the picture's.
    Point place(Point p) const { return {(p.x - left + 0.5) * scale - 0.5, (p.y - top + 0.5) * scale - 0.5}; }
    Polygon place(const Polygon& shape) const
    {
        Polygon out(shape.size());
        std::transform(shape.begin(), shape.end(), out.begin(), [this](Point p) { return place(p); });
        return counter_clockwise(std::move(out));
    }
    std::vector<float> cover(const std::vector<Polygon>& shapes) const
    {
        std::vector<Polygon> placed(shapes.size());
        std::transform(shapes.begin(), shapes.end(), placed.begin(), [this](const Polygon& s) { return place(s); });
        return coverage(placed, width, height);
    }
    double thick(double half) const { return std::max(half * scale, least_half); }
};

// The part of pixel row r that lies outside the black band [top, bottom].
float outside_band(int r, double top, double bottom)
{
    const double inside = std::max(0.0, std::min(r + 0.5, bottom) - std::max(r - 0.5, top));
    return static_cast<float>(1.0 - inside);
}

std::uint8_t level(float v)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

std::vector<std::uint8_t> draw(int slot, const View& view)
{
    const double mid = bar_midpoint(slot);
    const Point left_end{mid - bar_half_length, pivot.y};
    const Point right_end{mid + bar_half_length, pivot.y};
    const std::vector<float> white =
        view.cover({cam_outline_on_screen(slot), circle(left_end, disc_radius), circle(right_end, disc_radius)});
    const std::vector<float> hub = view.cover({circle(pivot, pivot_radius)});

    // The bar, its dots and the band, in the picture's own pixels.
    const Point axis = view.place(pivot);
    const double bar_half = view.thick((bar_bottom - bar_top) / 2);
    const double dot = std::max(dot_radius * view.scale, bar_half * 1.6);
    const double gap = std::max((band_bottom - bar_bottom) * view.scale, 0.75);
    const Point left_dot = view.place(left_end);
    const Point right_dot = view.place(right_end);
    const std::vector<float> red =
        coverage({counter_clockwise(rectangle(left_dot.x, axis.y - bar_half, right_dot.x, axis.y + bar_half)),
                  counter_clockwise(circle(left_dot, dot)), counter_clockwise(circle(right_dot, dot))},
                 view.width, view.height);

    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(view.width) * view.height * 3);
    for (int r = 0; r < view.height; ++r) {
        const float open = outside_band(r, axis.y - bar_half - gap, axis.y + bar_half + gap);
        for (int i = 0; i < view.width; ++i) {
            const std::size_t at = static_cast<std::size_t>(r) * view.width + i;
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

}  // namespace

std::vector<std::uint8_t> draw_frame(int slot)
{
    return draw(slot, View{});
}

std::vector<std::uint8_t> draw_icon(int size, bool maskable)
{
    // The first frame's central square, drawn at the icon's size.  A
    // launcher may crop a maskable icon to a circle four fifths of its side
    // across: it draws a square a quarter larger around the same centre, so
    // that the crop keeps the mechanism.
    const double side = program::height * (maskable ? 1.25 : 1.0);
    View view;
    view.width = size;
    view.height = size;
    view.left = (program::width - side) / 2.0;
    view.top = (program::height - side) / 2.0;
    view.scale = static_cast<double>(size) / side;
    view.least_half = 1.0;
    return draw(0, view);
}

}  // namespace tools
