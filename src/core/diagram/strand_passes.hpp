// Strand passes: a strand of the diagram that passes over every crossing it
// meets (or under every one) can be lifted off the diagram and laid down again
// along any other path between its ends, over (or under) everything it
// crosses, without changing the knot. Laid along a shortest path through the
// faces of the rest of the diagram, it often crosses far fewer strands: the
// move that brings large random diagrams near their minimal size, where R1,
// R2 and R3 moves alone leave them several times too large.
#pragma once

#include <cstddef>

#include "diagram/knot_diagram.hpp"

namespace skeinlab {

// One sweep of strand passes: every maximal strand of over passages (with
// `over`; of under passages otherwise), longest first, is laid again along a
// shortest path between its ends when that path crosses fewer strands. Moves
// in one sweep touch disjoint sets of faces (a strand whose faces a move has
// already changed waits for the next sweep). The crossings of the result are
// renumbered in walk order. Returns the number of crossings removed (0 when
// nothing changed); the same diagram gives the same result everywhere. The
// diagram must be planar. About linear in the diagram's size per sweep.
// Checks for cancellation every few dozen strands. A sweep of `share_from`
// strands or more, on a worker of a pool, lets an idle worker of the pool
// search strands ahead of their turn: the same moves, sooner.
inline constexpr std::size_t kSharedSweepStrands = 4096;
std::size_t pass_strands(KnotDiagram& diagram, bool over, std::size_t share_from = kSharedSweepStrands);

}  // namespace skeinlab
