// The Alexander matrix of a projected closed chain and its exact Alexander
// polynomial: the determinant of the minor without the last row and column,
// normalized, with integer coefficients of any size.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "arithmetic/bigint.hpp"
#include "arithmetic/determinant_recovery.hpp"
#include "arithmetic/polynomial.hpp"
#include "arithmetic/sparse_determinant.hpp"
#include "diagram/knot_diagram.hpp"
#include "geometry/geometry.hpp"

namespace skeinlab {

// The g x g matrix of a diagram with g crossings: row k belongs to the k-th
// crossing met by the walk, column a to the a-th arc (arcs run from one
// under-passage to the next). Each row has at most three entries c0 + c1 t,
// in increasing column order.
struct AlexanderMatrix {
    std::size_t crossings = 0;
    std::vector<std::vector<LinearEntry>> rows;
    // The projection put a crossing on a vertex as far as the crossing test
    // can tell (find_crossings' `dropped`): the matrix may lack it.
    bool dropped_crossing = false;
};

// Walks the projected chain (first two coordinates; the third is the height;
// the last point is not joined back to the first) and builds its matrix.
AlexanderMatrix alexander_matrix(const Chain& projected);

// The matrix of a knot diagram, built the same way from its walk (rows by
// crossing number, arcs from the walk's first under-passage): for the diagram
// of a projection it is the matrix of the projected chain, entry for entry.
AlexanderMatrix alexander_matrix(const KnotDiagram& diagram);

// A normalized polynomial (no factor t, highest coefficient positive) whose
// coefficients may exceed 64 bits.
struct ExactPolynomial {
    // The polynomial when every coefficient fits std::int64_t.
    std::optional<Polynomial> small;
    // Otherwise every coefficient, lowest exponent first.
    std::vector<BigInteger> big;

    // The text form, as fmt() writes it.
    std::string text() const;
};

// Largest minor that the dense fraction-free elimination takes first; larger
// minors, and any whose coefficients overflow 64 bits there, go to the modular
// method.
inline constexpr std::size_t kDenseMinorLimit = 10;

// The normalized determinant of the matrix's minor without its last row and
// column. Exact: the dense path detects overflow and every modular result is
// checked at independent random primes and points, so that a wrong polynomial
// has probability below 2^-60. `dense_limit` overrides kDenseMinorLimit;
// `krylov` chooses how the modular images are found (for tests and
// benchmarks; the polynomial is the same); `ahead`, Krylov images computed
// on another diagram of the same knot (alexander_images_ahead), which the
// modular method takes as its first primes' when it takes Krylov images at
// t = 1.
ExactPolynomial alexander_polynomial(const AlexanderMatrix& matrix, AlexanderStats* stats = nullptr,
                                     std::size_t dense_limit = kDenseMinorLimit,
                                     KrylovImages krylov = KrylovImages::automatic,
                                     std::shared_ptr<ImagesAhead> ahead = nullptr);

// Starts the first Krylov images of the determinant of the diagram's matrix
// on the pool's other workers (ImagesAhead), for alexander_polynomial of
// another diagram of the same knot: the diagram as it is at the call, which
// the caller may go on simplifying. Nothing with one worker.
std::shared_ptr<ImagesAhead> alexander_images_ahead(const KnotDiagram& diagram);

}  // namespace skeinlab
