// Sparse matrices of linear polynomials for the tests of the exact arithmetic: a knot's Alexander
// matrix and its minor, a ring's diagram, and the check of primes side by side against words.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "arithmetic/modular.hpp"
#include "arithmetic/sparse_lu.hpp"
#include "diagram/knot_diagram.hpp"
#include "geometry/geometry.hpp"
#include "invariants/alexander.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab::testing {

using Rows = std::vector<std::vector<LinearEntry>>;

// The minor without the last row and column, as the polynomial takes it.
inline Rows minor_of(const AlexanderMatrix& m) {
    const std::size_t k = m.crossings - 1;
    Rows minor(k);
    for (std::size_t r = 0; r < k; ++r)
        for (const LinearEntry& e : m.rows[r])
            if (e.col < k) minor[r].push_back(e);
    return minor;
}

inline KnotDiagram diagram_of_ring(Chain c) {
    kmt_ring(c);
    c.push_back(c.front());
    choose_projection(c);
    return *diagram_of_projection(c);
}

// The solves A^-1 b and A^-1 A1 b of four primes side by side in vector
// arithmetic against each prime's in words.
inline void expect_lanes_as_words(const SparseLU& lu, const std::vector<SparseLU::Factors>& factors,
                           const std::vector<modular::Montgomery>& ms) {
    const std::size_t k = lu.size();
    const SparseLU::PrimeLanes four = lu.side_by_side({&factors[0], &factors[1], &factors[2], &factors[3]});
    // A^-1 b and A^-1 A1 b, four primes at once and each in words.
    std::vector<double> v(4 * k), stepped(4 * k);
    std::vector<std::vector<std::uint64_t>> words(4, std::vector<std::uint64_t>(k)), steps = words;
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t s = 0; s < k; ++s) {
            const std::uint64_t b = (s * 104729 + 31 * i + 5) % ms[i].p();
            words[i][s] = ms[i].to(b);
            v[4 * s + i] = static_cast<double>(b);
        }
    lu.solve_t_part(four, v.data(), stepped.data());
    lu.solve(four, v.data());
    for (std::size_t i = 0; i < 4; ++i) {
        lu.multiply_t_part(factors[i], words[i].data(), steps[i].data());
        lu.solve(factors[i], steps[i].data());
        lu.solve(factors[i], words[i].data());
        const auto p = static_cast<double>(ms[i].p());
        for (std::size_t s = 0; s < k; ++s) {
            // Residues in (-p, p): the same class as the words'.
            const double x = v[4 * s + i] < 0 ? v[4 * s + i] + p : v[4 * s + i];
            const double y = stepped[4 * s + i] < 0 ? stepped[4 * s + i] + p : stepped[4 * s + i];
            ASSERT_EQ(static_cast<std::uint64_t>(x), ms[i].from(words[i][s])) << "prime " << i << " step " << s;
            ASSERT_EQ(static_cast<std::uint64_t>(y), ms[i].from(steps[i][s])) << "prime " << i << " step " << s;
        }
    }
}

inline AlexanderMatrix matrix_of_ring(Chain c) {
    kmt_ring(c);
    c.push_back(c.front());
    choose_projection(c);
    return alexander_matrix(c);
}

}  // namespace skeinlab::testing
