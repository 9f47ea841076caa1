// Reidemeister moves: no move changes the Alexander polynomial or planarity,
// R1 and R2 remove what they can, R3 moves are invertible.
#include <gtest/gtest.h>

#include <string>

#include "curves.hpp"
#include "diagrams.hpp"
#include "diagram/reidemeister.hpp"
#include "diagram/simplify.hpp"
#include "diagram/strand_passes.hpp"
#include "invariants/alexander.hpp"

namespace skeinlab::reidemeister_test {
namespace {

using testing::alexander_text;

using testing::closed;
using testing::seeded_walk;
using testing::torus_knot;

KnotDiagram diagram_of(const Chain& ring) {
    std::optional<KnotDiagram> d = diagram_of_projection(closed(ring));
    EXPECT_TRUE(d);
    return d ? *d : KnotDiagram{};
}

TEST(Reidemeister, R1AndR2RemoveKinksAndBigonsAroundATrefoil) {
    // The trefoil's walk with a kink (R1) and a bigon (R2) spliced in.
    KnotDiagram d{{{0, false}, {1, true}, {2, false}, {0, true}, {1, false}, {2, true}}, {1, 1, 1}};
    d.walk.insert(d.walk.begin() + 2, {{3, true}, {3, false}});
    d.signs.push_back(-1);
    d.walk.insert(d.walk.begin() + 5, {{4, true}, {5, true}});
    d.walk.insert(d.walk.begin() + 9, {{5, false}, {4, false}});
    d.signs.push_back(1);
    d.signs.push_back(-1);
    ASSERT_TRUE(is_planar(d));
    EXPECT_EQ(alexander_text(d), "1-t+t^2");
    EXPECT_EQ(reduce_diagram(d), 3u);
    EXPECT_EQ(d.crossings(), 3u);
    EXPECT_EQ(d.writhe(), 3);
    EXPECT_TRUE(is_planar(d));
}

TEST(Reidemeister, ReductionsKeepThePolynomialAndPlanarity) {
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
        SCOPED_TRACE(seed);
        KnotDiagram d = diagram_of(seeded_walk(150 + 30 * seed, seed, seed % 3 == 0 ? 0.1 : 0.0));
        const std::string before = alexander_text(d);
        const std::size_t crossings = d.crossings();
        const std::size_t removed = reduce_diagram(d);
        EXPECT_EQ(d.crossings() + removed, crossings);
        EXPECT_TRUE(is_planar(d));
        EXPECT_EQ(alexander_text(d), before);
        KnotDiagram again = d;
        EXPECT_EQ(reduce_diagram(again), 0u) << "a reduced diagram has nothing left to remove";
        simplify_diagram(d, seed);
        EXPECT_LE(d.crossings(), crossings - removed);
        EXPECT_TRUE(is_planar(d));
        EXPECT_EQ(alexander_text(d), before);
    }
}

TEST(Reidemeister, R3MovesArePlanarInvertibleAndKeepThePolynomial) {
    std::size_t moves = 0;
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        const KnotDiagram d = diagram_of(seeded_walk(200, seed, 0.05));
        const std::string p = alexander_text(d);
        for (const auto& triangle : r3_triangles(d)) {
            KnotDiagram moved = d;
            apply_r3(moved, triangle);
            ++moves;
            ASSERT_TRUE(is_planar(moved));
            EXPECT_EQ(moved.signs, d.signs);
            EXPECT_EQ(alexander_text(moved), p);
            const auto back = r3_triangles(moved);
            EXPECT_NE(std::find(back.begin(), back.end(), triangle), back.end());
            apply_r3(moved, triangle);
            EXPECT_EQ(moved, d);
        }
    }
    EXPECT_GT(moves, 20u);
}

TEST(Reidemeister, TorusKnotsDrawnMinimallyHaveNothingToRemove) {
    for (const int q : {3, 5, 7}) {
        KnotDiagram d = diagram_of(torus_knot(2, q, 300));
        ASSERT_EQ(d.crossings(), static_cast<std::size_t>(q));
        simplify_diagram(d, 1);
        EXPECT_EQ(d.crossings(), static_cast<std::size_t>(q));
    }
}

}  // namespace
}  // namespace skeinlab::reidemeister_test
