// The recovery of a determinant from its images: factors at t = 1 (a forest, or none for a matrix
// singular there), images at random points, and the guess of the primes still needed.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "arithmetic/determinant_recovery.hpp"
#include "curves.hpp"
#include "matrices.hpp"

namespace skeinlab::determinant_recovery_test {
namespace {

using testing::seeded_walk;
using testing::minor_of;
using testing::diagram_of_ring;
using testing::Rows;

TEST(FactorsAtOne, AKnotsAreAForestAndAMatrixSingularAtOneHasNone) {
    const Rows knot = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(600, 3, 0.15))));
    const std::optional<SparseLU> lu = factors_at_one(knot.size(), knot);
    ASSERT_TRUE(lu);
    EXPECT_EQ(lu->point(), std::optional<std::int64_t>{1});
    EXPECT_LT(lu->entries(), knot.size());
    EXPECT_NE(lu->forest(), nullptr);

    // One row's entries all vanish at t = 1 (c0 = -c1): no factors there.
    Rows singular = knot;
    for (LinearEntry& e : singular[singular.size() / 2]) e.c0 = -e.c1;
    bool any = false;
    for (const LinearEntry& e : singular[singular.size() / 2]) any = any || e.c1 != 0;
    ASSERT_TRUE(any);
    EXPECT_FALSE(factors_at_one(singular.size(), singular));
}

// A matrix singular at t = 1 whose determinant is still symmetric: a knot's
// beside the block [[1 - t, 1], [0, 1 - t]] (determinant (1 - t)^2, its root
// 1 in one Jordan block, so that the module stays cyclic). Its Krylov images
// come from factors at random points, and agree with the evaluations.
TEST(FactorsAtOne, MatricesSingularAtOneTakeKrylovImagesAtRandomPoints) {
    Rows rows = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(300, 3, 0.2))));
    const auto k = static_cast<std::uint32_t>(rows.size());
    rows.push_back({{k, 1, -1}, {k + 1, 1, 0}});
    rows.push_back({{k + 1, 1, -1}});
    ASSERT_FALSE(factors_at_one(rows.size(), rows));
    AlexanderStats krylov_stats;
    const std::vector<BigInteger> evaluated = recover_determinant(rows.size(), rows, nullptr, KrylovImages::never);
    const std::vector<BigInteger> krylov = recover_determinant(rows.size(), rows, &krylov_stats, KrylovImages::always);
    ASSERT_EQ(krylov.size(), evaluated.size());
    for (std::size_t i = 0; i < krylov.size(); ++i) EXPECT_EQ(krylov[i].decimal(), evaluated[i].decimal()) << i;
    EXPECT_GT(krylov_stats.krylov_images, 0u);
}

// Coefficients whose bit lengths lie on a parabola about the middle, the
// middle's `top` bits: the guess, from the coefficients well below the
// modulus, is within a prime of the primes the stopping rule wants (8 bits
// of room above the largest).
TEST(PrimesStillNeeded, ReadsTheLargestCoefficientOffTheParabolaOfTheKnownOnes) {
    constexpr std::size_t kBits = 49;
    for (const std::size_t top : {400u, 1000u, 2500u}) {
        const std::size_t n = 1201;
        const double middle = (n - 1) / 2.0;
        const double k = static_cast<double>(top) / (middle * middle) * 0.9;
        std::vector<BigInteger> values(n);
        std::vector<BigUnsigned> power(top + 1, BigUnsigned(1));  // power[b] = 2^(b - 1), b bits
        for (std::size_t b = 2; b <= top; ++b) power[b] = power[b - 1] * BigUnsigned(2);
        for (std::size_t i = 0; i < n; ++i) {
            const double bits = static_cast<double>(top) - k * (middle - static_cast<double>(i)) * (middle - static_cast<double>(i));
            values[i].magnitude = power[static_cast<std::size_t>(std::max(1.0, bits))];
        }
        const std::size_t wanted = (top + 8 + kBits - 1) / kBits;
        for (const std::size_t used : {wanted / 4, wanted / 2}) {
            SCOPED_TRACE(std::to_string(top) + " bits, " + std::to_string(used) + " primes used");
            const std::optional<std::size_t> guess = primes_still_needed(values, used * kBits, kBits);
            ASSERT_TRUE(guess);
            EXPECT_GE(used + *guess, wanted);
            EXPECT_LE(used + *guess, wanted + 1);
        }
    }
    // Too few coefficients known yet: no guess.
    EXPECT_FALSE(primes_still_needed(std::vector<BigInteger>(41), 49, kBits));
}

}  // namespace
}  // namespace skeinlab::determinant_recovery_test
