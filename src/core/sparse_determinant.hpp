// The determinant, modulo a prime, of a sparse square matrix whose entries are
// polynomials c0 + c1 t evaluated at one point: sparse Gaussian elimination
// with Markowitz pivoting (the column with the fewest entries, then its
// shortest row), which keeps the fill low on the nearly planar sparsity of
// knot diagrams.
#pragma once

#include <cstdint>
#include <vector>

#include "modular.hpp"

namespace skeinlab {

// One matrix entry: c0 + c1 t in column `col`.
struct LinearEntry {
    std::uint32_t col;
    std::int64_t c0;
    std::int64_t c1;
};

class SparseDeterminant {
public:
    // `rows` is an n x n matrix: each row's entries in increasing column order,
    // columns below n, no column twice in a row.
    SparseDeterminant(std::size_t n, std::vector<std::vector<LinearEntry>> rows);

    std::size_t size() const { return n_; }

    // The determinant at t = x, modulo f.p.
    std::uint64_t evaluate(const modular::Field& f, std::uint64_t x);

private:
    struct Entry {
        std::uint32_t col;
        std::uint64_t value;
    };

    std::size_t n_;
    std::vector<std::vector<LinearEntry>> pattern_;
    // Work space kept between evaluations.
    std::vector<std::vector<Entry>> rows_;
    std::vector<std::vector<std::uint32_t>> col_rows_;
    std::vector<std::uint32_t> col_count_;
    std::vector<std::uint8_t> row_done_;
    std::vector<std::uint8_t> col_done_;
    std::vector<Entry> scratch_;
};

}  // namespace skeinlab
