#include "raster.hpp"

#include <algorithm>
#include <cmath>

namespace tools {

namespace {

constexpr int sub_rows = 16;

struct Edge {
    Point a;  // a.y < b.y
    Point b;
    int winding;
};

struct Crossing {
    double x;
    int winding;
};

// Adds weight * the covered part of [from, to) to the row.  Coordinates are
// shifted by half a pixel so that pixel i spans [i, i + 1).  Whole pixels go
// into a difference array that the caller sums once per row.
void add_span(double from, double to, float weight, std::vector<float>& row, std::vector<float>& whole)
{
    const int width = static_cast<int>(row.size());
    from = std::clamp(from + 0.5, 0.0, static_cast<double>(width));
    to = std::clamp(to + 0.5, 0.0, static_cast<double>(width));
    if (to <= from) {
        return;
    }
    const int first = static_cast<int>(from);
    const int last = std::min(static_cast<int>(to), width - 1);
    if (first == last) {
        row[first] += weight * static_cast<float>(to - from);
        return;
    }
    row[first] += weight * static_cast<float>(first + 1 - from);
    whole[first + 1] += weight;
    whole[last] -= weight;
    row[last] += weight * static_cast<float>(to - last);
}

double signed_area(const Polygon& p)
{
    double twice = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Point a = p[i];
        const Point b = p[(i + 1) % p.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return twice / 2;
}

}  // namespace

Polygon counter_clockwise(Polygon polygon)
{
    // With y downwards a counter-clockwise polygon has negative signed area.
    if (signed_area(polygon) > 0) {
        std::reverse(polygon.begin(), polygon.end());
    }
    return polygon;
}

std::vector<float> coverage(const std::vector<Polygon>& shapes, int width, int height)
{
    // Bucket the edges by the pixel rows they span, so each sub-row only
    // looks at the few edges that can cross it.
    std::vector<std::vector<Edge>> rows(height);
    for (const Polygon& shape : shapes) {
        for (std::size_t i = 0; i < shape.size(); ++i) {
            Point a = shape[i];
            Point b = shape[(i + 1) % shape.size()];
            if (a.y == b.y) {
                continue;
            }
            int winding = 1;
            if (a.y > b.y) {
                std::swap(a, b);
                winding = -1;
            }
            const int top = std::max(0, static_cast<int>(std::floor(a.y + 0.5)));
            const int bottom = std::min(height - 1, static_cast<int>(std::floor(b.y + 0.5)));
            for (int r = top; r <= bottom; ++r) {
                rows[r].push_back({a, b, winding});
            }
        }
    }

    std::vector<float> image(static_cast<std::size_t>(width) * height, 0.0f);
    std::vector<float> row(width);
    std::vector<float> whole(width + 1);
    std::vector<Crossing> crossings;
    constexpr float weight = 1.0f / sub_rows;

    for (int r = 0; r < height; ++r) {
        if (rows[r].empty()) {
            continue;
        }
        std::fill(row.begin(), row.end(), 0.0f);
        std::fill(whole.begin(), whole.end(), 0.0f);
        for (int s = 0; s < sub_rows; ++s) {
            const double y = r - 0.5 + (s + 0.5) / sub_rows;
            crossings.clear();
            for (const Edge& e : rows[r]) {
                if (y >= e.a.y && y < e.b.y) {
                    const double t = (y - e.a.y) / (e.b.y - e.a.y);
                    crossings.push_back({e.a.x + t * (e.b.x - e.a.x), e.winding});
                }
            }
            std::sort(crossings.begin(), crossings.end(),
                      [](const Crossing& p, const Crossing& q) { return p.x < q.x; });
            int winding = 0;
            double start = 0;
            for (const Crossing& c : crossings) {
                const int before = winding;
                winding += c.winding;
                if (before == 0 && winding != 0) {
                    start = c.x;
                } else if (before != 0 && winding == 0) {
                    add_span(start, c.x, weight, row, whole);
                }
            }
        }
        float running = 0;
        float* out = &image[static_cast<std::size_t>(r) * width];
        for (int i = 0; i < width; ++i) {
            running += whole[i];
            out[i] = std::min(1.0f, row[i] + running);
        }
    }
    return image;
}

}  // namespace tools
