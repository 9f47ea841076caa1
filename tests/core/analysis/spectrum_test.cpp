// Knot spectra: the random rotations and directions, keyed streams, the
// reuse of an open chain's KMT deletions under a closure, the reported order,
// fingerprint windows, and results that do not depend on the worker count.
#include <gtest/gtest.h>

#include <set>

#include "analysis/spectrum.hpp"
#include "curves.hpp"
#include "drivers/frames.hpp"
#include "fixtures.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab::spectrum_test {
namespace {

using testing::builtin_table;
using testing::options_for;
using testing::seeded_walk;

TEST(Spectrum, RotationsAreProperAndUniform) {
    Stream stream(5);
    double mean[3][3] = {};
    double mean_z = 0.0;
    const int draws = 20000;
    for (int n = 0; n < draws; ++n) {
        const Rotation r = random_rotation(stream);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(dot(r.rows[i], r.rows[j]), i == j ? 1.0 : 0.0, 1e-12);
                mean[i][j] += r.rows[i].x * (j == 0) + r.rows[i].y * (j == 1) + r.rows[i].z * (j == 2);
            }
        EXPECT_NEAR(dot(cross(r.rows[0], r.rows[1]), r.rows[2]), 1.0, 1e-12);  // no reflections
        const Point3 u = random_direction(stream);
        EXPECT_NEAR(length(u), 1.0, 1e-12);
        mean_z += u.z;
    }
    // Every entry of a uniform rotation, and every coordinate of a uniform
    // direction, has mean 0 and standard deviation below 0.6.
    for (auto& row : mean)
        for (double m : row) EXPECT_LT(std::fabs(m / draws), 0.02);
    EXPECT_LT(std::fabs(mean_z / draws), 0.02);
}

TEST(Spectrum, KeyedStreamsDependOnTheWholeKey) {
    std::set<std::uint64_t> first_draws;
    for (std::uint64_t a = 0; a < 20; ++a)
        for (std::uint64_t b = 0; b < 20; ++b) first_draws.insert(Stream::keyed({7, a, b}).next());
    first_draws.insert(Stream::keyed({7, 1}).next());
    first_draws.insert(Stream::keyed({7, 1, 0, 0}).next());
    EXPECT_EQ(first_draws.size(), 402u);
    EXPECT_EQ(Stream::keyed({7, 3, 4}).next(), Stream::keyed({7, 3, 4}).next());
}

TEST(Spectrum, RecordedDeletionsLeaveTheReductionUnchanged) {
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
        Chain plain = seeded_walk(120, seed, 0.1);
        Chain logged = plain;
        std::vector<KmtMove> moves;
        kmt_open_chain(plain);
        kmt_open_chain(logged, &moves);
        EXPECT_EQ(plain, logged);
        EXPECT_EQ(moves.size(), 120 - logged.size());  // no degenerate triangles in a random walk
        std::set<std::size_t> vertices;
        for (const KmtMove& m : moves) vertices.insert(m.vertex);
        EXPECT_EQ(vertices.size(), moves.size());
        EXPECT_FALSE(vertices.count(0) || vertices.count(119));
    }
}

// A sample built from the open chain's deletions types the same knot as the
// full chain closed through the same far point and rotated the same way.
TEST(Spectrum, ReusedDeletionsTypeLikeTheFullClosure) {
    const KnotTypeOptions ring = options_for(true);
    std::size_t partial = 0, knotted = 0, compared = 0;
    for (std::uint64_t seed = 0; seed < 40; ++seed) {
        const Chain chain = seeded_walk(60 + 3 * seed, seed, 0.15);
        const SampledChain sampled(chain, false, options_for(false));
        for (std::uint64_t k = 0; k < 15; ++k) {
            Stream stream = Stream::keyed({seed, k});
            std::size_t applied = 0;
            const Chain polygon = sampled.sample_polygon(stream, &applied);
            partial += applied < sampled.deletions();

            Stream again = Stream::keyed({seed, k});
            const Rotation rotation = random_rotation(again);
            Chain full;
            for (const Point3& p : chain) full.push_back(rotation.apply(p));
            full.push_back(rotation.apply(far_point(chain_extent(chain), random_direction(again), 100.0)));

            const Result<std::string> reused = get_knottype(polygon, builtin_table(), ring);
            const Result<std::string> direct = get_knottype(full, builtin_table(), ring);
            const auto text = [](const Result<std::string>& r) { return r ? r.value() : r.error().message(); };
            EXPECT_EQ(text(reused), text(direct)) << "seed " << seed << " sample " << k;
            EXPECT_EQ(text(sampled.sample(Stream::keyed({seed, k}), builtin_table())), text(direct));
            knotted += text(direct) != "1";
            ++compared;
        }
    }
    // The comparison covers knots and closures that cut the reuse short.
    EXPECT_GT(knotted, compared / 10);
    EXPECT_GT(partial, compared / 10);
}

