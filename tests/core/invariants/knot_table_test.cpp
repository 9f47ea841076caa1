// The generated prime-knot table: every row parses back to its text, names
// and chiralities come out of lookups as the table gives them.
#include <gtest/gtest.h>

#include <set>

#include "invariants/knot_table.hpp"
#include "invariants/knot_table_data.hpp"

namespace skeinlab::knot_table_test {
namespace {

TEST(PrimeKnotTable, HoldsThePrimeKnotsUpToTwelveCrossingsInOrder) {
    const PrimeKnotTable& t = PrimeKnotTable::builtin();
    ASSERT_EQ(t.size(), 2977u);
    EXPECT_EQ(t.name(0), "3_1");
    EXPECT_EQ(t.name(1), "4_1");
    EXPECT_EQ(t.name(static_cast<std::uint32_t>(t.size() - 1)), "12n_888");
    std::set<std::string> names;
    for (std::uint32_t i = 0; i < t.size(); ++i) {
        names.insert(t.name(i));
        if (i > 0) {
            EXPECT_LE(t.crossings(i - 1), t.crossings(i)) << t.name(i);
        }
        // Every polynomial is found again, in each of its chiralities.
        bool found = false;
        for (const TableMatch& m : t.lookup(t.homfly(i))) found = found || (m.index == i && m.chirality != '-');
        EXPECT_TRUE(found) << t.name(i);
        EXPECT_EQ(parse_laurent2(t.homfly(i).text(), 'v', 'z'), t.homfly(i));
    }
    EXPECT_EQ(names.size(), t.size());
}

TEST(PrimeKnotTable, NamesCarryTheirChirality) {
    const PrimeKnotTable& t = PrimeKnotTable::builtin();
    const Laurent2 right_trefoil = *parse_laurent2("2*v^2-v^4+v^2*z^2", 'v', 'z');
    ASSERT_EQ(t.lookup(right_trefoil).size(), 1u);
    EXPECT_EQ(t.lookup(right_trefoil).front().name, "+3_1");
    EXPECT_EQ(t.lookup(mirror_homfly(right_trefoil)).front().name, "-3_1");
    const Laurent2 figure_eight = t.homfly(1);
    ASSERT_EQ(t.lookup(figure_eight).size(), 1u);
    EXPECT_EQ(t.lookup(figure_eight).front().name, "4_1");
    EXPECT_TRUE(t.amphichiral(1));
    // 5_1 and 10_132 share their polynomial: both are listed, in table order.
    const std::vector<TableMatch>& shared = t.lookup(t.homfly(2));
    ASSERT_EQ(shared.size(), 2u);
    EXPECT_EQ(shared[0].name, "+5_1");
    EXPECT_EQ(shared[1].name.substr(1), "10_132");
    EXPECT_TRUE(t.lookup(Laurent2::monomial(7, 0, 0)).empty());
}

TEST(PrimeKnotTable, KnowsTheAlexanderPolynomialsOfItsKnots) {
    const PrimeKnotTable& t = PrimeKnotTable::builtin();
    for (const char* held : {"1-t+t^2", "1-3*t+t^2", "1-t+t^2-t^3+t^4", "1"}) EXPECT_TRUE(t.has_alexander(held)) << held;
    // The square knot's polynomial (1-t+t^2)^2 is also 8_20's; the (2, 13)
    // torus knot's has degree 12, more than any knot of up to 12 crossings.
    EXPECT_TRUE(t.has_alexander("1-2*t+3*t^2-2*t^3+t^4"));
    EXPECT_FALSE(t.has_alexander("1-t+t^2-t^3+t^4-t^5+t^6-t^7+t^8-t^9+t^10-t^11+t^12"));
}

TEST(PrimeKnotTable, PolynomialTextsParseOnlyInTheirOwnForm) {
    EXPECT_EQ(parse_laurent2("0", 'v', 'z'), Laurent2());
    EXPECT_EQ(parse_laurent2("v^-2-1+v^2-z^2", 'v', 'z')->text(), "v^-2-1+v^2-z^2");
    for (const char* bad : {"", "+1", "2**v", "v^", "1+", "3*x", "v^-", "--1"})
        EXPECT_FALSE(parse_laurent2(bad, 'v', 'z')) << bad;
}

}  // namespace
}  // namespace skeinlab::knot_table_test
