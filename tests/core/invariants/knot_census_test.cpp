// The embedded census of knots of 13 to 15 crossings: its size, a knot and its
// mirror image found by their polynomials (from KnotInfo's PD code of
// 13n_1609, whose polynomial 13n_2692 and knots of 15 crossings share), table knots and
// made-up polynomials not found, and the hash.
#include <gtest/gtest.h>

#include <algorithm>

#include "diagram/knot_diagram.hpp"
#include "invariants/homfly_sweep.hpp"
#include "invariants/knot_census.hpp"

namespace skeinlab::knot_census_test {
namespace knot_census_test {

std::vector<std::string> names(const std::vector<CensusMatch>& matches) {
    std::vector<std::string> out;
    for (const CensusMatch& m : matches) out.push_back(m.name);
    return out;
}

TEST(KnotCensus, HoldsEveryKnotOfThirteenToFifteenCrossings) {
    const KnotCensus& census = KnotCensus::builtin();
    EXPECT_EQ(census.knots(), 310253u);  // 313,230 prime knots up to 15 crossings, less 2,977 up to 12
    EXPECT_EQ(census.min_crossings(), 13u);
    EXPECT_EQ(census.max_crossings(), 15u);
}

TEST(KnotCensus, FindsAKnotAndItsMirrorImageByTheirPolynomials) {
    const Result<KnotDiagram> d = diagram_from_pd({{3, 1, 4, 26}, {1, 10, 2, 11}, {9, 2, 10, 3}, {11, 5, 12, 4},
                                                   {20, 5, 21, 6}, {6, 21, 7, 22}, {14, 7, 15, 8}, {8, 15, 9, 16},
                                                   {12, 18, 13, 17}, {24, 14, 25, 13}, {16, 26, 17, 25},
                                                   {18, 23, 19, 24}, {22, 19, 23, 20}});
    ASSERT_TRUE(d);
    const std::optional<Laurent2> p = homfly_polynomial_sweep(d.value());
    ASSERT_TRUE(p);
    const std::vector<CensusMatch> found = KnotCensus::builtin().lookup(*p);
    const std::vector<std::string> named = names(found);
    EXPECT_NE(std::find(named.begin(), named.end(), "+13n_1609"), named.end()) << ::testing::PrintToString(named);
    // One other knot of 13 crossings shares its polynomial (and 12n_181 of the
    // table); the others are knots of 15.
    std::vector<std::string> thirteen;
    for (const CensusMatch& m : found) {
        if (m.crossings == 13) thirteen.push_back(m.name);
        else EXPECT_EQ(m.crossings, 15u) << m.name;
    }
    EXPECT_EQ(thirteen, (std::vector<std::string>{"+13n_1609", "-13n_2692"}));
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end(),
                               [](const CensusMatch& a, const CensusMatch& b) { return a.index < b.index; }));
    const std::vector<std::string> mirrored = names(KnotCensus::builtin().lookup(mirror_homfly(*p)));
    EXPECT_NE(std::find(mirrored.begin(), mirrored.end(), "-13n_1609"), mirrored.end());
}

TEST(KnotCensus, KnowsNoTableKnotNorAMadeUpPolynomial) {
    const std::optional<Laurent2> trefoil = parse_laurent2("2*v^2-v^4+v^2*z^2", 'v', 'z');
    ASSERT_TRUE(trefoil);
    EXPECT_TRUE(KnotCensus::builtin().lookup(*trefoil).empty());
    EXPECT_TRUE(KnotCensus::builtin().lookup(Laurent2::monomial(7, 3, 5)).empty());
}

TEST(KnotCensus, HashesTextsByFnv1a) {
    EXPECT_EQ(fnv1a_64(""), 0xCBF29CE484222325ull);
    EXPECT_EQ(fnv1a_64("a"), 0xAF63DC4C8601EC8Cull);
}

}  // namespace knot_census_test
}  // namespace skeinlab::knot_census_test
