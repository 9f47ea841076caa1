// Knot identification of chains built in space: trefoils of both hands,
// torus and twist knots, and connected sums of two to six knots placed apart
// and joined by parallel strands; as rings and as open chains, in several
// rotations. Names must come out exactly.
#include <gtest/gtest.h>

#include <string>

#include "analysis/identify.hpp"
#include "curves.hpp"

namespace skeinlab::identify_test {
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

struct IdentifyCase {
    const char* label;
    Chain chain;
    std::string name;
};

class Identify : public ::testing::TestWithParam<IdentifyCase> {};

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
    ::testing::Values(IdentifyCase{"unknot", testing::circle(40, 3.0), "1"},
                      IdentifyCase{"right_trefoil", right_trefoil(), "+3_1"},
                      IdentifyCase{"left_trefoil", left_trefoil(), "-3_1"},
                      IdentifyCase{"figure_eight", figure_eight(200), "4_1"},
                      IdentifyCase{"cinquefoil", torus_knot(2, 5, 200), "-5_1"},
                      IdentifyCase{"torus_3_4", torus_knot(3, 4, 300), "-8_19"},
                      IdentifyCase{"torus_3_5", torus_knot(3, -5, 400), "+10_124"},
                      IdentifyCase{"square", connected_sum({right_trefoil(), left_trefoil()}), "+3_1#-3_1"},
                      IdentifyCase{"granny", connected_sum({left_trefoil(), left_trefoil()}), "-3_1#-3_1"},
                      IdentifyCase{"trefoil_figure_eight", connected_sum({figure_eight(200), right_trefoil()}), "+3_1#4_1"},
                      IdentifyCase{"six", connected_sum({right_trefoil(), figure_eight(200), left_trefoil(), right_trefoil(),
                                                 torus_knot(2, 5, 200), left_trefoil()}),
                           "+3_1#+3_1#-3_1#-3_1#4_1#-5_1"}),
    [](const ::testing::TestParamInfo<IdentifyCase>& p) { return std::string(p.param.label); });

// A sample of KnotInfo's PD codes (the generator checks every knot of the
// table this way) with the names of the diagram and of its mirror image.
struct TableKnot {
    const char* label;
    std::vector<PdCrossing> pd;
    const char* name;
    const char* mirror_name;
};

class TableSample : public ::testing::TestWithParam<TableKnot> {};


TEST_P(TableSample, DiagramsAndTheirMirrorImagesAreNamedAsTheirKnots) {
    const Result<KnotDiagram> d = diagram_from_pd(GetParam().pd);
    ASSERT_TRUE(d) << d.error().display();
    EXPECT_EQ(identify_diagram(d.value()).name, GetParam().name);
    EXPECT_EQ(identify_diagram(mirror_image(d.value())).name, GetParam().mirror_name);
    // The same diagram walked from another point.
    KnotDiagram shifted = d.value();
    std::rotate(shifted.walk.begin(), shifted.walk.begin() + 5, shifted.walk.end());
    EXPECT_EQ(identify_diagram(renumbered(shifted)).name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Identify, TableSample,
    ::testing::Values(
        TableKnot{"k3_1", {{1, 5, 2, 4}, {3, 1, 4, 6}, {5, 3, 6, 2}}, "+3_1", "-3_1"},
        TableKnot{"k5_2", {{1, 5, 2, 4}, {3, 9, 4, 8}, {5, 1, 6, 10}, {7, 3, 8, 2}, {9, 7, 10, 6}}, "+5_2", "-5_2"},
        TableKnot{"k8_17",
                  {{6, 2, 7, 1}, {14, 8, 15, 7}, {8, 3, 9, 4}, {2, 13, 3, 14}, {12, 5, 13, 6}, {4, 9, 5, 10},
                   {16, 12, 1, 11}, {10, 16, 11, 15}},
                  "8_17", "8_17"},
        TableKnot{"k8_19",
                  {{2, 14, 3, 13}, {5, 11, 6, 10}, {7, 15, 8, 14}, {9, 5, 10, 4}, {11, 7, 12, 6}, {12, 2, 13, 1},
                   {15, 9, 16, 8}, {16, 4, 1, 3}},
                  "+8_19", "-8_19"},
        TableKnot{"k9_42",
                  {{1, 5, 2, 4}, {5, 11, 6, 10}, {3, 8, 4, 9}, {9, 2, 10, 3}, {16, 11, 17, 12}, {14, 8, 15, 7},
                   {6, 16, 7, 15}, {18, 13, 1, 14}, {12, 17, 13, 18}},
                  "9_42", "9_42"},
        TableKnot{"k10_132",
                  {{1, 8, 2, 9}, {3, 18, 4, 19}, {5, 12, 6, 13}, {7, 10, 8, 11}, {9, 2, 10, 3}, {11, 6, 12, 7},
                   {14, 20, 15, 19}, {16, 14, 17, 13}, {17, 4, 18, 5}, {20, 16, 1, 15}},
                  "(-5_1|+10_132)", "(+5_1|-10_132)"},
        TableKnot{"k11n_34",
                  {{4, 2, 5, 1}, {8, 4, 9, 3}, {17, 1, 18, 22}, {12, 5, 13, 6}, {6, 13, 7, 14}, {11, 18, 12, 19},
                   {19, 14, 20, 15}, {9, 17, 10, 16}, {15, 20, 16, 21}, {21, 10, 22, 11}, {2, 8, 3, 7}},
                  "(+11n_34|+11n_42)", "(-11n_34|-11n_42)"},
        TableKnot{"k12n_888",
                  {{1, 11, 2, 10}, {3, 13, 4, 12}, {20, 6, 21, 5}, {16, 8, 17, 7}, {18, 10, 19, 9}, {11, 3, 12, 2},
                   {13, 23, 14, 22}, {15, 1, 16, 24}, {8, 18, 9, 17}, {4, 20, 5, 19}, {6, 22, 7, 21},
                   {23, 15, 24, 14}},
                  "+12n_888", "-12n_888"}),
    [](const ::testing::TestParamInfo<TableKnot>& p) { return std::string(p.param.label); });

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
}  // namespace skeinlab::identify_test
