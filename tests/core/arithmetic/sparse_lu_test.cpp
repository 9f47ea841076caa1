// Sparse LU factors in a recorded elimination's order: they solve the matrix and give its
// determinant, several primes side by side give each prime's solves, a zero pivot at a point is reported.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "arithmetic/sparse_lu.hpp"
#include "curves.hpp"
#include "matrices.hpp"

namespace skeinlab::sparse_lu_test {
namespace {

using modular::Field;
using testing::seeded_walk;
using testing::minor_of;
using testing::diagram_of_ring;
using testing::expect_lanes_as_words;
using testing::Rows;

// A random sparse n x n matrix with a non-zero diagonal: coefficients of t
// other than 0, 1 and -1, or (`unit_t`) only those, on rows of up to eight
// entries (more than a knot's matrix has).
Rows random_matrix(std::size_t n, std::uint64_t seed, bool unit_t = false) {
    std::mt19937_64 rng(seed);
    Rows rows(n);
    for (std::size_t r = 0; r < n; ++r) {
        std::vector<std::uint32_t> cols = {static_cast<std::uint32_t>(r)};
        for (int k = 0; k < (unit_t ? 7 : 3); ++k) cols.push_back(static_cast<std::uint32_t>(rng() % n));
        std::sort(cols.begin(), cols.end());
        cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
        for (const std::uint32_t c : cols) {
            const auto c0 = static_cast<std::int64_t>(rng() % 7) - 3;
            const auto c1 = unit_t ? static_cast<std::int64_t>(rng() % 3) - 1 : static_cast<std::int64_t>(rng() % 5) - 2;
            rows[r].push_back({c, c0, c1});
        }
    }
    return rows;
}

TEST(SparseLU, FactorsInTheRecordedOrderSolveTheMatrixAndGiveItsDeterminant) {
    for (const auto& [n, pull] : {std::pair{1500u, 0.0}, std::pair{400u, 0.2}}) {
        const Rows minor = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(n, 5, pull))));
        const std::size_t k = minor.size();
        SparseDeterminant det(k, minor);
        const Field first{modular::drawn_prime(0)};
        det.evaluate(first, 12345);
        const SparseLU lu(k, det.rows(), det.pivot_order());
        SparseLU::Factors factors;
        for (const std::size_t prime_index : {1u, 9u}) {
            const Field f{modular::drawn_prime(prime_index)};
            const modular::Montgomery m(f.p);
            for (const std::uint64_t x : {std::uint64_t{3}, std::uint64_t{1000003}, f.p - 5}) {
                SCOPED_TRACE(std::to_string(n) + " prime " + std::to_string(prime_index) + " x " + std::to_string(x));
                ASSERT_TRUE(lu.factor(m, x, factors));
                EXPECT_EQ(m.from(factors.determinant), det.evaluate(f, x));
                // A x = b for a b of distinct residues, checked row by row in
                // the matrix's own numbering; and A1 x the same way.
                std::vector<std::uint64_t> b(k), v(k), t_part(k);
                for (std::size_t r = 0; r < k; ++r) b[r] = (r * 7919 + 11) % f.p;
                for (std::size_t r = 0; r < k; ++r) v[lu.row_step(r)] = m.to(b[r]);
                lu.solve(factors, v.data());
                lu.multiply_t_part(factors, v.data(), t_part.data());
                for (std::size_t r = 0; r < k; ++r) {
                    std::uint64_t ax = 0, a1x = 0;
                    for (const LinearEntry& e : minor[r]) {
                        const std::uint64_t xc = m.from(v[lu.col_step(e.col)]);
                        const std::uint64_t entry = f.add(f.from_signed(e.c0), f.mul(f.from_signed(e.c1), x));
                        ax = f.add(ax, f.mul(entry, xc));
                        a1x = f.add(a1x, f.mul(f.from_signed(e.c1), xc));
                    }
                    ASSERT_EQ(ax, b[r]) << "row " << r;
                    ASSERT_EQ(a1x, m.from(t_part[lu.row_step(r)])) << "row " << r;
                }
            }
        }
    }
}

