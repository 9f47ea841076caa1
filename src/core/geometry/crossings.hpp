// The crossings of a projected polygon, stored sparsely: for every segment the
// records of the segments that cross it, instead of a dense table of all pairs.
#pragma once

#include <cstddef>
#include <vector>

#include "geometry/geometry.hpp"

namespace skeinlab {

struct CrossingRecord {
    std::size_t other;  // the column segment
    Intersection record;
};

// For each segment i (joining points i and i + 1) the records (i, j) whose
// projections cross, ordered by |signed_position| and then by j: the order in
// which a walk along segment i meets them. Points are projected onto their
// first two coordinates; the third is the height. Every ordered pair is
// evaluated on its own, exactly as intersect_projected does; pairs are
// passed over only when their projected boxes, widened by a bound on the
// rounding of the crossing test, are disjoint, which provably excludes every
// pair that the test would report as crossing.
//
// When `dropped` is given, it is set when the test passed over a pair whose
// projections cross (or touch) within its tolerance of an end of either
// segment, or reported a pair one way and not the other: the projection puts
// a crossing on a vertex, as far as the test can tell, and its diagram may
// lack that crossing.
std::vector<std::vector<CrossingRecord>> find_crossings(const Chain& points, bool* dropped = nullptr);

}  // namespace skeinlab
