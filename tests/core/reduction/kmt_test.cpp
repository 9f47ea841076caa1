#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "curves.hpp"
#include "geometry/linking.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab::kmt_test {
namespace {

using testing::circle;
using testing::torus_knot;

TEST(Kmt, ShortChainsUnchanged) {
    for (std::size_t n = 0; n < 3; ++n) {
        Chain ring(n, Point3{1, 2, 3}), open(n, Point3{1, 2, 3});
        kmt_ring(ring);
        kmt_open_chain(open);
        EXPECT_EQ(ring.size(), n);
        EXPECT_EQ(open.size(), n);
    }
}

TEST(Kmt, ThreePoints) {
    const Chain tri{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Chain ring = tri;
    kmt_ring(ring);
    EXPECT_EQ(ring.size(), 2u);
    Chain open = tri;
    kmt_open_chain(open);
    EXPECT_EQ(open, (Chain{{0, 0, 0}, {0, 1, 0}}));
}

TEST(Kmt, UnknotReducesAllTheWay) {
    // A saddle-shaped loop: no four points in one plane, so nothing blocks.
    Chain ring = circle(50);
    for (std::size_t i = 0; i < ring.size(); ++i) ring[i].z = 0.3 * std::sin(2.0 * testing::kTwoPi * static_cast<double>(i) / 50);
    kmt_ring(ring);
    EXPECT_EQ(ring.size(), 2u);
}

TEST(Kmt, PlanarChainKeepsNonCollinearVertices) {
    // Every segment lies in the triangle's plane, so every vertex is blocked.
    Chain square{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    kmt_ring(square);
    EXPECT_EQ(square.size(), 4u);
    Chain open{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    kmt_open_chain(open);
    EXPECT_EQ(open.size(), 4u);
}

TEST(Kmt, CollinearMiddlePointGoesWithoutTest) {
    Chain open{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {5, 5, 5}};
    kmt_open_chain(open);
    EXPECT_EQ(open.front(), (Point3{0, 0, 0}));
    EXPECT_EQ(open.back(), (Point3{5, 5, 5}));
    for (const Point3& p : open) EXPECT_FALSE(p == (Point3{1, 0, 0}));
}

TEST(Kmt, KnotSurvives) {
    Chain trefoil = torus_knot(2, 3, 120);
    kmt_ring(trefoil);
    EXPECT_GE(trefoil.size(), 6u);  // a trefoil needs at least six sticks
    EXPECT_LT(trefoil.size(), 30u);
}

TEST(Kmt, OpenChainKeepsEnds) {
    Chain open = testing::with_tails(torus_knot(2, 3, 90), 10, 8.0);
    const Point3 first = open.front(), last = open.back();
    kmt_open_chain(open);
    EXPECT_EQ(open.front(), first);
    EXPECT_EQ(open.back(), last);
    EXPECT_LT(open.size(), 40u);
}

TEST(Kmt, NaNNeverCrashesAndBlocks) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Chain ring = circle(20);
    ring[5] = {nan, nan, nan};
    kmt_ring(ring);
    EXPECT_GE(ring.size(), 2u);
    Chain open = circle(20);
    open[7].y = nan;
    kmt_open_chain(open);
    EXPECT_GE(open.size(), 3u);  // the NaN segments block their neighbours
}

// The block skipping must never change the answer: compare against a plain
// implementation of the reduction over many random chains.
Chain reference_open(Chain c) {
    for (;;) {
        const std::size_t before = c.size();
        std::size_t j = 1;
        while (j + 1 < c.size()) {
            const Point3 n = cross(sub(c[j], c[j - 1]), sub(c[j + 1], c[j - 1]));
            const double len = length(n);
            bool blocked = false;
            if (!(len < kKmtEpsilon)) {
                const Plane pl = triangle_plane(c[j - 1], n, len);
                for (std::size_t s = 0; s + 1 < c.size() && !blocked; ++s)
                    if (s + 1 != j && s != j) blocked = judge_triangle(c[j - 1], c[j], c[j + 1], pl, c[s], c[s + 1]);
            }
            if (blocked) ++j; else c.erase(c.begin() + static_cast<std::ptrdiff_t>(j));
        }
        if (c.size() == before || c.size() < 3) return c;
    }
}

// The ring reduction written literally with positions and shifting deletions.
Chain reference_ring(Chain c) {
    while (c.size() >= 3) {
        const std::size_t start = c.size();
        std::size_t b = 0, kept = 0;
        while (c.size() >= 3) {
            const std::size_t n = c.size();
            const Point3 prev = c[(b + n - 1) % n], cur = c[b], next = c[(b + 1) % n];
            const Point3 normal = cross(sub(cur, prev), sub(next, prev));
            const double len = length(normal);
            bool blocked = false;
            if (!(len < kKmtEpsilon)) {
                const Plane pl = triangle_plane(prev, normal, len);
                for (std::size_t k = 2; k <= n - 2 && !blocked; ++k)
                    blocked = judge_triangle(prev, cur, next, pl, c[(b + k) % n], c[(b + k + 1) % n]);
            }
            if (blocked) {
                b = (b + 1) % n;
                if (++kept >= n) break;
            } else {
                c.erase(c.begin() + static_cast<std::ptrdiff_t>(b));
                kept = 0;
                if (b >= c.size()) b = 0;
            }
        }
        if (c.size() == start) break;
    }
    return c;
}

Chain random_walk(std::uint64_t seed, int steps, bool planar) {
    std::uint64_t state = seed;
    auto rnd = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    };
    Chain walk{{0, 0, 0}};
    for (int i = 0; i < steps; ++i) {
        const Point3& p = walk.back();
        // Planar walks put whole stretches in z = 0, where coplanar segments block.
        const double dz = planar && (i / 20) % 2 == 0 ? -p.z : rnd();
        walk.push_back({p.x + rnd(), p.y + rnd(), p.z + dz});
    }
    return walk;
}

TEST(Kmt, MatchesPlainReductionOnRandomWalks) {
    for (int trial = 0; trial < 24; ++trial) {
        const Chain walk = random_walk(1000 + trial, 150 + 20 * trial, trial % 3 == 0);
        Chain open = walk;
        kmt_open_chain(open);
        EXPECT_EQ(open, reference_open(walk)) << "open trial " << trial;
        Chain ring = walk;
        kmt_ring(ring);
        EXPECT_EQ(ring, reference_ring(walk)) << "ring trial " << trial;
    }
}

}  // namespace
}  // namespace skeinlab::kmt_test

