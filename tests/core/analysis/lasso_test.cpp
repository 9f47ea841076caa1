// Lassos built in space: a loop in the plane z = 0 closed by its bridge, tails
// that pass through it up (along the loop's normal, the loop running
// counterclockwise seen from above) or down, once, twice in one direction
// (winding) or in opposite directions far apart or close together, from
// either end; the same under a rotation and with the chain reversed (the tails
// swap, the signs stay); bad bridges refused.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/lasso.hpp"

namespace skeinlab::lasso_test {
namespace lasso_test {

constexpr double kPi = 3.14159265358979323846;

// The loop: 24 points on the circle of radius 5 about the origin, counterclockwise.
Chain loop() {
    Chain out;
    for (int k = 0; k < 24; ++k) out.push_back({5.0 * std::cos(2 * kPi * k / 24), 5.0 * std::sin(2 * kPi * k / 24), 0.0});
    return out;
}

// A tail of 20 points far outside the loop, then `passes` vertical runs through
// the disk near its centre (+1 up, -1 down), each run 12 points, joined by arcs
// around the outside (16 points each).
Chain tail(const std::vector<int>& passes, double side) {
    Chain out;
    for (int k = 0; k < 20; ++k) out.push_back({side * (30.0 - k), 12.0, 0.3 * k});
    double z = passes.empty() ? 0.0 : -6.0 * passes.front();
    for (std::size_t p = 0; p < passes.size(); ++p) {
        const int dir = passes[p];
        const double x = 0.5 * side + 0.2 * static_cast<double>(p);
        // Around the outside to the start of the run.
        for (int k = 0; k < 16; ++k) out.push_back({side * (12.0 - 0.5 * k) + x * 0.0, 12.0 - 0.75 * k, -6.0 * dir + (k % 2) * 0.01});
        if (dir == 2) {
            // Up through the disk and straight back down beside it: two crossings 7 points apart.
            for (int k = 0; k <= 8; ++k) out.push_back({x, 0.3, -6.0 * 2 + 1.5 * k});
            for (int k = 0; k <= 8; ++k) out.push_back({x + 0.7, 0.3, 3.0 - 1.5 * k});
            continue;
        }
        for (int k = 0; k <= 12; ++k) out.push_back({x, 0.3, -6.0 * dir + dir * k});
        z = 6.0 * dir;
    }
    (void)z;
    return out;
}

// N tail (reversed: it ends next to the loop), loop, C tail.
Chain lasso(const std::vector<int>& n_passes, const std::vector<int>& c_passes, std::int64_t& i, std::int64_t& j) {
    Chain n = tail(n_passes, -1.0), c = tail(c_passes, 1.0);
    Chain out(n.rbegin(), n.rend());
    // Walked from N to C the N tail runs backwards: its passes change direction.
    i = static_cast<std::int64_t>(out.size());
    const Chain l = loop();
    out.insert(out.end(), l.begin(), l.end());
    j = static_cast<std::int64_t>(out.size()) - 1;
    out.insert(out.end(), c.begin(), c.end());
    return out;
}

std::string name_of(const Chain& chain, std::int64_t i, std::int64_t j) {
    const Result<Lasso> l = lasso_of(chain, i, j);
    return l ? l.value().name : l.error().display();
}

struct LassoCase {
    const char* label;
    std::vector<int> n_passes, c_passes;
    const char* name;
    // The name of the chain walked the other way: the tails swap, each
    // crossing keeps its sign (the walk and the loop's normal both turn), and
    // the crossings of a tail come in the other order.
    const char* reversed;
};

class Lassos : public ::testing::TestWithParam<LassoCase> {};

TEST_P(Lassos, AreNamedAsLassoProtNamesThem) {
    std::int64_t i = 0, j = 0;
    const Chain chain = lasso(GetParam().n_passes, GetParam().c_passes, i, j);
    EXPECT_EQ(name_of(chain, i, j), GetParam().name);
    // Turned in space: the same name.
    Chain turned;
    for (const Point3& p : chain) turned.push_back({0.6 * p.x + 0.8 * p.z, p.y, -0.8 * p.x + 0.6 * p.z});
    EXPECT_EQ(name_of(turned, i, j), GetParam().name);
    const Chain reversed(chain.rbegin(), chain.rend());
    const auto n = static_cast<std::int64_t>(chain.size());
    EXPECT_EQ(name_of(reversed, n - 1 - j, n - 1 - i), GetParam().reversed);
}

INSTANTIATE_TEST_SUITE_P(
    Built, Lassos,
    ::testing::Values(LassoCase{"none", {}, {}, "L0", "L0"}, LassoCase{"c_up", {}, {1}, "L+1C", "L+1N"},
                      LassoCase{"c_down", {}, {-1}, "L-1C", "L-1N"}, LassoCase{"n_up", {-1}, {}, "L+1N", "L+1C"},
                      LassoCase{"n_down", {1}, {}, "L-1N", "L-1C"},
                      LassoCase{"c_winds", {}, {1, 1}, "LS2++C", "LS2++N"},
                      LassoCase{"c_up_down", {}, {1, -1}, "L+2C", "L-2N"},
                      LassoCase{"c_up_down_close", {}, {1, -1, 1}, "L+3C", "L+3N"},
                      LassoCase{"c_up_and_back_close", {}, {2}, "L0", "L0"},
                      LassoCase{"both", {-1}, {1}, "LL+1,+1", "LL+1,+1"}),
    [](const ::testing::TestParamInfo<LassoCase>& p) { return std::string(p.param.label); });

TEST(LassoReductions, CloseOppositeCrossingsCancelAndEndsAreDropped) {
    using P = LassoPiercing;
    const auto names = [](const std::vector<P>& v) {
        std::string out;
        for (const P& p : v) out += std::to_string(p.index) + p.sign + " ";
        return out;
    };
    EXPECT_EQ(names(reduced_piercings({{20, '+'}, {25, '-'}}, 60, 0)), "");        // 5 apart: cancel
    EXPECT_EQ(names(reduced_piercings({{20, '+'}, {30, '-'}}, 60, 0)), "20+ 30- "); // 10 apart: stay
    EXPECT_EQ(names(reduced_piercings({{2, '+'}, {30, '-'}, {58, '+'}}, 60, 0)), "30- ");
    // A cancellation makes two more crossings consecutive, judged again.
    EXPECT_EQ(names(reduced_piercings({{20, '+'}, {30, '-'}, {32, '+'}, {36, '-'}}, 60, 0)), "20+ 36- ");
    EXPECT_EQ(names(reduced_piercings({{20, '+'}, {30, '-'}, {32, '+'}, {25, '-'}}, 60, 0)), "");
    EXPECT_EQ(lasso_name({}, {{70, '+'}, {80, '-'}, {90, '-'}}), "LS3+--C");
    EXPECT_EQ(lasso_name({{5, '-'}, {15, '+'}}, {}), "L-2N");
}

TEST(LassoBridges, BadBridgesAreRefusedByName) {
    const Chain chain = loop();
    EXPECT_EQ(name_of(chain, 5, 5), "failed to parse data: bridge 5-5: i must be below j");
    EXPECT_EQ(name_of(chain, 3, 40), "failed to parse data: bridge 3-40: beyond the chain's 24 points");
    EXPECT_EQ(name_of(chain, 3, 4), "failed to parse data: bridge 3-4: a loop needs at least 3 points");
    EXPECT_EQ(name_of(chain, 0, 23), "L0");
    const Result<Lasso> l = lasso_of(chain, 0, 23);
    ASSERT_TRUE(l);
    EXPECT_NEAR(l.value().area, 12 * 25.0 * std::sin(2 * kPi / 24), 1e-6);  // the flat polygon
}

}  // namespace lasso_test
}  // namespace skeinlab::lasso_test
