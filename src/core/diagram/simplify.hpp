// The simplification of knot diagrams: the strategy that combines the moves
// of diagram/reidemeister.hpp (R1 and R2 removals, R3 moves) with the strand
// passes of diagram/strand_passes.hpp to bring a diagram near its minimal
// size. Every name the library gives comes from a diagram simplified here.
//
// The strategy, in order:
//   1. remove what R1 and R2 moves can remove;
//   2. strand passes over and under, R1 and R2 removals between them, until a
//      round removes less than kStrandPassShare of the crossings;
//   3. rounds of R3 moves, each on a random set of triangles that share no
//      crossing (drawn from a stream keyed by the seed), with R1 and R2
//      removals around what moved, until `patience` rounds in a row have not
//      brought the crossings down by a hundredth (at least one);
//   4. the last of those rounds (and a diagram without triangles) gets strand
//      passes too, and the rounds go on while they remove enough.
// The crossing number never grows; the same diagram and seed give the same
// result everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "diagram/knot_diagram.hpp"

namespace skeinlab {

// Strand passes over and under, with R1 and R2 removals between them, until
// a sweep of each removes nothing, or, with `min_share`, until a sweep of each
// removes less than that share of the crossings they started from (the
// sweeps of a large diagram go on for dozens of rounds removing a few
// crossings each, which R3 moves reach sooner). Returns the number of
// crossings removed. Checks for cancellation at every sweep.
std::size_t pass_strands_until_stable(KnotDiagram& diagram, double min_share = 0.0);

// How long the R3 search goes on without removing a crossing, in rounds:
// 32 plus 4 per crossing, at most 256. Small diagrams, whose names depend on
// reaching the minimum, search long for their size; large ones stop where
// more rounds hardly remove anything (bench/identify_bench.py measures the
// names this gives against longer searches).
std::size_t default_patience(std::size_t crossings);

// The share of the crossings below which a round of strand passes ends the
// passes of a simplification: the last rounds of passes remove a few
// crossings each, which the R3 rounds that follow reach sooner.
inline constexpr double kStrandPassShare = 0.01;

// Simplifies a planar diagram by the strategy above (steps 1 to 4). Checks
// for cancellation every round. Without `patience`, default_patience of the
// reduced diagram.
void simplify_diagram(KnotDiagram& diagram, std::uint64_t seed);
void simplify_diagram(KnotDiagram& diagram, std::uint64_t seed, std::size_t patience);

// The rounds of R3 moves of simplify_diagram (with the strand passes when
// they stall) on a diagram whose strand passes are done: simplify_diagram is
// pass_strands_until_stable(diagram, kStrandPassShare) and then this.
void r3_search(KnotDiagram& diagram, std::uint64_t seed, std::size_t patience);

}  // namespace skeinlab
