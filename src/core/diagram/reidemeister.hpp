// Reidemeister moves on knot and link diagrams: the moves that remove
// crossings (R1 loops, R2 bigons) and the R3 moves that keep their number.
// No move changes the knot; the strategy that combines them with strand
// passes is diagram/simplify.hpp.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "diagram/knot_diagram.hpp"
#include "diagram/link_diagram.hpp"

namespace skeinlab {

// Removes R1 loops (a crossing met twice in a row) and R2 bigons (two
// crossings met in a row twice, over both times on one strand and under both
// on the other) until none is left; the crossings of the result are
// renumbered in walk order. Returns the number of crossings removed. The
// diagram must be planar (on a non-planar code the same patterns need not be
// removable). Linear in the size of the diagram.
std::size_t reduce_diagram(KnotDiagram& diagram);

// reduce_diagram on a link diagram: R1 loops and R2 bigons (within a
// component or between two) removed until none is left, crossings renumbered
// as met; a component may be left with no crossing. Returns the number of
// crossings removed.
std::size_t reduce_link(LinkWalks& link);

// The triangles of the diagram on which an R3 move applies: faces of three
// edges between three crossings, one edge over at both ends, one under at both
// and one over at one end. Each is given as its three edges.
std::vector<std::array<std::uint32_t, 3>> r3_triangles(const KnotDiagram& diagram);

// Moves one strand of an R3 triangle across the crossing of the other two:
// each of the three edges' two passages trade places in the walk; the signs
// stay.
void apply_r3(KnotDiagram& diagram, const std::array<std::uint32_t, 3>& triangle);

// reduce_diagram after changes at the passages `around` only (ascending,
// each with the passage before it, as an R3 move leaves them): only those
// places are checked, so a round of moves costs what it changed, not the
// whole diagram.
void reduce_diagram_around(KnotDiagram& diagram, const std::vector<std::uint32_t>& around);

}  // namespace skeinlab
