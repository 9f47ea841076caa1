// Sparse LU factors, modulo a prime, of a matrix of linear polynomials
// c0 + c1 t at one point, in a pivot order chosen in advance (a recorded
// elimination's): the pattern of the factors is found once per matrix, their
// values once per prime and point, and each solve then costs one pass over
// the factors' entries, far fewer than the elimination's operations on large
// diagrams (the Krylov sequences of arithmetic/wiedemann).
//
// Everything is numbered by step: step s eliminates the pivot (row_s, col_s),
// and a vector "by step" holds at s what belongs to row_s (a right-hand side)
// or to col_s (a solution).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "arithmetic/modular.hpp"
#include "arithmetic/sparse_determinant.hpp"
#include "arithmetic/unit_forest.hpp"

namespace skeinlab {

class SparseLU {
public:
    using Pivot = SparseDeterminant::Pivot;

    // `rows` as for SparseDeterminant; `order` one pivot per row and column.
    // With `point`, the factors are only ever taken at t = point: entries
    // c0 + c1 point that are zero as integers stay out of their pattern (a
    // knot's matrix at t = 1 is a path's incidence matrix, whose factors in
    // a good order have no fill at all).
    SparseLU(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows, const std::vector<Pivot>& order,
             std::optional<std::int64_t> point = std::nullopt);

    std::size_t size() const { return n_; }
    // The only point the factors are taken at, if the pattern was made for one.
    std::optional<std::int64_t> point() const { return point_; }
    // Off-diagonal entries of L and U (the work of one solve).
    std::size_t entries() const { return l_cols_.size() + u_cols_.size(); }
    // The step of a row (as a pivot row) and of a column (as a pivot column).
    std::uint32_t row_step(std::size_t row) const { return row_step_[row]; }
    std::uint32_t col_step(std::size_t col) const { return col_step_[col]; }

    // The factors' values at one point modulo one prime (Montgomery form).
    struct Factors {
        std::optional<modular::Montgomery> m;
        std::vector<std::uint64_t> l, u, pivot_inverses, c1;
        std::uint64_t determinant = 0;
    };
    // The factors of the matrix at t = x modulo m.p(); false when a pivot is
    // zero there (the factors are then unusable), or when x is not the point
    // the pattern was made for.
    bool factor(const modular::Montgomery& m, std::uint64_t x, Factors& out) const;
    // Replaces b (by step, Montgomery form) with the solution x of A x = b
    // (by step).
    void solve(const Factors& factors, std::uint64_t* v) const;
    // y = A1 w, A1 the matrix's coefficients of t (w by column step, y by
    // row step).
    void multiply_t_part(const Factors& factors, const std::uint64_t* w, std::uint64_t* y) const;

    // The factors of two or four primes side by side, residues in (-p, p)
    // held in doubles (arithmetic/vector_residues), for solves in vector
    // arithmetic: vectors hold step s's residues at lanes * s ... lanes * s +
    // lanes - 1, one per prime. Only where prime_lanes_available() (AVX2 and
    // FMA); the values are those of solve() and multiply_t_part() on each
    // prime (c1, A1's coefficients, is left empty when they are all +1 or -1).
    // Their arithmetic sets the pace, not their bytes: an entry of four lanes
    // takes about five cycles on a 2 GHz Zen 1 whether the factors fit in its
    // caches or not.
    struct PrimeLanes {
        std::size_t lanes = 0;
        double p[4] = {}, p_inverse[4] = {};
        std::vector<double> l, u, pivot_inverses, c1;
    };
    static bool prime_lanes_available();
    PrimeLanes side_by_side(const std::vector<const Factors*>& factors) const;
    void solve(const PrimeLanes& factors, double* v) const;
    // v = A^-1 A1 w (w by column step, v by step): the product's rows are
    // formed as the solve reaches them.
    void solve_t_part(const PrimeLanes& factors, const double* w, double* v) const;
    // The residues in [0, p) of sum over steps of u[lanes * s + i] w[lanes * s + i].
    void dot(const PrimeLanes& factors, const double* u, const double* w, std::uint64_t* out) const;

    // The factors at the point as a forest's (arithmetic/unit_forest), when
    // they are one: their solves in vector arithmetic then go by blocked
    // walks, without multiplications. Null otherwise.
    const UnitForest* forest() const { return forest_ ? &*forest_ : nullptr; }

private:
    void solve_lanes_of(const PrimeLanes& factors, const double* w, double* v) const;
    void find_forest();

    std::size_t n_;
    std::optional<std::int64_t> point_;
    std::vector<std::uint32_t> row_step_, col_step_;
    // The matrix by step: row s's entries (column steps and coefficients).
    std::vector<std::uint32_t> a_start_, a_cols_;
    std::vector<std::int64_t> a_c0_, a_c1_;
    // A1's non-zero entries by step: row s's in [t_start_[s], t_start_[s + 1]),
    // those +1 before t_split_[s], those -1 from there (then any others).
    std::vector<std::uint32_t> t_start_, t_split_, t_cols_;
    std::vector<std::int64_t> t_c1_;
    bool unit_t_part_ = true;  // every non-zero entry of A1 is +1 or -1
    // L (below the diagonal, unit diagonal) and U (above) by rows: row s's
    // entries lie in [start[s], start[s + 1]), columns ascending.
    std::vector<std::uint32_t> l_start_, l_cols_, u_start_, u_cols_;
    bool odd_permutation_ = false;
    std::optional<UnitForest> forest_;  // see forest()
};

}  // namespace skeinlab
