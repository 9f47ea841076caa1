// Knot identification of chains built in space: trefoils of both hands,
// torus and twist knots, and connected sums of two to six knots placed apart
// and joined by parallel strands; as rings and as open chains, in several
// rotations. Names must come out exactly.
#include <gtest/gtest.h>

#include <string>

#include "analysis/identify.hpp"
#include "curves.hpp"

namespace skeinlab {
namespace {

using testing::figure_eight;
using testing::torus_knot;
using testing::with_tails;

// torus_knot(2, 3) winds about the core of its torus as a left-handed screw
// (from the outside up, against the direction of travel): the left-handed
// trefoil, whose diagrams have three negative crossings.
Chain left_trefoil() { return torus_knot(2, 3, 150); }
Chain right_trefoil() { return torus_knot(2, -3, 150); }

// The knots as long arcs with tails along z, placed 20 apart along x and run
// through in turn (every other one from its lower end), joined at the top
// and the bottom, and closed by a strand above everything back to the first.
Chain connected_sum(const std::vector<Chain>& knots) {
    constexpr double kTail = 30.0;
    Chain ring;
    for (std::size_t k = 0; k < knots.size(); ++k) {
        Chain arc = with_tails(knots[k], 15, kTail);
        for (Point3& p : arc) p.x += 20.0 * static_cast<double>(k);
        if (k % 2 == 1) std::reverse(arc.begin(), arc.end());
        ring.insert(ring.end(), arc.begin(), arc.end());
    }
    const Point3 end = ring.back(), start = ring.front();
    ring.push_back({end.x + 6.0, end.y, end.z});
    ring.push_back({end.x + 6.0, end.y, kTail + 10.0});
    ring.push_back({start.x, start.y, kTail + 10.0});
    return ring;
}

Chain turned(const Chain& chain, const Rotation& r) {
    Chain out;
    for (const Point3& p : chain) out.push_back(r.apply(p));
    return out;
}

struct Case {
    const char* label;
    Chain chain;
    std::string name;
};

class Identify : public ::testing::TestWithParam<Case> {};

TEST_P(Identify, NamesTheKnotAsRingAndOpenChainInEveryRotation) {
    const std::vector<Rotation> rotations{
        quaternion_rotation(1, 0, 0, 0),
        quaternion_rotation(0.8, 0.36, -0.48, 0.0),
        quaternion_rotation(0.5, 0.5, 0.5, 0.5),
        quaternion_rotation(0.1, -0.7, 0.1, 0.7),
    };
    for (const bool ring : {true, false}) {
        KnotTypeOptions options;
        options.is_ring = ring;
        for (std::size_t r = 0; r < rotations.size(); ++r) {
            SCOPED_TRACE(std::string(ring ? "ring" : "open") + ", rotation " + std::to_string(r));
            const Chain chain = turned(ring ? GetParam().chain : with_tails(GetParam().chain, 20, 60.0), rotations[r]);
            EXPECT_EQ(identify_knot(chain, options).name, GetParam().name);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Knots, Identify,
    ::testing::Values(Case{"unknot", testing::circle(40, 3.0), "1"},
                      Case{"right_trefoil", right_trefoil(), "+3_1"},
                      Case{"left_trefoil", left_trefoil(), "-3_1"},
                      Case{"figure_eight", figure_eight(200), "4_1"},
                      Case{"cinquefoil", torus_knot(2, 5, 200), "(-5_1|+10_132)"},
                      Case{"torus_3_4", torus_knot(3, 4, 300), "-8_19"},
                      Case{"torus_3_5", torus_knot(3, -5, 400), "+10_124"},
                      Case{"square", connected_sum({right_trefoil(), left_trefoil()}), "+3_1#-3_1"},
                      Case{"granny", connected_sum({left_trefoil(), left_trefoil()}), "-3_1#-3_1"},
                      Case{"trefoil_figure_eight", connected_sum({figure_eight(200), right_trefoil()}), "+3_1#4_1"},
                      Case{"six", connected_sum({right_trefoil(), figure_eight(200), left_trefoil(), right_trefoil(),
                                                 torus_knot(2, 5, 200), left_trefoil()}),
                           "+3_1#+3_1#-3_1#-3_1#4_1#(-5_1|+10_132)"}),
    [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.label); });

TEST(Identify, FactorsCarryTheirCrossingsAndPolynomials) {
    const KnotIdentity id = identify_knot(connected_sum({right_trefoil(), figure_eight(200)}), KnotTypeOptions{});
    ASSERT_EQ(id.factors.size(), 2u);
    EXPECT_EQ(id.factors[0].name, "+3_1");
    EXPECT_EQ(id.factors[0].crossings, 3u);
    EXPECT_EQ(id.factors[0].homfly->text(), "2*v^2-v^4+v^2*z^2");
    EXPECT_EQ(id.factors[1].crossings, 4u);
}

TEST(Identify, FramesOutsideTheUnitRangeAreNamedAsInIt) {
    Chain tiny = right_trefoil();
    for (Point3& p : tiny) p = {p.x * 0x1p-40, p.y * 0x1p-40, p.z * 0x1p-40};
    const Outcome<std::string> name = identify_frame(tiny, KnotTypeOptions{});
    ASSERT_TRUE(std::holds_alternative<std::string>(name));
    EXPECT_EQ(std::get<std::string>(name), "+3_1");
}

}  // namespace
}  // namespace skeinlab
