// Oriented diagrams of knots and links: every crossing by its four edges,
// with any number of components; the diagram of several rings projected
// together.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "diagram/knot_diagram.hpp"
#include "geometry/geometry.hpp"

namespace skeinlab {

// An oriented diagram of a knot or a link of any number of components (each
// with a crossing): every crossing's four edges, the under strand's in and
// out edge then the over strand's, and its sign (+1 positive, as in
// KnotDiagram). Edges are numbered 0 to 2 n - 1, each leaving one crossing and
// entering one.
struct OrientedDiagram {
    // The places of a crossing's four edges in `crossings`.
    enum Slot : std::uint8_t { kUnderIn = 0, kUnderOut = 1, kOverIn = 2, kOverOut = 3 };
    std::vector<std::array<std::uint32_t, 4>> crossings;
    std::vector<std::int8_t> signs;
};

// The oriented diagram of a knot diagram (edge e from passage e to e + 1).
OrientedDiagram oriented_diagram(const KnotDiagram& diagram);

// A link diagram as walks: the passages of each component in order along it
// (as KnotDiagram's walk; a component that crosses nothing has none), each
// crossing met twice in all, once over and once under, and the crossing
// signs. Edges follow passages within each component's walk.
struct LinkWalks {
    std::vector<std::vector<Passage>> walks;
    std::vector<std::int8_t> signs;

    std::size_t crossings() const { return signs.size(); }
};

// The oriented diagram of the components that cross something (their edges
// numbered walk after walk).
OrientedDiagram oriented_diagram(const LinkWalks& link);

// The diagram of a PD code of a link (KnotInfo's convention, X[i, j, k, l]
// with the under strand in on i and out on k; edges numbered 1 to 2 n), each
// component walked from its least edge, in order of those edges, crossings
// numbered as met. The direction of each over strand follows from the under
// strands of its component. Errors (DataParse): "PD code: edge {} occurs {}
// times", "PD code: edges are not numbered 1 to {}", "PD code: a component
// passes over everything (its direction is not given)", "PD code: the strands
// are not consistently oriented at crossing {}".
Result<LinkWalks> link_from_pd(const std::vector<PdCrossing>& pd);

// The mirror image: over and under exchanged, signs reversed.
LinkWalks mirror_image(LinkWalks link);

// The split sublinks the diagram shows: the components joined by crossings
// between them, as lists of component numbers (increasing, sublinks in order of
// their first component); a component that crosses nothing is a sublink alone.
std::vector<std::vector<std::size_t>> split_sublinks(const LinkWalks& link);

// The sub-diagram of the given components: the other components deleted
// with their crossings, the crossings among the given ones kept and
// renumbered as met.
LinkWalks sub_diagram(const LinkWalks& link, const std::vector<std::size_t>& components);

// Several rings projected together (first two coordinates; the third the
// height): the diagram of the components that cross something, and how many
// components cross nothing.
struct LinkProjection {
    OrientedDiagram diagram;
    std::size_t free_components = 0;
    // The same diagram as walks, one per ring (in the rings' order; rings
    // with fewer than two points have none).
    LinkWalks walks;
};

// The diagram of rings (each closed from its last point to its first; missing
// points left out) projected along z, crossings within a ring and between
// rings alike. Nothing when the projection is no diagram: a crossing whose
// strands have equal heights, or one the crossing test may have lost on a
// vertex (find_crossings' `dropped`).
std::optional<LinkProjection> link_diagram_of_projection(const std::vector<Chain>& rings);

// The diagram of the rings along z, else after the first of knot typing's
// eight fixed turns that gives one (rotations: handedness is kept). Nothing
// when none does (rings that meet).
std::optional<LinkProjection> link_diagram(const std::vector<Chain>& rings);

}  // namespace skeinlab
