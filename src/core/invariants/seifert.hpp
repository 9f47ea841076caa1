// A Seifert matrix of a knot diagram, read off its crossings and edges.
//
// The surface is Seifert's: a disk on every Seifert circle (the curves of the
// oriented smoothing), joined by a half-twisted band at every crossing. Its
// first homology is spanned by curves around the diagram's faces: each runs
// along the edges of its face (on the disks, just inside their circles) and
// through the bands at the face's corners where it changes circles. Those
// curves sum to zero over each group of faces that the bands join, so the
// basis keeps all faces but one of each group: 2g of them, g the surface's
// genus (crossings - circles + 1 = 2g).
//
// Nested circles need no special treatment: near every crossing the disks are
// turned, by an isotopy, to the side of their circle away from the other
// circle (their own interior lies over the band otherwise, carrying no curve),
// so that every crossing looks alike; an edge whose two ends turn its disk to
// different sides carries a half twist of the disk's rim.
//
// V[i][j] = lk(a_i, a_j^+) (a^+ pushed off the surface along its normal).
// det(V^T - t V) is the Alexander polynomial times a power of t; V - V^T is
// the surface's intersection form, invertible over the integers.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "arithmetic/sparse_determinant.hpp"
#include "diagram/knot_diagram.hpp"

namespace skeinlab {

struct SeifertMatrix {
    std::size_t size = 0;  // 2g
    // Row i's non-zero entries (column, value), columns ascending.
    std::vector<std::vector<std::pair<std::uint32_t, std::int64_t>>> rows;
};

// The Seifert matrix of a planar knot diagram (is_planar()); the empty matrix
// for a diagram without crossings.
SeifertMatrix seifert_matrix(const KnotDiagram& diagram);

// The rows of V^T - t V (columns ascending), whose determinant is the
// Alexander polynomial times a power of t and a sign.
std::vector<std::vector<LinearEntry>> seifert_pencil(const SeifertMatrix& v);

}  // namespace skeinlab
