// Factors that are a forest's: a knot's matrix at t = 1 factors without fill, and its blocked solves in
// vector arithmetic give the solves in words.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "arithmetic/unit_forest.hpp"
#include "curves.hpp"
#include "matrices.hpp"

namespace skeinlab::unit_forest_test {
namespace {

using modular::Field;
using testing::seeded_walk;
using testing::minor_of;
using testing::diagram_of_ring;
using testing::expect_lanes_as_words;
using testing::Rows;

std::uint64_t determinant_squared(const modular::Montgomery& m, const SparseLU::Factors& factors) {
    const std::uint64_t d = m.from(factors.determinant);
    return modular::Field{m.p()}.mul(d, d);
}

// A knot's matrix at t = 1 (its under-passages' entries +-1) is a path's
// incidence matrix: in the order its own elimination finds, and in that
// order reversed (the walk then runs down the steps, through U instead of
// L), the factors have no fill, are a forest's, exist only at t = 1, and
// their blocked solves in vector arithmetic give the words' solves.
TEST(SparseLU, AKnotsFactorsAtOneAreAForestSolvedInBlocksAsInWords) {
    if (!SparseLU::prime_lanes_available()) GTEST_SKIP() << "no AVX2 and FMA here";
    for (const auto& [n, pull] : {std::pair{1500u, 0.1}, std::pair{1000u, 0.0}}) {
        const Rows minor = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(n, 12, pull))));
        const std::size_t k = minor.size();
        Rows at_one(k);
        for (std::size_t r = 0; r < k; ++r)
            for (const LinearEntry& e : minor[r])
                if (e.c0 + e.c1 != 0) at_one[r].push_back({e.col, e.c0 + e.c1, 0});
        SparseDeterminant det(k, at_one);
        ASSERT_TRUE(det.find_pivot_order(Field{modular::drawn_prime(0)}, 5));
        const std::vector<SparseLU::Pivot> found = det.pivot_order();
        for (const bool reverse : {false, true}) {
            SCOPED_TRACE(std::to_string(k) + " crossings, order " + (reverse ? "reversed" : "found"));
            std::vector<SparseLU::Pivot> order = found;
            if (reverse) std::reverse(order.begin(), order.end());
            const SparseLU lu(k, minor, order, 1);
            EXPECT_LT(lu.entries(), k);
            ASSERT_NE(lu.forest(), nullptr);
            std::vector<SparseLU::Factors> factors(4);
            std::vector<modular::Montgomery> ms;
            for (std::size_t i = 0; i < 4; ++i) {
                ms.emplace_back(modular::drawn_prime(30 + i));
                EXPECT_FALSE(lu.factor(ms[i], 2, factors[i]));
                ASSERT_TRUE(lu.factor(ms[i], 1, factors[i]));
                EXPECT_EQ(determinant_squared(ms[i], factors[i]), 1u) << "the determinant at 1 is +-1";
            }
            expect_lanes_as_words(lu, factors, ms);
        }
    }
}

}  // namespace
}  // namespace skeinlab::unit_forest_test
