// The name of a chain's knot from its HOMFLY-PT polynomial: chirality,
// connected sums, and every prime knot of up to 15 crossings (the table to 12,
// the census of 13 to 15).
//
// Names: "1" for the unknot; a prime knot as its table name with its
// chirality, "+3_1" (the chirality of KnotInfo's diagram: the right-handed
// trefoil, three positive crossings) or "-3_1" (the mirror image), and
// without a sign when the knot is its own mirror image ("4_1") or when its
// polynomial cannot tell it from its mirror image; knots of 13 to 15
// crossings by the enumeration's names ("+13n_1609"); knots that share the
// polynomial as alternatives in table order, "(+5_1|-10_132)", only those
// whose crossing number the factor's diagram reaches (a diagram of 5
// crossings is "-5_1", never 10_132); a factor whose diagram has more
// crossings than the census's largest knots (15) with the candidates and the
// knot beyond the census it may be, "(+12a_307|?16)"; a factor that is no
// known knot, or whose polynomial is not computed, as "?" and its crossings
// after simplification ("?17"); the factors of a connected sum joined by
// "#", known ones in table order (+ before -), then unknown ones by crossings
// ("+3_1#-3_1", "+3_1#?17").
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/knottype.hpp"
#include "base/error.hpp"
#include "diagram/knot_diagram.hpp"
#include "invariants/alexander.hpp"
#include "invariants/homfly.hpp"
#include "runtime/outcome.hpp"

namespace skeinlab {

// A summand's HOMFLY-PT polynomial is computed by the skein tree up to this
// many crossings after simplification, by the sweep of homfly_sweep.hpp
// beyond (within its default limits: a summand too wide for them gets none).
inline constexpr std::size_t kSkeinTreeCrossings = 12;

struct IdentifiedFactor {
    // The factor's name, as in the name of the whole knot.
    std::string name;
    // Crossings of its diagram after simplification.
    std::size_t crossings = 0;
    // Its Alexander and HOMFLY-PT polynomials, when computed (the first for
    // summands whose HOMFLY-PT polynomial is within reach, the second when
    // the first is a table knot's).
    std::optional<ExactPolynomial> alexander;
    std::optional<Laurent2> homfly;
};

struct KnotIdentity {
    std::string name = "1";
    // The prime summands the simplified diagram shows, in the order of the name.
    std::vector<IdentifiedFactor> factors;
    // Their simplified diagrams, in the same order.
    std::vector<KnotDiagram> diagrams;
};

// The evidence behind a name: the invariants of the knot and of each summand.
struct SummandInvariants {
    std::string name;
    std::size_t crossings = 0;
    // The Alexander polynomial, normalized as knot_type's texts are.
    std::string alexander;
    // HOMFLY-PT and Jones, for summands whose HOMFLY-PT polynomial is within
    // the sweep's limits.
    std::optional<Laurent2> homfly, jones;
};

struct KnotInvariants {
    std::string name;
    // The products over the summands: the Alexander polynomial, the
    // determinant |Alexander(-1)| (decimal, of any size), and HOMFLY-PT and
    // Jones when every summand has them.
    std::string alexander;
    std::string determinant;
    std::optional<Laurent2> homfly, jones;
    // Crossings of the simplified diagram (the sum over the summands).
    std::size_t crossings = 0;
    std::vector<SummandInvariants> summands;
};

// Names a planar knot diagram: simplified with a fixed seed, cut into its
// summands, each named from the table.
KnotIdentity identify_diagram(const KnotDiagram& diagram);

// Identifies one chain as knot typing closes it (a ring joined to its first
// point, an open chain through two points outside its hull, both reduced by
// KMT first when options.use_kmt), projected along the axis of least extent
// (or the first fallback projection that gives a planar diagram); the
// diagram is simplified with a fixed seed and cut into its summands.
KnotIdentity identify_knot(const Chain& points, const KnotTypeOptions& options);

// identify_knot on the chain scaled into the unit range, as a work item's
// outcome (its name).
Outcome<std::string> identify_frame(const Chain& chain, const KnotTypeOptions& options);

// The PD code of the simplified diagram identify_knot names (the projection's
// diagram after simplify_diagram, before it is cut into summands), from the
// chain scaled into the unit range; empty for a chain with no crossing left.
Outcome<std::vector<PdCrossing>> pd_frame(const Chain& chain, const KnotTypeOptions& options);

// The name identify_diagram gives the diagram of a PD code; the code's error
// (diagram_from_pd) when it is not one knot's planar diagram. An empty code is
// the unknot.
Result<std::string> identify_pd_code(const std::vector<PdCrossing>& pd);

// The invariants of a chain identified as identify_knot does it (scaled into
// the unit range first), as a work item's outcome.
Outcome<KnotInvariants> invariants_frame(const Chain& chain, const KnotTypeOptions& options);

}  // namespace skeinlab
