// Berlekamp-Massey side by side: primes whose discrepancies vanish at different steps part ways and
// still give what each gives alone.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "arithmetic/berlekamp_massey.hpp"
#include "curves.hpp"
#include "matrices.hpp"

namespace skeinlab::berlekamp_massey_test {
namespace {

using modular::Field;
using testing::seeded_walk;
using testing::minor_of;
using testing::diagram_of_ring;
using testing::Rows;

// At small primes a sequence's Berlekamp-Massey discrepancy is zero now and
// then, at steps where the other primes' are not: the primes side by side
// then part ways, each on its own recurrence, and must still give what each
// gives alone (forty groups of four primes between 1,000 and 3,000).
TEST(KrylovImages, SideBySideAtSmallPrimesWhereTheLanesPartWays) {
    if (!SparseLU::prime_lanes_available()) GTEST_SKIP() << "no AVX2 and FMA here";
    const Rows minor = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(240, 6, 0.1))));
    const std::size_t k = minor.size();
    SparseDeterminant det(k, minor);
    det.evaluate(Field{modular::drawn_prime(0)}, 4321);
    const SparseLU lu(k, det.rows(), det.pivot_order());
    std::size_t groups = 0;
    for (std::uint64_t p = 1001; groups < 40 && p < 3000;) {
        std::vector<std::uint64_t> primes;
        for (; primes.size() < 4; p += 2)
            if (modular::is_prime(p)) primes.push_back(p);
        std::vector<SparseLU::Factors> factors(4);
        bool factored = true;
        for (std::size_t i = 0; i < 4; ++i)
            factored = factored && lu.factor(modular::Montgomery(primes[i]), 7 + i, factors[i]);
        if (!factored) continue;
        ++groups;
        std::vector<Stream> streams;
        std::vector<PencilTask> tasks;
        for (std::size_t i = 0; i < 4; ++i) streams.emplace_back(900 + primes[i]);
        for (std::size_t i = 0; i < 4; ++i) tasks.push_back({&factors[i], Field{primes[i]}, 7 + i, &streams[i]});
        const std::vector<std::optional<PencilImage>> images = pencil_images(lu, tasks, k);
        for (std::size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE("prime " + std::to_string(primes[i]));
            Stream stream(900 + primes[i]);
            const std::optional<PencilImage> alone = pencil_image(lu, factors[i], Field{primes[i]}, 7 + i, stream, k);
            ASSERT_EQ(images[i].has_value(), alone.has_value());
            if (!alone) continue;
            EXPECT_EQ(images[i]->factor, alone->factor);
            EXPECT_EQ(images[i]->value, alone->value);
            EXPECT_EQ(images[i]->iterations, alone->iterations);
        }
    }
    EXPECT_EQ(groups, 40u);
}

}  // namespace
}  // namespace skeinlab::berlekamp_massey_test
