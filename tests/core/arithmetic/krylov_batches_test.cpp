// Krylov images computed ahead over the workers: the same polynomials as evaluations, for every
// number of workers, modules that are not cyclic completed, images ahead adopted or refused, dropped or
// stopped.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "arithmetic/krylov_batches.hpp"
#include "curves.hpp"
#include "diagrams.hpp"
#include "runtime/pool.hpp"
#include "matrices.hpp"

namespace skeinlab::krylov_batches_test {
namespace {

using testing::figure_eight;
using testing::joined;
using testing::kTrefoil;
using testing::seeded_walk;
using testing::minor_of;
using testing::diagram_of_ring;
using testing::Rows;

// The polynomial by evaluations only and by Krylov images wherever the matrix
// allows, with the latter's statistics.
std::pair<std::string, std::string> both_ways(const KnotDiagram& d, AlexanderStats& krylov_stats) {
    const AlexanderMatrix m = alexander_matrix(d);
    return {alexander_polynomial(m, nullptr, 0, KrylovImages::never).text(),
            alexander_polynomial(m, &krylov_stats, 0, KrylovImages::always).text()};
}

TEST(KrylovImages, GiveTheSamePolynomialsAsEvaluationsOnLongAndCompactChains) {
    struct Case {
        std::size_t n;
        std::uint64_t seed;
        double pull;
    };
    for (const Case c : {Case{2000, 1, 0.0}, Case{600, 2, 0.15}, Case{400, 8, 0.3}}) {
        SCOPED_TRACE(c.seed);
        const KnotDiagram d = diagram_of_ring(seeded_walk(c.n, c.seed, c.pull));
        AlexanderStats stats;
        const auto [evaluated, krylov] = both_ways(d, stats);
        EXPECT_EQ(krylov, evaluated);
        EXPECT_GT(stats.krylov_images, 0u);
        EXPECT_EQ(stats.krylov_images, stats.primes) << "every prime's image from a Krylov sequence";
    }
}

TEST(KrylovImages, SumsOfAKnotWithItselfAreCompletedByTheirCofactors) {
    // K # K presents a module that is not cyclic: a Krylov sequence sees each
    // repeated factor once, and its images must be completed by the
    // cofactor (a few evaluations a prime), never taken as they are.
    const KnotDiagram walk = diagram_of_ring(seeded_walk(300, 3, 0.2));
    struct Case {
        const char* name;
        KnotDiagram sum;
    };
    const KnotDiagram three = joined(joined(joined(kTrefoil, figure_eight(), 3), kTrefoil, 1), kTrefoil, 4);
    for (const Case& c : {Case{"granny", joined(kTrefoil, kTrefoil, 2)},
                          Case{"three trefoils and a figure-eight", three},
                          Case{"a walk's knot twice", joined(walk, walk, 5)}}) {
        SCOPED_TRACE(c.name);
        AlexanderStats stats;
        const auto [evaluated, krylov] = both_ways(c.sum, stats);
        EXPECT_EQ(krylov, evaluated);
        EXPECT_EQ(stats.krylov_images, stats.primes) << "every prime's image from a Krylov sequence";
    }
    // The granny knot's polynomial is the trefoil's squared.
    AlexanderStats stats;
    EXPECT_EQ(both_ways(joined(kTrefoil, kTrefoil, 2), stats).second, "1-2*t+3*t^2-2*t^3+t^4");
}

TEST(KrylovImages, AreTheSameForEveryNumberOfWorkers) {
    const AlexanderMatrix m = alexander_matrix(diagram_of_ring(seeded_walk(600, 2, 0.15)));
    AlexanderStats alone, pooled;
    const std::string text = alexander_polynomial(m, &alone, 0, KrylovImages::always).text();
    WorkerPool pool(3);
    std::string pooled_text;
    pool.parallel_for(1, [&](std::size_t) {
        pooled_text = alexander_polynomial(m, &pooled, 0, KrylovImages::always).text();
    });
    EXPECT_EQ(pooled_text, text);
    EXPECT_EQ(pooled.primes, alone.primes);
    EXPECT_EQ(pooled.evaluations, alone.evaluations);
    EXPECT_EQ(pooled.krylov_images, alone.krylov_images);
    EXPECT_EQ(pooled.solves, alone.solves);
}

// With several workers the groups of images go on while the recovery takes
// them, and whichever worker computes a draw gives the same image: the same
// polynomial and the same primes, evaluations and images as alone, also
// where the module is not cyclic (a knot summed with itself, its images
// completed by their cofactors) and where every worker is busy with a
// recovery of its own (the groups posted for idle workers start late or
// never).
TEST(KrylovImages, GroupsComputedWhileTheRecoveryRunsChangeNothing) {
    const KnotDiagram walk = diagram_of_ring(seeded_walk(300, 3, 0.2));
    struct Case {
        const char* name;
        KnotDiagram d;
    };
    for (const Case& c : {Case{"a compact walk", diagram_of_ring(seeded_walk(600, 2, 0.15))},
                          Case{"a walk's knot twice", joined(walk, walk, 5)}}) {
        SCOPED_TRACE(c.name);
        const AlexanderMatrix m = alexander_matrix(c.d);
        AlexanderStats alone;
        const std::string text = alexander_polynomial(m, &alone, 0, KrylovImages::always).text();
        for (const std::size_t workers : {2, 4}) {
            for (const std::size_t recoveries : {std::size_t{1}, workers}) {
                SCOPED_TRACE(std::to_string(workers) + " workers, " + std::to_string(recoveries) + " recoveries");
                WorkerPool pool(workers);
                std::vector<std::string> texts(recoveries);
                std::vector<AlexanderStats> stats(recoveries);
                pool.parallel_for(recoveries, [&](std::size_t i) {
                    texts[i] = alexander_polynomial(m, &stats[i], 0, KrylovImages::always).text();
                });
                for (std::size_t i = 0; i < recoveries; ++i) {
                    EXPECT_EQ(texts[i], text);
                    EXPECT_EQ(stats[i].primes, alone.primes);
                    EXPECT_EQ(stats[i].evaluations, alone.evaluations);
                    EXPECT_EQ(stats[i].krylov_images, alone.krylov_images);
                    EXPECT_EQ(stats[i].solves, alone.solves);
                }
            }
        }
    }
}

// Images computed ahead (ImagesAhead) on another matrix: on another
// diagram of the knot, or of its mirror image, they are this matrix's but for
// the value at 1 and the power of t, and the recovery goes exactly as with
// its own; another knot's fail the first prime's check, and the
// evaluations still give this matrix's determinant. Images the other matrix
// cannot give (no factors at 1) are computed by the recovery itself.
TEST(KrylovImages, ImagesAheadFromAnotherDiagramOfTheKnotAreAdoptedAnotherKnotsRefused) {
    const KnotDiagram raw = diagram_of_ring(seeded_walk(600, 2, 0.15));
    KnotDiagram simplified = raw;
    simplify_for_determinant(simplified);
    ASSERT_LT(simplified.crossings(), raw.crossings());
    const Rows rows = minor_of(alexander_matrix(simplified));
    AlexanderStats alone;
    const std::vector<BigInteger> expected = recover_determinant(rows.size(), rows, &alone, KrylovImages::always);
    struct Case {
        const char* name;
        std::optional<KnotDiagram> other;  // none: a matrix without factors at 1
        bool adopted;
    };
    WorkerPool pool(3);
    for (const Case& c : {Case{"another diagram of the knot", raw, true},
                          Case{"its mirror image", mirror_image(raw), true},
                          Case{"another knot", diagram_of_ring(seeded_walk(600, 3, 0.15)), false},
                          Case{"no factors at 1", std::nullopt, true}}) {
        SCOPED_TRACE(c.name);
        const Rows other = c.other ? minor_of(alexander_matrix(*c.other)) : Rows{};
        std::size_t promised = 0;
        AlexanderStats stats;
        std::vector<BigInteger> got;
        pool.parallel_for(1, [&](std::size_t) {
            std::shared_ptr<ImagesAhead> ahead = ImagesAhead::start([&]() -> std::optional<SparseLU> {
                if (other.empty()) return std::nullopt;
                return factors_at_one(other.size(), other);
            });
            ASSERT_TRUE(ahead);
            // The other workers are idle: the computation begins at once.
            while (!ahead->begun()) std::this_thread::yield();
            promised = ahead->promised();
            got = recover_determinant(rows.size(), rows, &stats, KrylovImages::always, std::move(ahead));
        });
        EXPECT_EQ(promised, 2 * (SparseLU::prime_lanes_available() ? 4 : 1)) << "a group on each other worker";
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].decimal(), expected[i].decimal()) << i;
        if (c.adopted) {
            EXPECT_EQ(stats.primes, alone.primes);
            EXPECT_EQ(stats.evaluations, alone.evaluations);
            EXPECT_EQ(stats.krylov_images, alone.krylov_images);
        } else {
            EXPECT_GT(stats.evaluations, alone.evaluations) << "the evaluations took over";
        }
    }
    // One worker computes nothing ahead.
    EXPECT_FALSE(ImagesAhead::start([&] { return factors_at_one(rows.size(), rows); }));
}

