// The exact determinant of a sparse matrix of linear polynomials, recovered
// from its values modulo primes: evaluation by sparse elimination, Newton
// interpolation (in t + 1/t when the determinant is a power of t times a
// symmetric polynomial, as for knot diagrams; in t otherwise), Chinese
// remaindering across primes, and checks at fresh random primes and points
// that bound the chance of a wrong result below 2^-60.
#pragma once

#include <cstddef>
#include <vector>

#include "arithmetic/bigint.hpp"
#include "arithmetic/krylov_batches.hpp"
#include "arithmetic/sparse_determinant.hpp"

namespace skeinlab {

// How the exact determinant was found, for benchmarks and tests.
struct AlexanderStats {
    bool dense = false;          // fraction-free elimination over 64-bit integers
    bool symmetric = false;      // interpolation in t + 1/t
    std::size_t primes = 0;      // primes used for the value (checks excluded)
    std::size_t evaluations = 0; // sparse determinants evaluated, checks included
    std::size_t operations = 0;  // operations of the recorded elimination, each evaluation's work
    std::size_t krylov_images = 0;  // images from one factorisation and a Krylov sequence each
    std::size_t solves = 0;         // solves with the factors of those
};

// Where the images modulo primes of a symmetric determinant come from:
// evaluations at points, or one factorisation and a Krylov sequence per prime
// (arithmetic/wiedemann) when that costs less (automatic: large matrices
// whose elimination makes many more operations than its factors have
// entries), or whenever the matrix allows (always, for tests).
enum class KrylovImages { automatic, always, never };

// The coefficients, lowest power of t first, of the determinant of the n x n
// matrix `rows` (possibly with leading and trailing zeros). `ahead`: Krylov
// images of the first primes computed on another matrix whose determinant
// is this one's times +-1 and a power of t (another diagram of the same
// knot), still being computed or not, taken as this matrix's when Krylov
// images at t = 1 are; each is checked as the images computed here are.
// Throws InternalError if no candidate passes its checks after several
// attempts.
std::vector<BigInteger> recover_determinant(std::size_t n, std::vector<std::vector<LinearEntry>> rows,
                                            AlexanderStats* stats, KrylovImages krylov = KrylovImages::automatic,
                                            std::shared_ptr<ImagesAhead> ahead = nullptr);

}  // namespace skeinlab
