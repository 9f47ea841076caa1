// A knot diagram as its signed Gauss code: the crossings met walking once along
// the oriented knot (each met twice, once over and once under) and the sign of
// every crossing. With the signs, the code fixes the diagram on the sphere; its
// PD code, faces and planarity follow from it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "geometry/geometry.hpp"

namespace skeinlab {

// One passage of the knot through a crossing.
struct Passage {
    std::uint32_t crossing = 0;
    bool over = false;
    friend bool operator==(const Passage&, const Passage&) = default;
};

// Crossing signs are +1 for a positive (right-handed) crossing, where the
// direction of the over strand turned counterclockwise by a quarter turn gives
// the direction of the under strand, as seen by the viewer above the diagram;
// -1 for a negative one. The right-handed trefoil has three positive crossings.
struct KnotDiagram {
    // The 2 n passages in order along the knot, from any starting point; edge e
    // joins passage e to passage e + 1 (mod 2 n).
    std::vector<Passage> walk;
    // The n crossing signs, by crossing number.
    std::vector<std::int8_t> signs;

    std::size_t crossings() const { return signs.size(); }
    // The sum of the signs.
    std::int64_t writhe() const;
    friend bool operator==(const KnotDiagram&, const KnotDiagram&) = default;
};

// A crossing of a PD code, X[i, j, k, l]: i is the edge on which the under
// strand comes in, j, k and l follow counterclockwise (so k is where it goes
// out). Edges are numbered from 1 to 2 n.
using PdCrossing = std::array<std::uint32_t, 4>;

// The PD code of a diagram, crossing by crossing, with edge e + 1 for edge e of
// the walk: X[i, j, k, l] is positive when the over strand comes in on l.
std::vector<PdCrossing> pd_code(const KnotDiagram& diagram);

// The diagram of a PD code of one knot, its walk starting on the under strand
// of the first crossing and its crossings numbered in the order met. Errors
// (DataParse): "PD code: edge {} occurs {} times" (every edge number must occur
// exactly twice), "PD code: edges are not numbered 1 to {}", "PD code: the
// strands are not consistently oriented at crossing {}", "PD code: more than
// one component", "PD code: not a planar diagram".
Result<KnotDiagram> diagram_from_pd(const std::vector<PdCrossing>& pd);

// A PD code written as KnotInfo, SnapPy or Regina write them: crossings of
// four edge numbers in brackets or parentheses, separated by commas or white
// space, the whole in brackets ("[[1,5,2,4],[3,1,4,6],[5,3,6,2]]", "PD[X[1,5,2,4],
// ...]" is also read). Errors (DataParse): "PD code: {what} at byte {}".
Result<std::vector<PdCrossing>> parse_pd_code(std::string_view text);

// The diagram of a projected closed polygon: points projected on their first
// two coordinates, the third the height (the viewer looks down from above),
// the last point not joined back to the first, crossings numbered in the order
// the walk first meets them. It is the diagram whose Alexander matrix the
// knot typing builds: the same crossings, passages and order. Nothing when a
// crossing has no strand strictly above the other (equal or undefined
// heights): the projection is then no knot diagram.
std::optional<KnotDiagram> diagram_of_projection(const Chain& projected);

// A face of the diagram on the sphere, as the edges around it, each with the
// side it is walked (true: along the knot's orientation).
struct FaceEdge {
    std::uint32_t edge = 0;
    bool forward = true;
};
using Face = std::vector<FaceEdge>;

// The faces of the diagram, each edge side in exactly one. A diagram without
// crossings has two faces of no edges.
std::vector<Face> faces(const KnotDiagram& diagram);

// Calls visit(face) for every face of a diagram with crossings, as faces()
// lists them, the face in a buffer reused from one call to the next.
void for_each_face(const KnotDiagram& diagram, const std::function<void(const Face&)>& visit);

// The faces of a diagram with crossings as arrays, numbered and each walked
// as faces() lists them: face f's edges are edges[start[f] .. start[f + 1]),
// and left[e] and right[e] are the faces beside edge e as the knot runs
// along it (the face right of an edge walks it forward). No faces without
// crossings.
struct FaceTable {
    std::vector<std::uint32_t> start{0}, edges;
    std::vector<std::uint32_t> left, right;  // by edge
    std::size_t faces() const { return start.size() - 1; }
};
FaceTable face_table(const KnotDiagram& diagram);

// The faces of exactly three edges, as faces() lists them (in the same order),
// found without tracing the others.
std::vector<std::array<FaceEdge, 3>> triangles(const KnotDiagram& diagram);

// True when the signed Gauss code is that of a diagram on the sphere: each
// crossing met twice, once over and once under, signs of +1 or -1, and n + 2
// faces (Euler's formula for a connected 4-valent graph of n vertices).
bool is_planar(const KnotDiagram& diagram);

// The diagram of the mirror image (the knot reflected in the projection
// plane): every passage's over and under exchanged, every sign reversed.
KnotDiagram mirror_image(KnotDiagram diagram);

// The diagram with crossings renumbered in the order the walk first meets them
// (the walk and the signs otherwise unchanged).
KnotDiagram renumbered(const KnotDiagram& diagram);

}  // namespace skeinlab
