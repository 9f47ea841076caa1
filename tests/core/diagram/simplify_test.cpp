// The simplification strategy: strand passes until stable keep the knot and
// leave no shorter path, the R3 search is repeatable from its seed, and
// diagrams of unknots drawn tangled come out with no crossing.
#include <gtest/gtest.h>

#include <string>

#include "curves.hpp"
#include "diagrams.hpp"
#include "diagram/reidemeister.hpp"
#include "diagram/simplify.hpp"
#include "diagram/strand_passes.hpp"
#include "runtime/random.hpp"

namespace skeinlab::simplify_test {
namespace {

using testing::alexander_text;
using testing::closed;
using testing::seeded_walk;

KnotDiagram diagram_of(const Chain& ring) {
    std::optional<KnotDiagram> d = diagram_of_projection(closed(ring));
    EXPECT_TRUE(d);
    return d ? *d : KnotDiagram{};
}

KnotDiagram reduced_diagram_of(const Chain& ring) {
    KnotDiagram d = diagram_of(ring);
    reduce_diagram(d);
    return d;
}

// A polygon whose height grows along the walk (all but its closing segment):
// every crossing is met first from below, so it is an unknot however tangled
// its projection.
Chain ascending_polygon(std::size_t n, std::uint64_t seed) {
    Stream draws(seed);
    Chain c;
    for (std::size_t i = 0; i < n; ++i)
        c.push_back({draws.symmetric_unit(), draws.symmetric_unit(), static_cast<double>(i) / static_cast<double>(n)});
    return c;
}

TEST(Simplify, AscendingPolygonsSimplifyToNoCrossing) {
    std::size_t crossings = 0;
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        KnotDiagram d = diagram_of(ascending_polygon(12 + seed, seed));
        crossings += d.crossings();
        simplify_diagram(d, 0);
        EXPECT_EQ(d.crossings(), 0u);
    }
    EXPECT_GT(crossings, 200u);
}

TEST(Simplify, TheSearchDependsOnlyOnTheDiagramAndTheSeed) {
    const KnotDiagram d = diagram_of(seeded_walk(600, 5, 0.05));
    KnotDiagram a = d, b = d;
    simplify_diagram(a, 9);
    simplify_diagram(b, 9);
    EXPECT_EQ(a, b);
    KnotDiagram none = d;
    simplify_diagram(none, 9, 0);
    KnotDiagram reduced = d;
    pass_strands_until_stable(reduced, kStrandPassShare);
    EXPECT_EQ(none, reduced) << "no patience: the removals alone (R1, R2, strand passes)";
}

TEST(Simplify, PassesThatStopAtAShareKeepTheKnotAndRemoveNoMoreThanUntilStable) {
    const KnotDiagram d = reduced_diagram_of(seeded_walk(500, 3, 0.05));
    KnotDiagram stable = d, share = d;
    pass_strands_until_stable(stable);
    EXPECT_GT(pass_strands_until_stable(share, 0.2), 0u);
    EXPECT_GE(share.crossings(), stable.crossings());
    EXPECT_LT(share.crossings(), d.crossings());
    EXPECT_EQ(alexander_text(share), alexander_text(d));
    EXPECT_TRUE(is_planar(share));
}

TEST(Simplify, PassesUntilStableLeaveNoShorterPathAndKeepTheKnot) {
    KnotDiagram d = reduced_diagram_of(seeded_walk(500, 3, 0.05));
    const std::string alexander = alexander_text(d);
    const std::size_t before = d.crossings();
    const std::size_t removed = pass_strands_until_stable(d);
    EXPECT_EQ(removed, before - d.crossings());
    EXPECT_LT(d.crossings(), before);
    EXPECT_EQ(pass_strands(d, true), 0u);
    EXPECT_EQ(pass_strands(d, false), 0u);
    EXPECT_EQ(alexander_text(d), alexander);
    EXPECT_TRUE(is_planar(d));
}

}  // namespace
}  // namespace skeinlab::simplify_test
