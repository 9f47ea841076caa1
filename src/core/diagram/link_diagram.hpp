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
    std::vector<std::array<std::uint32_t, 4>> crossings;
    std::vector<std::int8_t> signs;
};

// The oriented diagram of a knot diagram (edge e from passage e to e + 1).
OrientedDiagram oriented_diagram(const KnotDiagram& diagram);

// Several rings projected together (first two coordinates; the third the
// height): the diagram of the components that cross something, and how many
// components cross nothing.
struct LinkProjection {
    OrientedDiagram diagram;
    std::size_t free_components = 0;
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
