// Reidemeister moves on knot diagrams: the moves that remove crossings (R1
// loops, R2 bigons), the R3 moves that keep their number, and a seeded search
// that alternates them (and strand passes) to simplify a diagram. No move
// changes the knot.
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

// How long the R3 search goes on without removing a crossing, in rounds:
// 32 plus 4 per crossing, at most 256 (on random walks of 350 to 20,000
// steps, 256 rounds end within 2% of the crossings that 4,096 rounds leave;
// on the 300 rings of bench/identify_bench.py, 32 + 4 n names as many
// summands as 1,024 rounds, in half the time).
std::size_t default_patience(std::size_t crossings);

// The share of the crossings below which a round of strand passes ends the
// passes of a simplification: on globules of 2,000 to 3,000 beads, the passes
// take half the time and the diagrams end as small (the R3 rounds that follow
// reach what the last rounds of passes would have removed).
inline constexpr double kStrandPassShare = 0.01;

// Simplifies a planar diagram: removes what R1 and R2 moves and strand passes
// (diagram/strand_passes.hpp; until a round of them removes less than
// kStrandPassShare of the crossings) can remove, then goes through rounds of R3
// moves, each on a random set of triangles that share no crossing (drawn from
// a stream keyed by `seed`), removing again after each round, until
// `patience` rounds in a row have not brought the crossings down by a
// hundredth (at least one) of what they were, or no triangle is left; the
// last of those rounds (and a diagram without triangles) gets strand passes
// too, and the rounds go on when they remove enough. The crossing number
// never grows; the same diagram and seed give the same result everywhere.
// Checks for cancellation every round. Without `patience`, default_patience
// of the reduced diagram.
void simplify_diagram(KnotDiagram& diagram, std::uint64_t seed);
void simplify_diagram(KnotDiagram& diagram, std::uint64_t seed, std::size_t patience);

// The rounds of R3 moves of simplify_diagram (with the strand passes when
// they stall) on a diagram whose strand passes are done: simplify_diagram is
// pass_strands_until_stable(diagram, kStrandPassShare) and then this.
void r3_search(KnotDiagram& diagram, std::uint64_t seed, std::size_t patience);

}  // namespace skeinlab
