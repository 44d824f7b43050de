#pragma once

// Anti-aliased polygon coverage: each pixel gets the fraction of its square
// that the union of the given polygons covers (nonzero winding, so shapes of
// one orientation merge and overlaps count once).

#include "mechanism.hpp"

#include <vector>

namespace tools {

// Coverage of a width x height image, row-major, values in [0, 1].  Pixel
// (i, j) is the square [i - 0.5, i + 0.5] x [j - 0.5, j + 0.5].  Each row is
// sampled on 16 sub-rows; along a sub-row the covered length is exact.
std::vector<float> coverage(const std::vector<Polygon>& shapes, int width, int height);

// The polygon with its vertices in counter-clockwise order on screen, so that
// all shapes handed to coverage() wind the same way.
Polygon counter_clockwise(Polygon polygon);

}  // namespace tools