TEST(Spectrum, EntriesSortByCountThenTableOrder) {
    Spectrum s;
    s.add("1-t+t^2", false, 2);  // a text that no table row names
    s.add("10_1", true, 2);
    s.add("3_1", true, 2);
    s.add("1", true, 2);
    s.add("4_1", true, 5);
    s.add("3_1", true, 1);
    Spectrum other;
    other.add("1-t+t^2", false, 1);
    s.merge(other);
    const std::vector<SpectrumEntry> sorted = s.sorted();
    std::vector<std::string> names;
    for (const SpectrumEntry& e : sorted) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"4_1", "3_1", "1-t+t^2", "1", "10_1"}));
    EXPECT_EQ(s.total(), 15u);
}

struct WindowCase {
    std::size_t n, step;
    std::vector<std::array<std::size_t, 2>> windows;
};

class FingerprintWindows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(FingerprintWindows, GridIncludesTheLastIndex) {
    EXPECT_EQ(fingerprint_windows(GetParam().n, GetParam().step), GetParam().windows);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, FingerprintWindows,
    ::testing::Values(WindowCase{0, 1, {}}, WindowCase{4, 1, {}}, WindowCase{5, 1, {{0, 4}}},
                      WindowCase{6, 1, {{0, 4}, {0, 5}, {1, 5}}},
                      WindowCase{10, 3, {{0, 6}, {0, 9}, {3, 9}}},
                      WindowCase{10, 4, {{0, 4}, {0, 8}, {0, 9}, {4, 8}, {4, 9}}},
                      WindowCase{10, 9, {{0, 9}}}, WindowCase{10, 100, {{0, 9}}},
                      WindowCase{7, std::size_t{1} << 63, {{0, 6}}}));

TEST(Spectrum, ResultsDoNotDependOnTheWorkers) {
    FrameSet frames;
    frames.push_back(testing::torus_knot(2, 3, 80));
    frames.push_back(seeded_walk(150, 3, 0.2));
    frames.push_back(testing::with_tails(testing::figure_eight(90), 10, 20.0));
    for (const bool ring : {true, false}) {
        const auto one = compute_spectra(frames, builtin_table(), options_for(ring), 40, 9, 1);
        ASSERT_TRUE(std::holds_alternative<std::vector<std::vector<SpectrumEntry>>>(one));
        using Threads = std::optional<std::uint64_t>;
        for (const Threads threads : {Threads{3}, Threads{16}, Threads{}}) {
            const auto many = compute_spectra(frames, builtin_table(), options_for(ring), 40, 9, threads);
            const auto& a = std::get<std::vector<std::vector<SpectrumEntry>>>(one);
            const auto& b = std::get<std::vector<std::vector<SpectrumEntry>>>(many);
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t f = 0; f < a.size(); ++f) {
                ASSERT_EQ(a[f].size(), b[f].size());
                for (std::size_t i = 0; i < a[f].size(); ++i) {
                    EXPECT_EQ(a[f][i].name, b[f][i].name);
                    EXPECT_EQ(a[f][i].count, b[f][i].count);
                }
            }
        }
    }
    const Chain chain = seeded_walk(40, 8, 0.3);
    const auto one = compute_fingerprint(chain, 3, builtin_table(), options_for(false), 10, 4, 1);
    const auto all = compute_fingerprint(chain, 3, builtin_table(), options_for(false), 10, 4, std::nullopt);
    const auto& a = std::get<std::vector<FingerprintRow>>(one);
    const auto& b = std::get<std::vector<FingerprintRow>>(all);
    ASSERT_EQ(a.size(), fingerprint_windows(40, 3).size());
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].start, b[i].start);
        EXPECT_EQ(a[i].dominant.name, b[i].dominant.name);
        EXPECT_EQ(a[i].dominant.count, b[i].dominant.count);
    }
}

TEST(Spectrum, ZeroThreadsFail) {
    const auto outcome = compute_spectra(FrameSet{testing::torus_knot(2, 3, 50)}, builtin_table(),
                                         options_for(true), 5, 0, 0);
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).message, "threads must be >= 1");
}

}  // namespace
}  // namespace skeinlab::spectrum_test
