// Connected sums seen in a diagram: a circle meeting the diagram in two points
// with crossings on both sides splits it into the diagrams of two summands.
// In the Gauss code such a circle cuts the walk into two stretches, each
// meeting only its own crossings.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "diagram/knot_diagram.hpp"

namespace skeinlab {

// A cut of the walk before passages `first` and `last` (first < last) such
// that the passages in [first, last) meet each of their crossings twice and
// so do the others; both stretches hold a crossing. Nothing when the diagram
// shows no connected sum.
std::optional<std::pair<std::size_t, std::size_t>> find_sum_cut(const KnotDiagram& diagram);

// The two diagrams of a cut: the stretch [first, last) closed on itself, and
// the rest; crossings keep their signs and are renumbered in walk order.
std::pair<KnotDiagram, KnotDiagram> split_at(const KnotDiagram& diagram, std::pair<std::size_t, std::size_t> cut);

// The summands of a planar diagram as far as its diagrams show them: the
// diagram is simplified (simplify_diagram with `seed`), cut wherever it shows
// a connected sum, and each part simplified and cut again, until no part
// shows one. Parts simplified to no crossing are dropped, so an unknot gives
// no summand. Summands are ordered by crossing number, then by their walks.
std::vector<KnotDiagram> diagram_summands(KnotDiagram diagram, std::uint64_t seed);

}  // namespace skeinlab