// A computation ahead that no worker has begun when the recovery needs to
// know is dropped (the workers may all be waiting on such computations), and
// one the caller gives up stops at once: on two workers each typing a
// diagram, neither waits on the other's, and the determinants come out the
// same.
TEST(KrylovImages, ImagesAheadNotBegunAreDroppedAndThoseGivenUpStop) {
    const KnotDiagram d = diagram_of_ring(seeded_walk(600, 2, 0.15));
    KnotDiagram simplified = d;
    simplify_for_determinant(simplified);
    const Rows rows = minor_of(alexander_matrix(simplified));
    const std::vector<BigInteger> expected = recover_determinant(rows.size(), rows, nullptr, KrylovImages::always);
    WorkerPool pool(2);
    std::vector<std::vector<BigInteger>> got(2);
    std::atomic<int> posted{0};
    pool.parallel_for(2, [&](std::size_t i) {
        std::shared_ptr<ImagesAhead> ahead = ImagesAhead::start([&] { return factors_at_one(rows.size(), rows); });
        // Both tasks posted before either worker looks: neither can begin.
        ++posted;
        while (posted.load() < 2) std::this_thread::yield();
        EXPECT_EQ(ahead->promised(), 0u);
        EXPECT_TRUE(ahead->take().empty());
        got[i] = recover_determinant(rows.size(), rows, nullptr, KrylovImages::always, std::move(ahead));
    });
    for (const std::vector<BigInteger>& g : got) {
        ASSERT_EQ(g.size(), expected.size());
        for (std::size_t k = 0; k < g.size(); ++k) EXPECT_EQ(g[k].decimal(), expected[k].decimal());
    }
    // Given up while a worker computes: the handle's end stops it (and
    // returns once it has stopped).
    pool.parallel_for(1, [&](std::size_t) {
        std::shared_ptr<ImagesAhead> ahead = ImagesAhead::start([&] { return factors_at_one(rows.size(), rows); });
        while (!ahead->begun()) std::this_thread::yield();
        ahead.reset();
    });
}

