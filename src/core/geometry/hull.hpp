// The three-dimensional convex hull of a chain's points, decided exactly, and
// the closure of an open chain through it.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "geometry/geometry.hpp"

namespace skeinlab {

struct Hull {
    // The input points in input order, each coordinate truncated toward zero to
    // a multiple of 2^-52 (the exact integers trunc(x / 2^-52) scaled back).
    std::vector<Point3> vertices;
    // Three indices into `vertices` per triangular facet.
    std::vector<std::size_t> facets;
};

// Builds the convex hull. All decisions (sides of planes, coplanarity) are
// exact on the truncated coordinates, with no tolerance. Nothing when there
// are fewer than 4 points, when a coordinate is not finite, or when the
// points do not span three dimensions. Expected O(n log n): points are
// inserted in a fixed pseudo-random order, so results are reproducible.
std::optional<Hull> build_hull(const std::vector<Point3>& points);

// The two closure points (head, tail) of an open chain, pushed out from its
// first and last points through the nearest hull facet (or radially when an
// end lies on that facet's plane) to hull_scale chain radii. Nothing when the
// hull cannot be built or the construction degenerates.
std::optional<std::pair<Point3, Point3>> hull_ends(const std::vector<Point3>& points, double hull_tolerance,
                                                   double hull_scale);

}  // namespace skeinlab
