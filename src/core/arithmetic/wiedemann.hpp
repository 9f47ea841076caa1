// The determinant of a sparse matrix of linear polynomials A(t) = A0 + t A1
// modulo a prime, as a polynomial in t, by Wiedemann's method: with
// B = A(t0) factored once (arithmetic/sparse_lu), the scalars u^T M^j v of
// M = B^-1 A1 (random u, v) have M's minimal polynomial as their
// recurrence (Berlekamp-Massey). Since
//   det A(t) = det B * prod over M's eigenvalues mu of (1 + (t - t0) mu),
// the roots of that polynomial other than 0 and 1/t0 are the determinant's
// roots other than 0 and infinity. A root comes as often as the
// determinant has it only when M is cyclic there (the module the matrix
// presents is); the caller checks the degree.
//
// Factors that are a forest's (arithmetic/unit_forest: a knot's matrix at
// t0 = 1) keep the sequence's vectors as their blocked walks leave them, one
// pass over the rows a step, the dot product taken in it.
//
// The work is about twice the degree of the minimal polynomial in solves,
// each one pass over the factors' entries, against half the degree in
// evaluations of the elimination, each all its operations: far less when the
// elimination's operations outnumber its fill many times (compact diagrams).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "arithmetic/modular.hpp"
#include "arithmetic/shared_steps.hpp"
#include "arithmetic/sparse_lu.hpp"

namespace skeinlab {

struct PencilImage {
    std::uint64_t value = 0;            // det A(t0)
    std::vector<std::uint64_t> factor;  // P, lowest power of t first, P(t0) = 1
    std::size_t iterations = 0;         // solves
};

// det A(t) modulo f.p as value * P(t) * (t / t0)^k for some k (the
// multiplicity of the root 0, not found here), with `factors` those of
// `lu` at t0 modulo f.p. Nothing when the minimal polynomial's degree passes
// `max_degree` (not what the caller expected). u and v are drawn from
// `stream`.
std::optional<PencilImage> pencil_image(const SparseLU& lu, const SparseLU::Factors& factors,
                                        const modular::Field& f, std::uint64_t t0, Stream& stream,
                                        std::size_t max_degree);

// The images of several primes, each with its own factors (of `lu` at its
// t0), field and stream, as pencil_image() gives each alone: two or four at
// once in vector arithmetic where SparseLU::prime_lanes_available(), else
// one by one.
struct PencilTask {
    const SparseLU::Factors* factors;
    modular::Field f;
    std::uint64_t t0;
    Stream* stream;
};
// `shared` (if any) lets another thread take halves of the steps of primes
// side by side on a forest's factors (arithmetic/shared_steps); it is ended
// when this returns.
std::vector<std::optional<PencilImage>> pencil_images(const SparseLU& lu, const std::vector<PencilTask>& tasks,
                                                      std::size_t max_degree, SharedSteps* shared = nullptr);

}  // namespace skeinlab
