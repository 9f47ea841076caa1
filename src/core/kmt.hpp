// KMT reduction: deletes every vertex whose triangle with its two neighbours is
// pierced by no other segment of the chain, until no vertex can be deleted.
// The order in which vertices are examined is fixed, since the result depends
// on it. Both operations work in place and never add or move a point.
#pragma once

#include "geometry.hpp"

namespace skeinlab {

// Reduces a closed ring in place (the point after the last is the first).
// Rings of fewer than 3 points are left as they are; a ring that can be
// simplified all the way ends with 2 points.
void kmt_ring(Chain& chain);

// Reduces an open chain in place; its first and last points are never deleted.
void kmt_open_chain(Chain& chain);

}  // namespace skeinlab