namespace skeinlab::kmt_test {
namespace {

// Rings reduced together keep the link they form: the exact linking number of
// every pair, on random rings that wind through each other and on rings with
// long stretches in one plane (a closed braid's strands at height 0, where a
// vertex of one ring lies on the triangles of another).
TEST(KmtRings, KeepTheLinkingNumbersOfEveryPair) {
    std::mt19937_64 rng(17);
    std::normal_distribution<double> step(0.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<Chain> rings(3);
        for (std::size_t r = 0; r < rings.size(); ++r) {
            Point3 at{0.5 * static_cast<double>(r), 0.0, 0.0};
            for (int k = 0; k < 30; ++k) {
                rings[r].push_back(at);
                at = {at.x + step(rng), at.y + step(rng), trial % 2 ? at.z + step(rng) : std::round(step(rng))};
            }
        }
        std::vector<Chain> reduced = rings;
        kmt_rings(reduced);
        for (std::size_t a = 0; a < rings.size(); ++a) {
            EXPECT_GE(reduced[a].size(), 3u);
            for (std::size_t b = a + 1; b < rings.size(); ++b) {
                const std::optional<std::int64_t> before = linking_number(rings[a], rings[b]);
                if (!before) continue;
                EXPECT_EQ(linking_number(reduced[a], reduced[b]), before) << "trial " << trial;
            }
        }
    }
}

TEST(KmtRings, UnlinkedCirclesShrinkAndPointsStayAsGiven) {
    std::vector<Chain> rings(2);
    for (int k = 0; k < 40; ++k) {
        const double t = 2 * M_PI * k / 40;
        rings[0].push_back({std::cos(t), std::sin(t), 0.2 * std::sin(3 * t)});
        rings[1].push_back({5 + std::cos(t), std::sin(t), 0.25 + 0.2 * std::cos(2 * t)});
    }
    std::vector<Chain> reduced = rings;
    kmt_rings(reduced);
    for (std::size_t r = 0; r < 2; ++r) {
        EXPECT_LE(reduced[r].size(), 4u);
        for (const Point3& p : reduced[r])
            EXPECT_NE(std::find(rings[r].begin(), rings[r].end(), p), rings[r].end());
    }
}

}  // namespace
}  // namespace skeinlab::kmt_test
