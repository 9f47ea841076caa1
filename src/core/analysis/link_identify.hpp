// The name of the link several rings form: its split sublinks as the diagram
// shows them once reduced, each named from the table of prime links (two or
// more rings) or as a knot (one ring), and each ring's own knot.
//
// Names: a sublink of one ring has its knot's name ("1", "+3_1"); a sublink of two
// or more rings its table link's, with its chirality as for knots
// ("+L2a1{1}" for LinkInfo's diagram, "-L2a1{1}" for its mirror image, no sign
// when HOMFLY-PT cannot tell the two apart), links that share the polynomial
// as alternatives in table order ("(+L6a2{0}|-L6a3{1})"), and a sublink that is
// not in the table (a composite link, more than 10 crossings, a split link
// whose reduced diagram still joins its sublinks) or whose polynomial is beyond
// the sweep's limits as "?" and its crossings after reduction ("?14"). The
// link's name joins its sublinks' names with " U ", sublinks in order of their
// first ring.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/knottype.hpp"
#include "diagram/link_diagram.hpp"
#include "geometry/geometry.hpp"
#include "invariants/homfly.hpp"
#include "invariants/homfly_sweep.hpp"
#include "runtime/outcome.hpp"

namespace skeinlab {

struct Sublink {
    // The rings of the sublink, by their numbers (increasing).
    std::vector<std::size_t> rings;
    std::string name;
    // Crossings of the sublink's diagram after reduction (for one ring, of its
    // knot's simplified diagram).
    std::size_t crossings = 0;
    // The HOMFLY-PT polynomial of the sublink, when computed.
    std::optional<Laurent2> homfly;
};

struct LinkIdentity {
    std::string name;
    std::vector<Sublink> sublinks;
    // Each ring's knot, named on its own as knot identification names it.
    std::vector<std::string> knots;
};

// Identifies the link of rings (each closed from its last point to its
// first), projected together along z, else along the first of knot typing's
// fixed turns that gives a diagram; the diagram is reduced by R1 and R2
// moves, cut into the sublinks it shows split, and each sublink named. All rings
// are scaled together into the unit range first. Rings that meet in every
// projection give the name "?" with no sublinks.
LinkIdentity identify_link(const std::vector<Chain>& rings, const KnotTypeOptions& options);

// identify_link as a work item's outcome.
Outcome<LinkIdentity> identify_link_frame(const std::vector<Chain>& rings, const KnotTypeOptions& options);

// The link two rings form, as their pair in a melt needs it: `linked` when
// their linking number `lk` is not 0, or when it is 0 and the link is shown
// not to be split (the reduced diagram still joins the rings, and its
// HOMFLY-PT polynomial differs from mu P(A) P(B), which every split link of
// the two knots has); `name` is the link's name as identify_link gives it
// ("?" when they meet in every projection). The sweep stops at a fifth of
// its usual states here (a melt has thousands of pairs).
struct PairLink {
    bool linked = false;
    std::string name;
};
PairLink pair_link(const Chain& a, const Chain& b, std::int64_t lk);

// The name of the link a reduced diagram of two or more components forms, as
// above ("?" and its crossings when not in the table), with its polynomial
// (the sweep within `limits`).
std::string name_link_diagram(const LinkWalks& reduced, std::optional<Laurent2>& homfly,
                              const SweepLimits& limits = {});

}  // namespace skeinlab
