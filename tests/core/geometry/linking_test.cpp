// Linking numbers: Hopf links of both signs, (2, 2k) torus links, split and
// distant rings, exact values against the Gauss integral on random pairs,
// invariance under rotations and order, and the close pairs of a necklace.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "curves.hpp"
#include "geometry/linking.hpp"

namespace skeinlab::linking_test {
namespace {

using testing::closed;
using testing::kTwoPi;
using testing::mirrored;

Chain circle_at(Point3 centre, int plane, double radius = 1.0, int n = 64, double phase = 0.0123) {
    Chain c;
    for (int i = 0; i < n; ++i) {
        const double t = kTwoPi * i / n + phase, u = radius * std::cos(t), v = radius * std::sin(t);
        c.push_back(plane == 0 ? Point3{centre.x + u, centre.y + v, centre.z} : Point3{centre.x + u, centre.y, centre.z + v});
    }
    return c;
}

// Component j of the (2, 2k) torus link.
Chain torus_link_component(int k, int j, int n = 400) {
    Chain c;
    for (int i = 0; i < n; ++i) {
        const double t = kTwoPi * i / n + 0.0123, phase = k * t + j * 3.141592653589793;
        const double r = 3.0 + std::cos(phase);
        c.push_back({r * std::cos(t), r * std::sin(t), std::sin(phase)});
    }
    return c;
}

double gauss(const Chain& a, const Chain& b) { return gauss_linking_integral(closed(a), closed(b)); }

TEST(Linking, HopfLinksOfBothSignsAndTheirGaussIntegral) {
    const Chain a = circle_at({0, 0, 0}, 0), b = circle_at({1, 0, 0}, 1);
    const std::int64_t lk = linking_number(a, b).value();
    EXPECT_EQ(std::abs(lk), 1);
    EXPECT_NEAR(gauss(a, b), static_cast<double>(lk), 1e-9);
    EXPECT_EQ(linking_number(mirrored(a), mirrored(b)).value(), -lk);
    EXPECT_EQ(linking_number(b, a).value(), lk);
    // Reversing one ring reverses the sign.
    Chain reversed(a.rbegin(), a.rend());
    EXPECT_EQ(linking_number(reversed, b).value(), -lk);
}

class TorusLinks : public ::testing::TestWithParam<int> {};

TEST_P(TorusLinks, TheTwoComponentsLinkKTimes) {
    const int k = GetParam();
    const Chain a = torus_link_component(k, 0), b = torus_link_component(k, 1);
    const std::int64_t lk = linking_number(a, b).value();
    EXPECT_EQ(std::abs(lk), k);
    EXPECT_NEAR(gauss(a, b), static_cast<double>(lk), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Linking, TorusLinks, ::testing::Values(1, 2, 3, 5));

TEST(Linking, SplitAndDistantRingsHaveNone) {
    EXPECT_EQ(linking_number(circle_at({0, 0, 0}, 0), circle_at({5, 0, 0}, 1)).value(), 0);
    EXPECT_EQ(linking_number(circle_at({0, 0, 0}, 0), circle_at({0, 0, 1}, 0)).value(), 0);
    EXPECT_EQ(linking_number(Chain{}, circle_at({0, 0, 0}, 0)).value(), 0);
}

TEST(Linking, ExactValuesAgreeWithTheGaussIntegralAndRotations) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> step(0.0, 1.0);
    const auto walk = [&](Point3 start) {
        Chain c{start};
        for (int i = 1; i < 40; ++i) c.push_back({c.back().x + step(rng), c.back().y + step(rng), c.back().z + step(rng)});
        return c;
    };
    int linked = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const Chain a = walk({0, 0, 0}), b = walk({1, 0.5, 0});
        const std::int64_t lk = linking_number(a, b).value();
        EXPECT_NEAR(gauss(a, b), static_cast<double>(lk), 1e-6) << trial;
        linked += lk != 0;
        const Rotation turn = quaternion_rotation(0.6, 0.48, -0.36, 0.528);
        Chain ta, tb;
        for (const Point3& p : a) ta.push_back(turn.apply(p));
        for (const Point3& p : b) tb.push_back(turn.apply(p));
        EXPECT_EQ(linking_number(ta, tb).value(), lk) << trial;
        EXPECT_EQ(linking_number(b, a).value(), lk) << trial;
    }
    EXPECT_GT(linked, 5);
}

TEST(Linking, TheCloseLinkedPairsOfANecklace) {
    // Rings alternately in the xy and xz planes, each threaded through the
    // next; a far ring that links nothing; rings in every other order.
    std::vector<Chain> rings;
    for (int k = 0; k < 6; ++k) rings.push_back(circle_at({1.5 * k, 0, 0}, k % 2));
    rings.push_back(circle_at({0, 20, 0}, 0));
    const std::vector<LinkingPair> pairs = linking_pairs(rings, true);
    ASSERT_EQ(pairs.size(), 5u);
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        EXPECT_EQ(pairs[k].i, k);
        EXPECT_EQ(pairs[k].j, k + 1);
        EXPECT_EQ(std::abs(pairs[k].value), 1.0);
        EXPECT_TRUE(pairs[k].defined);
    }
    std::vector<Chain> shuffled{rings[3], rings[6], rings[0], rings[5], rings[1], rings[4], rings[2]};
    EXPECT_EQ(linking_pairs(shuffled, true).size(), 5u);
    // Open chains: the Gauss integral of every close pair.
    const std::vector<LinkingPair> open = linking_pairs(rings, false);
    EXPECT_GE(open.size(), 5u);
}

}  // namespace
}  // namespace skeinlab::linking_test
