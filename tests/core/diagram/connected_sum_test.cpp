// Connected sums in diagrams: cuts found in Gauss codes, summands that are
// planar and whose Alexander polynomials multiply to the whole one.
#include <gtest/gtest.h>

#include <string>

#include "arithmetic/polynomial.hpp"
#include "curves.hpp"
#include "diagrams.hpp"
#include "diagram/connected_sum.hpp"
#include "invariants/alexander.hpp"

namespace skeinlab::connected_sum_test {
namespace {

using testing::alexander_text;

using testing::figure_eight;
using testing::joined;
using testing::kTrefoil;
using testing::seeded_walk;

Polynomial small_polynomial(const KnotDiagram& d) { return *alexander_polynomial(alexander_matrix(d)).small; }

TEST(ConnectedSum, SumsOfTrefoilsAndFigureEightsFallApartIntoTheirSummands) {
    const KnotDiagram square = joined(kTrefoil, mirror_image(kTrefoil), 2);
    const KnotDiagram three = joined(joined(kTrefoil, figure_eight(), 3), kTrefoil, 1);
    struct Case {
        const char* name;
        KnotDiagram sum;
        std::vector<std::size_t> crossings;
    };
    for (const Case& c : {Case{"square", square, {3, 3}}, Case{"trefoil, figure-eight, trefoil", three, {3, 3, 4}}}) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(is_planar(c.sum));
        const std::vector<KnotDiagram> parts = diagram_summands(c.sum, 0);
        std::vector<std::size_t> crossings;
        Polynomial product{{1}};
        for (const KnotDiagram& p : parts) {
            EXPECT_TRUE(is_planar(p));
            EXPECT_FALSE(find_sum_cut(p));
            crossings.push_back(p.crossings());
            product = mul(product, small_polynomial(p));
        }
        EXPECT_EQ(crossings, c.crossings);
        EXPECT_EQ(fmt(normalize(product)), alexander_text(c.sum));
    }
    // The square knot's summands are mirror images: writhes 3 and -3.
    const std::vector<KnotDiagram> parts = diagram_summands(square, 0);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].writhe() + parts[1].writhe(), 0);
    EXPECT_EQ(std::abs(parts[0].writhe()), 3);
}

TEST(ConnectedSum, PrimeDiagramsShowNoCut) {
    EXPECT_FALSE(find_sum_cut(kTrefoil));
    EXPECT_FALSE(find_sum_cut(figure_eight()));
    EXPECT_FALSE(find_sum_cut(KnotDiagram{}));
    EXPECT_TRUE(diagram_summands(KnotDiagram{}, 0).empty());
}

TEST(ConnectedSum, SummandsOfRandomWalksMultiplyToTheWholePolynomial) {
    std::size_t composite = 0;
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        Chain c = seeded_walk(1500, seed, 0.0);
        c.push_back(c.front());
        const KnotDiagram d = *diagram_of_projection(c);
        const std::vector<KnotDiagram> parts = diagram_summands(d, seed);
        composite += parts.size() >= 2;
        Polynomial product{{1}};
        for (const KnotDiagram& p : parts) {
            EXPECT_TRUE(is_planar(p));
            EXPECT_FALSE(find_sum_cut(p));
            product = mul(product, small_polynomial(p));
        }
        EXPECT_EQ(fmt(normalize(product)), alexander_text(d));
    }
    EXPECT_GE(composite, 3u);
}

}  // namespace
}  // namespace skeinlab::connected_sum_test
