// The HOMFLY-PT polynomial of a knot diagram by a sweep over its crossings: a
// dynamic programme whose cost grows with the width of the sweep (the edges
// between the crossings swept and the others), not with the crossing number,
// so that diagrams of hundreds of crossings and small width are feasible.
//
// It sums the same skein template as the skein tree of homfly.hpp, in the
// canonical form of B. A. Burton's fixed-parameter tractable algorithm
// ("The HOMFLY-PT polynomial is fixed-parameter tractable", SoCG 2018): walk
// the components of the diagram in order of their least edge, each from that
// edge; a crossing first met from below is switched or smoothed, one first
// met from above is kept. Every leaf is a descending diagram (an unlink), and
// a leaf is fixed by the set of smoothed crossings alone, so the sum runs over
// the sets whose walk meets every smoothed crossing first from below.
//
// The sweep adds the crossings one at a time. The edges with an end among the
// swept crossings form paths (fragments); a state records which fragments the
// rest of the diagram will join into each component, in the order of the walk
// (guessed when a fragment appears, checked when fragments meet). Edges are
// ordered by the step at which the sweep first reaches them, so a
// component's least edge, and with it the walk's order of every pair of
// edges that meet at a crossing, is known when that crossing is swept. The
// states grow roughly like the factorial of half the width, so the order of
// the sweep is chosen to keep the width small.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "diagram/knot_diagram.hpp"
#include "diagram/link_diagram.hpp"
#include "invariants/homfly.hpp"

namespace skeinlab {

// An order of the crossings for the sweep, and its width: the most edges
// with exactly one end among the crossings swept so far, over all prefixes.
struct SweepOrder {
    std::vector<std::uint32_t> crossings;
    std::size_t width = 0;
};

// A greedy order of small width: from each of several starting crossings,
// the next crossing is the one that leaves the fewest edges half swept (ties:
// the lowest number); the order of least width (then least total) is kept.
SweepOrder sweep_order(const KnotDiagram& diagram);

struct SweepLimits {
    // The sweep is not tried on a diagram whose order is wider than this.
    std::size_t max_width = 12;
    // The sweep gives up when more states than this are alive at once (each
    // holds a polynomial: memory grows with this figure, about a kilobyte a
    // state on diagrams of a hundred crossings).
    std::size_t max_states = 100000;
};

// The HOMFLY-PT polynomial of a knot diagram (the variables and skein
// relation of homfly.hpp), equal to homfly_polynomial's. A diagram with a
// crossing joined to itself by an edge (a kink) is first reduced by
// Reidemeister moves of type I and II. Nothing when the order is wider, or
// the states more, than the limits allow, or when a coefficient would not
// fit 64 bits. Checks for cancellation every few hundred states.
std::optional<Laurent2> homfly_polynomial_sweep(const KnotDiagram& diagram, const SweepLimits& limits = {});

// The HOMFLY-PT polynomial of an oriented link diagram (components walked in
// order of their least edge, as for knots; a link of c components has powers
// of z of the parity of c - 1, down to z^(1 - c)). Nothing, besides the limits,
// for a diagram without crossings, one whose edges are not each left and
// entered once, or one with a kink (an edge from a crossing to itself).
std::optional<Laurent2> homfly_polynomial_sweep(const OrientedDiagram& diagram, const SweepLimits& limits = {});

// The HOMFLY-PT polynomial of rings projected together: their diagram's, times
// mu = (v^-1 - v) / z for every component that crosses nothing (mu^(c - 1)
// for c rings that cross nothing at all). Nothing when the sweep gives none.
std::optional<Laurent2> link_homfly(const LinkProjection& projection, const SweepLimits& limits = {});

}  // namespace skeinlab
