// Small knot diagrams for tests: the trefoil, the figure-eight knot, and
// connected sums made by joining walks.
#pragma once

#include <cstdint>

#include <string>

#include "diagram/knot_diagram.hpp"
#include "invariants/alexander.hpp"

namespace skeinlab::testing {

// The Alexander polynomial of a diagram, as text.
inline std::string alexander_text(const KnotDiagram& d) { return alexander_polynomial(alexander_matrix(d)).text(); }

// The right-handed trefoil.
inline const KnotDiagram kTrefoil{{{0, false}, {1, true}, {2, false}, {0, true}, {1, false}, {2, true}}, {1, 1, 1}};

// The figure-eight knot (KnotInfo's PD code read by diagram_from_pd).
inline KnotDiagram figure_eight() {
    return diagram_from_pd({{4, 2, 5, 1}, {8, 6, 1, 5}, {6, 3, 7, 4}, {2, 7, 3, 8}}).value();
}

// The walk of `a` followed by the walk of `b` (its crossings numbered after
// a's), starting `shift` passages into b: a connected sum of the two.
inline KnotDiagram joined(const KnotDiagram& a, const KnotDiagram& b, std::size_t shift) {
    KnotDiagram d = a;
    const auto offset = static_cast<std::uint32_t>(a.crossings());
    for (std::size_t k = 0; k < b.walk.size(); ++k) {
        const Passage& p = b.walk[(k + shift) % b.walk.size()];
        d.walk.push_back({p.crossing + offset, p.over});
    }
    d.signs.insert(d.signs.end(), b.signs.begin(), b.signs.end());
    return d;
}

}  // namespace skeinlab::testing
