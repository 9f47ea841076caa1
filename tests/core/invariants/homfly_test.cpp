// The HOMFLY-PT and Jones polynomials: published values of small knots in
// both chiralities, the mirror rule, products over connected sums, and
// invariance under the Reidemeister moves of simplification.
#include <gtest/gtest.h>

#include <string>

#include "curves.hpp"
#include "diagram/connected_sum.hpp"
#include "diagram/simplify.hpp"
#include "invariants/homfly.hpp"

namespace skeinlab::homfly_test {
namespace {

using testing::seeded_walk;

KnotDiagram from_pd(const std::vector<PdCrossing>& pd) {
    Result<KnotDiagram> d = diagram_from_pd(pd);
    EXPECT_TRUE(d) << d.error().display();
    return d ? d.value() : KnotDiagram{};
}


struct Known {
    const char* name;
    std::vector<PdCrossing> pd;
    const char* homfly;  // in the skein relation v^-1 P+ - v P- = z P0
    const char* jones;   // in t
};

class PublishedValues : public ::testing::TestWithParam<Known> {};

TEST_P(PublishedValues, OfTheKnotAndItsMirror) {
    const KnotDiagram d = from_pd(GetParam().pd);
    const Laurent2 p = homfly_polynomial(d).value();
    EXPECT_EQ(p.text(), GetParam().homfly);
    EXPECT_EQ(jones_from_homfly(p).text("t", "_"), GetParam().jones);
    const Laurent2 m = homfly_polynomial(mirror_image(d)).value();
    EXPECT_EQ(m, mirror_homfly(p));
    EXPECT_EQ(mirror_homfly(m), p);
}

// KnotInfo's PD codes; the trefoil's is right-handed (three positive crossings).
INSTANTIATE_TEST_SUITE_P(
    Homfly, PublishedValues,
    ::testing::Values(
        Known{"unknot", {}, "1", "1"},
        Known{"right_trefoil", {{1, 5, 2, 4}, {3, 1, 4, 6}, {5, 3, 6, 2}}, "2*v^2-v^4+v^2*z^2", "t+t^3-t^4"},
        Known{"figure_eight", {{4, 2, 5, 1}, {8, 6, 1, 5}, {6, 3, 7, 4}, {2, 7, 3, 8}}, "v^-2-1+v^2-z^2",
              "t^-2-t^-1+1-t+t^2"},
        Known{"cinquefoil", {{1, 7, 2, 6}, {3, 9, 4, 8}, {5, 1, 6, 10}, {7, 3, 8, 2}, {9, 5, 10, 4}},
              "3*v^4-2*v^6+4*v^4*z^2-v^6*z^2+v^4*z^4", "t^2+t^4-t^5+t^6-t^7"}),
    [](const ::testing::TestParamInfo<Known>& p) { return std::string(p.param.name); });

TEST(Homfly, TheSquareAndTheGrannyKnotDifferOnlyInChirality) {
    const KnotDiagram right = from_pd({{1, 5, 2, 4}, {3, 1, 4, 6}, {5, 3, 6, 2}});
    const auto sum = [](const KnotDiagram& a, const KnotDiagram& b) {
        KnotDiagram d = a;
        for (const Passage& p : b.walk) d.walk.push_back({p.crossing + static_cast<std::uint32_t>(a.crossings()), p.over});
        d.signs.insert(d.signs.end(), b.signs.begin(), b.signs.end());
        return d;
    };
    const Laurent2 r = homfly_polynomial(right).value();
    const Laurent2 l = mirror_homfly(r);
    EXPECT_EQ(homfly_polynomial(sum(right, right)).value(), r * r);
    EXPECT_EQ(homfly_polynomial(sum(right, mirror_image(right))).value(), r * l);
    EXPECT_NE(r * r, r * l);
    // The square knot is amphichiral.
    EXPECT_EQ(mirror_homfly(r * l), r * l);
}

TEST(Homfly, SimplificationAndSummandsKeepThePolynomial) {
    std::size_t tested = 0, crossings = 0;
    for (std::uint64_t seed = 1; seed <= 400 && tested < 25; ++seed) {
        SCOPED_TRACE(seed);
        Chain c = seeded_walk(40, seed, 0.05);
        c.push_back(c.front());
        const KnotDiagram d = *diagram_of_projection(c);
        if (d.crossings() > 18) continue;
        ++tested;
        crossings += d.crossings();
        const Laurent2 whole = homfly_polynomial(d).value();
        KnotDiagram s = d;
        simplify_diagram(s, seed);
        EXPECT_EQ(homfly_polynomial(s).value(), whole);
        Laurent2 product = Laurent2::monomial(1, 0, 0);
        for (const KnotDiagram& part : diagram_summands(d, seed)) product = product * homfly_polynomial(part).value();
        EXPECT_EQ(product, whole);
    }
    EXPECT_EQ(tested, 25u);
    EXPECT_GE(crossings, 250u);
}

}  // namespace
}  // namespace skeinlab::homfly_test
