// KMT reduction: deletes every vertex whose triangle with its two neighbours is
// pierced by no other segment of the chain, until no vertex can be deleted.
// The order in which vertices are examined is fixed, since the result depends
// on it. Both operations work in place and never add or move a point.
#pragma once

#include <vector>

#include "geometry/geometry.hpp"

namespace skeinlab {

// A deleted vertex q with its neighbours p and r at the time of deletion, the
// plane of the triangle (p, q, r), and the positions of p, q and r in the
// chain as given.
struct KmtMove {
    Point3 p, q, r;
    Plane plane;
    std::size_t before = 0, vertex = 0, after = 0;
};

// Reduces a closed ring in place (the point after the last is the first).
// Rings of fewer than 3 points are left as they are; a ring that can be
// simplified all the way ends with 2 points.
void kmt_ring(Chain& chain);

// Reduces an open chain in place; its first and last points are never deleted.
// When `moves` is given, every deletion whose triangle is not degenerate is
// appended to it in order (a degenerate triangle is deleted without a test).
void kmt_open_chain(Chain& chain, std::vector<KmtMove>* moves = nullptr);

// Reduces several rings together, in place: a vertex is deleted when no
// segment of any ring pierces its triangle, so the link they form is kept;
// each ring keeps at least 3 points. The rings are scaled together into the
// unit range for the tests and scaled back (every point left is exactly as
// given); missing points are dropped, and rings of fewer than 3 points are
// left as they are.
void kmt_rings(std::vector<Chain>& rings);

// The reduction that typing runs: the chain without its missing points,
// reduced as a ring or as an open chain in the unit range (unit_exponent) and
// scaled back, so every point left is exactly as given.
void kmt_reduce(Chain& chain, bool ring);

}  // namespace skeinlab
