// Link diagrams as walks: PD codes of links (over strands directed by their
// components), R1/R2 reduction across components, split sublinks and
// sub-diagrams, checked through the HOMFLY-PT sweep and the link table.
#include <gtest/gtest.h>

#include "diagram/link_diagram.hpp"
#include "diagram/reidemeister.hpp"
#include "invariants/homfly_sweep.hpp"
#include "invariants/link_table.hpp"

namespace skeinlab::link_diagram_test {
namespace {

std::string name_of(const LinkWalks& link) {
    const std::optional<Laurent2> p = homfly_polynomial_sweep(oriented_diagram(link));
    if (!p) return "none";
    std::string names;
    for (const TableMatch& m : PrimeLinkTable::builtin().lookup(*p)) names += m.name + " ";
    return names;
}

struct PdCase {
    const char* name;
    std::vector<PdCrossing> pd;
    std::size_t components;
    const char* expected;  // one of the names the table gives
};

class LinkPd : public ::testing::TestWithParam<PdCase> {};

TEST_P(LinkPd, OrientsOverStrandsAndNamesTheLink) {
    const Result<LinkWalks> link = link_from_pd(GetParam().pd);
    ASSERT_TRUE(link) << link.error().display();
    EXPECT_EQ(link.value().walks.size(), GetParam().components);
    EXPECT_NE(name_of(link.value()).find(GetParam().expected), std::string::npos) << name_of(link.value());
    // The mirror image is named with the other sign (the Borromean rings,
    // their own mirror image, with none).
    std::string mirrored = GetParam().expected;
    if (mirrored[0] == '+' || mirrored[0] == '-') mirrored[0] = mirrored[0] == '+' ? '-' : '+';
    EXPECT_NE(name_of(mirror_image(link.value())).find(mirrored), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Links, LinkPd,
    ::testing::Values(
        // Components of two edges: the direction of their over strands comes
        // from the other end of each edge.
        PdCase{"hopf_negative", {{4, 1, 3, 2}, {2, 3, 1, 4}}, 2, "+L2a1{0}"},
        PdCase{"hopf_positive", {{4, 2, 3, 1}, {2, 4, 1, 3}}, 2, "+L2a1{1}"},
        PdCase{"whitehead", {{6, 1, 7, 2}, {10, 7, 5, 8}, {4, 5, 1, 6}, {2, 10, 3, 9}, {8, 4, 9, 3}}, 2, "+L5a1{0}"},
        PdCase{"borromean", {{6, 1, 7, 2}, {12, 8, 9, 7}, {4, 12, 1, 11}, {10, 5, 11, 6}, {8, 4, 5, 3}, {2, 9, 3, 10}},
               3, "L6a4{0,0}"}),
    [](const ::testing::TestParamInfo<PdCase>& p) { return std::string(p.param.name); });

TEST(LinkPd, BadCodesAreErrors) {
    EXPECT_FALSE(link_from_pd({{1, 2, 3, 4}, {1, 2, 3, 5}}));  // edge numbers
    EXPECT_FALSE(link_from_pd({{1, 2, 2, 1}, {3, 4, 3, 4}}));  // inconsistent strands
}

TEST(ReduceLink, RemovesBigonsBetweenComponentsAndSplitsTheParts) {
    // Two circles overlapping in projection, one above the other: two
    // crossings, the first component over both.
    LinkWalks two;
    two.walks = {{{0, true}, {1, true}}, {{1, false}, {0, false}}};
    two.signs = {1, -1};
    EXPECT_EQ(split_sublinks(two).size(), 1u);
    EXPECT_EQ(reduce_link(two), 2u);
    EXPECT_EQ(split_sublinks(two).size(), 2u);
    EXPECT_TRUE(two.walks[0].empty() && two.walks[1].empty());
    // The Hopf link stays, and deleting a component leaves the other alone.
    LinkWalks hopf = link_from_pd({{4, 2, 3, 1}, {2, 4, 1, 3}}).value();
    EXPECT_EQ(reduce_link(hopf), 0u);
    EXPECT_EQ(sub_diagram(hopf, {1}).crossings(), 0u);
    EXPECT_EQ(sub_diagram(hopf, {0, 1}).crossings(), 2u);
}

}  // namespace
}  // namespace skeinlab::link_diagram_test