// A large diagram's polynomial with its first images computed beside the R3
// rounds (from 500 crossings here, where Krylov images already pay) is the
// polynomial one worker finds, and the diagram is simplified as by
// simplify_for_determinant.
TEST(KrylovImages, SimplifiedPolynomialIsTheSameWithImagesComputedBesideTheR3Rounds) {
    const KnotDiagram d = diagram_of_ring(seeded_walk(600, 2, 0.15));
    KnotDiagram simplified = d;
    simplify_for_determinant(simplified);
    ASSERT_GT(simplified.crossings(), 600u);
    AlexanderStats stats;
    const std::string expected = alexander_polynomial(alexander_matrix(simplified), &stats).text();
    ASSERT_GT(stats.krylov_images, 0u);
    KnotDiagram alone = d;
    EXPECT_EQ(simplified_polynomial(alone, 500).text(), expected);
    EXPECT_EQ(alone, simplified);
    WorkerPool pool(2);
    KnotDiagram pooled = d;
    std::string pooled_text;
    pool.parallel_for(1, [&](std::size_t) { pooled_text = simplified_polynomial(pooled, 500).text(); });
    EXPECT_EQ(pooled_text, expected);
    EXPECT_EQ(pooled, simplified);
}

}  // namespace
}  // namespace skeinlab::krylov_batches_test
