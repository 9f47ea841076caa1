// Determinants from one factorisation and a Krylov sequence: the pivot order
// of an elimination found without recording it, sparse LU factors in a
// recorded elimination's order against the elimination and the matrix
// itself, and the polynomials that Krylov images give against evaluations',
// including modules that are not cyclic (where the images must not be used);
// factors at t = 1 and the guess of the primes still needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <thread>

#include "analysis/knottype.hpp"
#include "arithmetic/determinant_recovery.hpp"
#include "arithmetic/krylov_batches.hpp"
#include "arithmetic/modular.hpp"
#include "arithmetic/sparse_lu.hpp"
#include "arithmetic/wiedemann.hpp"
#include "curves.hpp"
#include "diagram/knot_diagram.hpp"
#include "diagrams.hpp"
#include "invariants/alexander.hpp"
#include "reduction/kmt.hpp"
#include "runtime/pool.hpp"

namespace skeinlab::krylov_test {
namespace {

using modular::Field;
using testing::figure_eight;
using testing::joined;
using testing::kTrefoil;
using testing::seeded_walk;

using Rows = std::vector<std::vector<LinearEntry>>;

// The minor without the last row and column, as the polynomial takes it.
Rows minor_of(const AlexanderMatrix& m) {
    const std::size_t k = m.crossings - 1;
    Rows minor(k);
    for (std::size_t r = 0; r < k; ++r)
        for (const LinearEntry& e : m.rows[r])
            if (e.col < k) minor[r].push_back(e);
    return minor;
}

KnotDiagram diagram_of_ring(Chain c) {
    kmt_ring(c);
    c.push_back(c.front());
    choose_projection(c);
    return *diagram_of_projection(c);
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

// The solves A^-1 b and A^-1 A1 b of four primes side by side in vector
// arithmetic against each prime's in words.
void expect_lanes_as_words(const SparseLU& lu, const std::vector<SparseLU::Factors>& factors,
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

std::uint64_t determinant_squared(const modular::Montgomery& m, const SparseLU::Factors& factors) {
    const std::uint64_t d = m.from(factors.determinant);
    return modular::Field{m.p()}.mul(d, d);
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

TEST(SparseDeterminant, FindsARecordingsPivotOrderWithoutItsProgram) {
    for (const auto& [n, pull] : {std::pair{1200u, 0.0}, std::pair{500u, 0.15}}) {
        SCOPED_TRACE(n);
        const Rows minor = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(n, 8, pull))));
        const std::size_t k = minor.size();
        const Field f{modular::drawn_prime(3)};
        SparseDeterminant ordered(k, minor), recorded(k, minor);
        ASSERT_TRUE(ordered.find_pivot_order(f, 777));
        const std::uint64_t value = recorded.evaluate(f, 777);
        ASSERT_EQ(ordered.pivot_order().size(), k);
        EXPECT_EQ(ordered.program_operations(), recorded.program_operations());
        for (std::size_t s = 0; s < k; ++s) {
            ASSERT_EQ(ordered.pivot_order()[s].row, recorded.pivot_order()[s].row) << s;
            ASSERT_EQ(ordered.pivot_order()[s].col, recorded.pivot_order()[s].col) << s;
        }
        // Values by an elimination of its own, and a program recorded later.
        EXPECT_EQ(ordered.evaluate_once(f, 777), value);
        for (const std::uint64_t x : {std::uint64_t{5}, std::uint64_t{99991}})
            EXPECT_EQ(ordered.evaluate(f, x), recorded.evaluate(f, x));
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

TEST(Wiedemann, ThePencilImageIsTheDeterminantUpToAPowerOfTheRatioOfPoints) {
    const Rows minor = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(300, 3, 0.2))));
    const std::size_t k = minor.size();
    SparseDeterminant det(k, minor);
    const Field f{modular::drawn_prime(4)};
    det.evaluate(f, 777);
    const SparseLU lu(k, det.rows(), det.pivot_order());
    const modular::Montgomery m(f.p);
    SparseLU::Factors factors;
    const std::uint64_t t0 = 123456789;
    ASSERT_TRUE(lu.factor(m, t0, factors));
    Stream stream(7);
    const std::optional<PencilImage> pencil = pencil_image(lu, factors, f, t0, stream, k);
    ASSERT_TRUE(pencil);
    EXPECT_GT(pencil->factor.size(), 10u);
    // det(x) = value * P(x) * (x / t0)^j for one j, the same at every x.
    std::optional<std::size_t> power;
    for (const std::uint64_t x : {std::uint64_t{2}, std::uint64_t{99991}, f.p - 3}) {
        std::uint64_t p = 0;
        for (std::size_t i = pencil->factor.size(); i-- > 0;) p = f.add(f.mul(p, x), pencil->factor[i]);
        const std::uint64_t ratio = f.mul(x, f.inv(t0));
        std::uint64_t value = f.mul(pencil->value, p);
        const std::uint64_t expected = det.evaluate(f, x);
        std::optional<std::size_t> found;
        for (std::size_t j = 0; j <= k && !found; ++j, value = f.mul(value, ratio))
            if (value == expected) found = j;
        ASSERT_TRUE(found) << "x " << x;
        if (!power) power = found;
        EXPECT_EQ(*found, *power) << "x " << x;
    }
    // A bound below the minimal polynomial's degree gives nothing.
    EXPECT_FALSE(pencil_image(lu, factors, f, t0, stream, pencil->factor.size() / 2));
}

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
}  // namespace skeinlab::krylov_test
