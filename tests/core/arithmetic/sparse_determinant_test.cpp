// The sparse modular determinant: against a dense elimination at every point (zero pivots included),
// compact programs against plain ones, the pivot order without a program, the memory bound.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "arithmetic/sparse_determinant.hpp"
#include "curves.hpp"
#include "matrices.hpp"

namespace skeinlab::sparse_determinant_test {
namespace {

using modular::Field;
using testing::seeded_walk;
using testing::minor_of;
using testing::diagram_of_ring;
using testing::matrix_of_ring;
using testing::Rows;

// Dense Gaussian elimination modulo p, the reference for the sparse one.
std::uint64_t dense_det(const Field& f, std::vector<std::vector<std::uint64_t>> a) {
    const std::size_t n = a.size();
    std::uint64_t det = 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t r = k;
        while (r < n && a[r][k] == 0) ++r;
        if (r == n) return 0;
        if (r != k) {
            std::swap(a[r], a[k]);
            det = f.neg(det);
        }
        det = f.mul(det, a[k][k]);
        const std::uint64_t inv = f.inv(a[k][k]);
        for (std::size_t i = k + 1; i < n; ++i) {
            const std::uint64_t factor = f.mul(a[i][k], inv);
            for (std::size_t j = k; j < n; ++j) a[i][j] = f.sub(a[i][j], f.mul(factor, a[k][j]));
        }
    }
    return det;
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

TEST(SparseDeterminant, AgreesWithDenseEliminationAtEveryPointIncludingZeroPivots) {
    const Field f{modular::drawn_prime(0)};
    std::mt19937_64 rng(5);
    for (int trial = 0; trial < 60; ++trial) {
        const std::size_t n = 1 + trial % 25;
        // Sparse rows of c0 + c1 t with small coefficients; every tenth matrix
        // has a repeated row and so is singular at every point.
        std::vector<std::vector<LinearEntry>> rows(n);
        for (std::size_t r = 0; r < n; ++r) {
            for (std::uint32_t c = 0; c < n; ++c)
                if (rng() % 4 == 0 || c == r) rows[r].push_back({c, std::int64_t(rng() % 5) - 2, std::int64_t(rng() % 3) - 1});
        }
        if (trial % 10 == 9 && n > 1) rows[n - 1] = rows[0];
        SparseDeterminant sparse(n, rows);
        sparse.set_plain_program_bytes(std::size_t{1} << 30);
        // The same matrix recorded in compact form (slots reused; replays of
        // four points where plain ones take eight).
        SparseDeterminant compact(n, rows);
        compact.set_plain_program_bytes(0);
        // And replayed without vector arithmetic (as on processors without it).
        SparseDeterminant scalar(n, rows);
        scalar.set_vector_replays(false);
        scalar.set_plain_program_bytes(std::size_t{1} << 30);
        // Points 0, 1, 2 make many entries vanish, so that recorded pivots
        // turn zero and the elimination must start afresh. After the
        // recording's point: a full batch and a last one of three points.
        std::vector<std::uint64_t> xs = {5, 0, 1, 2, f.p - 1, 7, 123456789, f.p - 2, 3, 4, 1000, 99};
        std::vector<std::uint64_t> batch(xs.size()), scalar_batch(xs.size());
        sparse.evaluate(f, xs.data(), batch.data(), xs.size());
        scalar.evaluate(f, xs.data(), scalar_batch.data(), xs.size());
        for (std::size_t i = 0; i < xs.size(); ++i) {
            std::vector<std::vector<std::uint64_t>> dense(n, std::vector<std::uint64_t>(n, 0));
            for (std::size_t r = 0; r < n; ++r)
                for (const LinearEntry& e : rows[r])
                    dense[r][e.col] = f.add(f.from_signed(e.c0), f.mul(f.from_signed(e.c1), xs[i]));
            const std::uint64_t expected = dense_det(f, dense);
            EXPECT_EQ(batch[i], expected) << "trial " << trial << " x " << xs[i];
            EXPECT_EQ(scalar_batch[i], expected) << "scalar, trial " << trial << " x " << xs[i];
            EXPECT_EQ(sparse.evaluate(f, xs[i]), expected) << "trial " << trial << " x " << xs[i];
            EXPECT_EQ(compact.evaluate(f, xs[i]), expected) << "compact, trial " << trial << " x " << xs[i];
        }
    }
}

TEST(SparseDeterminant, CompactProgramsOfKnotDiagramsAgreeWithPlainOnes) {
    // Alexander minors of walks and globules (hundreds to thousands of
    // crossings), evaluated in batches (the replays) and alone, plain and
    // compact, with vector arithmetic and without (compact), and compact
    // replayed four points at a time (as large programs are).
    for (const auto& [n, pull] : {std::pair{3000u, 0.0}, std::pair{400u, 0.2}}) {
        const AlexanderMatrix matrix = matrix_of_ring(seeded_walk(n, 3, pull));
        const std::size_t k = matrix.crossings - 1;
        std::vector<std::vector<LinearEntry>> minor(k);
        for (std::size_t r = 0; r < k; ++r)
            for (const LinearEntry& e : matrix.rows[r])
                if (e.col < k) minor[r].push_back(e);
        SparseDeterminant plain(k, minor), compact(k, minor), scalar(k, minor), fours(k, minor);
        plain.set_plain_program_bytes(std::size_t{1} << 30);
        compact.set_plain_program_bytes(0);
        scalar.set_vector_replays(false);
        fours.set_plain_program_bytes(0);
        fours.set_eight_lane_bytes(0);
        for (const std::size_t prime_index : {0u, 7u}) {
            const Field f{modular::drawn_prime(prime_index)};
            std::vector<std::uint64_t> xs = {3, 17, 1000003, f.p - 5, 2, 99991, 123456789, 7, 11};
            std::vector<std::uint64_t> a(xs.size()), b(xs.size()), c(xs.size()), d(xs.size());
            plain.evaluate(f, xs.data(), a.data(), xs.size());
            compact.evaluate(f, xs.data(), b.data(), xs.size());
            scalar.evaluate(f, xs.data(), c.data(), xs.size());
            fours.evaluate(f, xs.data(), d.data(), xs.size());
            EXPECT_EQ(a, b) << n << " prime " << prime_index;
            EXPECT_EQ(a, c) << n << " prime " << prime_index;
            EXPECT_EQ(a, d) << n << " prime " << prime_index;
            EXPECT_EQ(compact.evaluate(f, 5), plain.evaluate(f, 5));
        }
    }
}

TEST(SparseDeterminant, ARecordingBeyondTheMemoryAvailableStopsSayingWhatItNeeds) {
    const AlexanderMatrix matrix = matrix_of_ring(seeded_walk(600, 2, 0.1));
    const std::size_t k = matrix.crossings - 1;
    std::vector<std::vector<LinearEntry>> minor(k);
    for (std::size_t r = 0; r < k; ++r)
        for (const LinearEntry& e : matrix.rows[r])
            if (e.col < k) minor[r].push_back(e);
    const Field f{modular::drawn_prime(0)};
    ASSERT_EQ(setenv("SKEINLAB_MAX_MEMORY", "64K", 1), 0);
    SparseDeterminant limited(k, minor), ordered(k, minor);
    std::string message, order_message;
    try {
        limited.evaluate(f, 5);
    } catch (const MemoryNeeded& e) {
        message = e.what();
    }
    // The search for the pivot order alone too (its rows).
    try {
        ordered.find_pivot_order(f, 5);
    } catch (const MemoryNeeded& e) {
        order_message = e.what();
    }
    unsetenv("SKEINLAB_MAX_MEMORY");
    EXPECT_NE(order_message.find("needs more memory than the 0.1 MB available: its rows had grown to "),
              std::string::npos)
        << order_message;
    const std::string rows = std::to_string(k);
    EXPECT_EQ(message.find("the exact determinant of this diagram's matrix (" + rows +
                           " rows) needs more memory than the 0.1 MB available: its program and values had grown to "),
              0u)
        << message;
    EXPECT_NE(message.find(" of " + rows), std::string::npos) << message;
    // Without the limit the same matrix is evaluated.
    SparseDeterminant unlimited(k, minor);
    EXPECT_NE(unlimited.evaluate(f, 5), 0u);
}

}  // namespace
}  // namespace skeinlab::sparse_determinant_test