TEST(SparseLU, PrimesSideBySideInVectorArithmeticGiveEachPrimesSolveAndProduct) {
    if (!SparseLU::prime_lanes_available()) GTEST_SKIP() << "no AVX2 and FMA here";
    struct Case {
        const char* name;
        Rows rows;
    };
    for (const Case& c : {Case{"knot diagram", minor_of(alexander_matrix(diagram_of_ring(seeded_walk(800, 4, 0.1))))},
                          Case{"random, coefficients of t beyond +-1", random_matrix(300, 9)},
                          Case{"random, coefficients of t +-1 on long rows", random_matrix(300, 10, true)}}) {
        SCOPED_TRACE(c.name);
        const std::size_t k = c.rows.size();
        SparseDeterminant det(k, c.rows);
        det.evaluate(Field{modular::drawn_prime(0)}, 4321);
        ASSERT_FALSE(det.pivot_order().empty());
        const SparseLU lu(k, det.rows(), det.pivot_order());
        std::vector<SparseLU::Factors> factors(4);
        std::vector<modular::Montgomery> ms;
        for (std::size_t i = 0; i < 4; ++i) {
            ms.emplace_back(modular::drawn_prime(20 + i));
            ASSERT_TRUE(lu.factor(ms[i], 1000 + 77 * i, factors[i]));
        }
        expect_lanes_as_words(lu, factors, ms);
        // The images of four together, and of two and two, are those of each
        // alone.
        std::vector<std::optional<PencilImage>> alone;
        for (std::size_t i = 0; i < 4; ++i) {
            Stream stream(50 + i);
            alone.push_back(pencil_image(lu, factors[i], Field{ms[i].p()}, 1000 + 77 * i, stream, k));
            ASSERT_TRUE(alone.back());
        }
        for (const std::size_t lanes : {4u, 2u}) {
            for (std::size_t first = 0; first < 4; first += lanes) {
                std::vector<Stream> streams;
                std::vector<PencilTask> tasks;
                for (std::size_t i = first; i < first + lanes; ++i) streams.emplace_back(50 + i);
                for (std::size_t i = first; i < first + lanes; ++i)
                    tasks.push_back({&factors[i], Field{ms[i].p()}, 1000 + 77 * i, &streams[i - first]});
                const std::vector<std::optional<PencilImage>> images = pencil_images(lu, tasks, k);
                for (std::size_t i = first; i < first + lanes; ++i) {
                    SCOPED_TRACE(std::to_string(lanes) + " lanes, prime " + std::to_string(i));
                    ASSERT_TRUE(images[i - first]);
                    EXPECT_EQ(images[i - first]->factor, alone[i]->factor);
                    EXPECT_EQ(images[i - first]->value, alone[i]->value);
                    EXPECT_EQ(images[i - first]->iterations, alone[i]->iterations);
                }
            }
        }
    }
}

TEST(SparseLU, AZeroPivotAtAPointIsReportedAndOthersStillFactor) {
    // [[t, 1], [1, 1]] with the pivots on the diagonal: t = 0 leaves none.
    const Rows rows = {{{0, 0, 1}, {1, 1, 0}}, {{0, 1, 0}, {1, 1, 0}}};
    const SparseLU lu(2, rows, {{0, 0}, {1, 1}});
    const Field f{modular::drawn_prime(0)};
    const modular::Montgomery m(f.p);
    SparseLU::Factors factors;
    EXPECT_FALSE(lu.factor(m, 0, factors));
    ASSERT_TRUE(lu.factor(m, 5, factors));
    EXPECT_EQ(m.from(factors.determinant), 4u);
    // The second row's pivot first: an odd permutation.
    const SparseLU swapped(2, rows, {{1, 0}, {0, 1}});
    ASSERT_TRUE(swapped.factor(m, 5, factors));
    EXPECT_EQ(m.from(factors.determinant), 4u);
}

}  // namespace
}  // namespace skeinlab::sparse_lu_test
