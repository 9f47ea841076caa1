// The search structures of KMT reduction against plain loops: the tree of
// segment boxes must hand over exactly the segments that pass the side test,
// in order, whatever the chain's size, its missing points and the range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "curves.hpp"
#include "reduction/segment_tree.hpp"

namespace skeinlab::kmt_chain_test {
namespace {

using kmt_detail::PlaneTest;
using kmt_detail::SegmentTree;
using kmt_detail::triangle_of;

struct Crossing {
    std::size_t x;
    double ds, dt;
    bool operator==(const Crossing& o) const {
        // Bit for bit, so that NaN distances compare equal to themselves.
        return x == o.x && std::memcmp(&ds, &o.ds, sizeof ds) == 0 && std::memcmp(&dt, &o.dt, sizeof dt) == 0;
    }
};

// Every segment x in [lo, hi] that does not fail the side test, as judge_triangle writes it.
std::vector<Crossing> plain_crossings(const Chain& c, std::size_t lo, std::size_t hi, const Plane& plane) {
    std::vector<Crossing> out;
    for (std::size_t x = lo; x <= hi && x + 1 < c.size(); ++x) {
        const double ds = plane.signed_distance(c[x]), dt = plane.signed_distance(c[x + 1]);
        if (!(ds * dt > kKmtEpsilon)) out.push_back({x, ds, dt});
    }
    return out;
}

// Sizes on both sides of one box, one group of boxes and two levels of
// groups, with and without missing points.
class TreeCrossings : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(TreeCrossings, AreThePlainLoopsCrossingsInOrder) {
    const auto [n, missing] = GetParam();
    std::mt19937_64 rng(n * 2 + missing);
    Chain chain = testing::seeded_walk(n, n, 0.2);
    if (missing)
        for (std::size_t i = 0; i < n; i += 1 + rng() % 700) chain[i].z = std::numeric_limits<double>::quiet_NaN();
    const SegmentTree tree(chain);
    for (int k = 0; k < 200; ++k) {
        // Planes of the chain's own triangles (which pass near many of its
        // points) and of random ones.
        const std::size_t i = rng() % n, j = rng() % n, l = rng() % n;
        Plane plane;
        if (!triangle_of(chain[i], chain[k % 2 ? j : (i + 1) % n], chain[k % 2 ? l : (i + 2) % n], plane)) continue;
        std::size_t lo = rng() % (n + 2), hi = rng() % (n + 2);
        if (k % 3 == 0) std::swap(lo, hi);  // sometimes empty
        if (k % 5 == 0) lo = 0, hi = n;
        const std::vector<Crossing> expected = plain_crossings(chain, lo, hi, plane);
        // Stopping after the first, the middle or no crossing.
        for (const std::size_t stop : {std::size_t{1}, expected.size() / 2 + 1, expected.size() + 1}) {
            std::vector<Crossing> seen;
            const bool stopped = tree.any_crossing(lo, hi, PlaneTest(plane, tree.extent()),
                                                   [&](std::size_t x, double ds, double dt) {
                                                       seen.push_back({x, ds, dt});
                                                       return seen.size() == stop;
                                                   });
            const std::size_t count = std::min(stop, expected.size());
            ASSERT_EQ(stopped, stop <= expected.size()) << "n " << n << " [" << lo << ", " << hi << "]";
            ASSERT_EQ(seen.size(), count);
            EXPECT_TRUE(std::equal(seen.begin(), seen.end(), expected.begin()))
                << "n " << n << " [" << lo << ", " << hi << "]";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TreeCrossings,
                         ::testing::Combine(::testing::Values(2, 3, 9, 130, 2050, 40000), ::testing::Bool()));

}  // namespace
}  // namespace skeinlab::kmt_chain_test
