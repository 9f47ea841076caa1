// Linking numbers of pairs of chains: exact integers for rings (from the
// signs of the crossings of one projection, decided by exact predicates), the
// Gauss linking integral for open chains (the closed form over pairs of
// segments), and every pair of a set of chains that comes close.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "geometry/geometry.hpp"

namespace skeinlab {

// The linking number of two rings (each closed from its last point to its
// first; missing points left out), exact: half the sum of the signs of the
// crossings between them in the projection along z, each sign the exact
// orientation of the two segments. A projection where two segments meet at
// a point of either or overlap is not used: the eight fixed turns of knot
// typing are tried next. Nothing when the rings touch in every projection
// (or have fewer than two points).
std::optional<std::int64_t> linking_number(const Chain& a, const Chain& b);

// The Gauss linking integral of two open chains, (1/4 pi) times the sum over
// pairs of segments of their solid angle (Klenin and Langowski's closed
// form), in float64. For closed polygons (first point repeated at the end)
// it is their linking number up to rounding.
double gauss_linking_integral(const Chain& a, const Chain& b);

// A pair of chains (i < j) and its linking number (exact for rings, the
// Gauss integral for open chains).
// The pairs of segments of rings (each closed from its last point to its
// first, missing points left out) whose projections on the first two
// coordinates cross properly, counted exactly; nothing when the projection
// is not generic: two segments that are not neighbours along a ring meet in
// projection otherwise (at an end point, or overlapping), two neighbours lie
// on one line, or two segments meet in space. The check a diagram of the
// projection is held against.
std::optional<std::size_t> proper_crossings(const std::vector<Chain>& rings);

struct LinkingPair {
    std::uint32_t i = 0, j = 0;
    double value = 0.0;
    // Rings that touch in every projection have no linking number.
    bool defined = true;
};

// The pairs of chains whose bounding boxes overlap (all others are 0: two
// rings in disjoint boxes are split by a plane), found by a sweep over the
// boxes, with their linking numbers; pairs whose value is 0 are left out
// unless `with_zero`. Checks for cancellation every few hundred pairs.
std::vector<LinkingPair> linking_pairs(const std::vector<Chain>& chains, bool rings, bool with_zero = false);

}  // namespace skeinlab
