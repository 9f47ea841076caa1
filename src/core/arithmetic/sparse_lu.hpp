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

#include <cstdint>
#include <optional>
#include <vector>

#include "arithmetic/modular.hpp"
#include "arithmetic/sparse_determinant.hpp"

namespace skeinlab {

class SparseLU {
public:
    using Pivot = SparseDeterminant::Pivot;

    // `rows` as for SparseDeterminant; `order` one pivot per row and column.
    SparseLU(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows, const std::vector<Pivot>& order);

    std::size_t size() const { return n_; }
    // Off-diagonal entries of L and U (the work of one solve).
    std::size_t entries() const { return l_cols_.size() + u_cols_.size(); }  // padding included
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
    // zero there (the factors are then unusable).
    bool factor(const modular::Montgomery& m, std::uint64_t x, Factors& out) const;
    // Replaces b (by step, Montgomery form) with the solution x of A x = b
    // (by step).
    void solve(const Factors& factors, std::uint64_t* v) const;
    // y = A1 w, A1 the matrix's coefficients of t (w by column step, y by
    // row step).
    void multiply_t_part(const Factors& factors, const std::uint64_t* w, std::uint64_t* y) const;

private:
    std::size_t n_;
    std::vector<std::uint32_t> row_step_, col_step_;
    // The matrix by step: row s's entries (column steps and coefficients).
    std::vector<std::uint32_t> a_start_, a_cols_;
    std::vector<std::int64_t> a_c0_, a_c1_;
    // L (below the diagonal, unit diagonal) and U (above) by rows: row s's
    // count[s] entries, columns ascending, from start[s], then zeros in
    // column 0 up to start[s + 1] (rows of whole groups of kWidth, which
    // solves take without a branch per entry).
    static constexpr std::size_t kWidth = 4;
    std::vector<std::uint32_t> l_start_, l_cols_, u_start_, u_cols_, l_count_, u_count_;
    bool odd_permutation_ = false;
};

}  // namespace skeinlab
