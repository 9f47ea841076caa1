// Strand passes: a pass never changes the knot (the HOMFLY-PT polynomial, which
// tells a knot from its mirror image, and the Alexander polynomial of larger
// diagrams stay), keeps the diagram planar, and removes crossings that R1 and
// R2 moves cannot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "curves.hpp"
#include "diagrams.hpp"
#include "diagram/reidemeister.hpp"
#include "diagram/simplify.hpp"
#include "diagram/strand_passes.hpp"
#include "invariants/alexander.hpp"
#include "invariants/homfly_sweep.hpp"
#include "runtime/pool.hpp"

namespace skeinlab::strand_passes_test {
namespace {

using testing::alexander_text;

using testing::closed;
using testing::seeded_walk;

KnotDiagram reduced_diagram_of(const Chain& ring) {
    std::optional<KnotDiagram> d = diagram_of_projection(closed(ring));
    EXPECT_TRUE(d);
    if (!d) return {};
    reduce_diagram(*d);
    return *d;
}

struct Walk {
    std::size_t steps;
    double pull;  // toward the centre: compact walks for larger pulls
};

class StrandPasses : public ::testing::TestWithParam<Walk> {};

TEST_P(StrandPasses, KeepTheKnotAndPlanarityOverAndUnder) {
    const Walk w = GetParam();
    std::size_t removed = 0;
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        KnotDiagram d = reduced_diagram_of(seeded_walk(w.steps, seed, w.pull));
        if (seed % 2 == 0) d = mirror_image(d);
        const std::optional<Laurent2> homfly = homfly_polynomial_sweep(d);
        const std::string alexander = alexander_text(d);
        for (const bool over : {true, false, true}) {
            const std::size_t before = d.crossings();
            const std::size_t gone = pass_strands(d, over);
            ASSERT_EQ(before - gone, d.crossings());
            removed += gone;
            ASSERT_TRUE(is_planar(d));
            reduce_diagram(d);
        }
        EXPECT_EQ(alexander_text(d), alexander);
        if (homfly) {
            EXPECT_EQ(homfly_polynomial_sweep(d), homfly);
        }
    }
    EXPECT_GT(removed, 0u) << "strand passes removed nothing R1 and R2 had left";
}

INSTANTIATE_TEST_SUITE_P(Walks, StrandPasses,
                         ::testing::Values(Walk{60, 0.0}, Walk{90, 0.1}, Walk{400, 0.02}, Walk{500, 0.08}),
                         [](const ::testing::TestParamInfo<Walk>& walk) {
                             return "steps_" + std::to_string(walk.param.steps);
                         });

// Searches made ahead by other workers (every sweep shared here) give the
// sweep's own moves, one by one: the same diagram after each sweep, with
// one worker, with another idle, and with two others.
TEST(StrandPasses, SearchesAheadOnOtherWorkersMakeTheSameMoves) {
    for (const Walk w : {Walk{500, 0.05}, Walk{800, 0.0}, Walk{1200, 0.1}}) {
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(std::to_string(w.steps) + " steps, seed " + std::to_string(seed));
            const KnotDiagram start = reduced_diagram_of(seeded_walk(w.steps, seed, w.pull));
            const auto sweeps = [&start](std::size_t share_from) {
                std::vector<KnotDiagram> out;
                KnotDiagram d = start;
                for (const bool over : {true, false, true, false}) {
                    pass_strands(d, over, share_from);
                    out.push_back(d);
                    reduce_diagram(d);
                }
                return out;
            };
            const std::vector<KnotDiagram> alone = sweeps(kSharedSweepStrands);
            ASSERT_LT(alone.back().crossings(), start.crossings());
            for (const std::size_t workers : {2, 3}) {
                WorkerPool pool(workers);
                std::vector<KnotDiagram> shared;
                pool.parallel_for(1, [&](std::size_t) { shared = sweeps(1); });
                ASSERT_EQ(shared.size(), alone.size());
                for (std::size_t k = 0; k < alone.size(); ++k) {
                    EXPECT_EQ(shared[k].walk, alone[k].walk) << workers << " workers, sweep " << k;
                    EXPECT_EQ(shared[k].signs, alone[k].signs) << workers << " workers, sweep " << k;
                }
            }
        }
    }
}

// The strands of one kind that a path crossing fewer other edges than the
// strand's length joins end to end, by a search from one end alone over the
// faces (the strand's own edges free to cross).
std::size_t strands_with_a_shorter_path(const KnotDiagram& d, bool over) {
    constexpr std::uint32_t kNone = UINT32_MAX;
    const FaceTable t = face_table(d);
    const auto m = static_cast<std::uint32_t>(d.walk.size());
    std::size_t found = 0;
    // By strand searched (its number from 1): the strand's own edges, and
    // each face's distance.
    std::uint32_t strand = 0;
    std::vector<std::uint32_t> own(m, 0), seen(t.faces(), 0), dist(t.faces(), 0);
    std::deque<std::uint32_t> queue;
    for (std::uint32_t p = 0; p < m; ++p) {
        if (d.walk[p].over != over || d.walk[(p + m - 1) % m].over == over) continue;
        std::uint32_t length = 0;
        while (d.walk[(p + length) % m].over == over) ++length;
        ++strand;
        for (std::uint32_t k = 0; k <= length; ++k) own[(p + m - 1 + k) % m] = strand;
        const std::uint32_t from = (p + m - 1) % m, to = (p + length - 1) % m;
        const auto distance = [&](std::uint32_t f) { return seen[f] == strand ? dist[f] : kNone; };
        for (const std::uint32_t f : {t.left[from], t.right[from]}) {
            seen[f] = strand;
            dist[f] = 0;
            queue.push_back(f);
        }
        while (!queue.empty()) {
            const std::uint32_t f = queue.front();
            queue.pop_front();
            for (std::uint32_t k = t.start[f]; k < t.start[f + 1]; ++k) {
                const std::uint32_t e = t.edges[k], h = t.left[e] == f ? t.right[e] : t.left[e];
                const std::uint32_t step = own[e] == strand ? 0 : 1;
                if (dist[f] + step >= std::min(distance(h), length)) continue;
                seen[h] = strand;
                dist[h] = dist[f] + step;
                if (step == 0) queue.push_front(h);
                else queue.push_back(h);
            }
        }
        if (std::min(distance(t.left[to]), distance(t.right[to])) < length) ++found;
    }
    return found;
}

// Passes until stable leave no strand a shorter path: the passes' search
// (from both ends, with a ball's radius cut short) misses none that a plain
// search from one end finds.
TEST(StrandPasses, NoStrandKeepsAShorterPathThatASearchFromOneEndFinds) {
    for (const Walk w : {Walk{400, 0.05}, Walk{900, 0.1}}) {
        for (std::uint64_t seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE(std::to_string(w.steps) + " steps, seed " + std::to_string(seed));
            KnotDiagram d = reduced_diagram_of(seeded_walk(w.steps, seed, w.pull));
            EXPECT_GT(strands_with_a_shorter_path(d, true) + strands_with_a_shorter_path(d, false), 0u);
            pass_strands_until_stable(d);
            EXPECT_EQ(strands_with_a_shorter_path(d, true), 0u);
            EXPECT_EQ(strands_with_a_shorter_path(d, false), 0u);
        }
    }
}

TEST(StrandPasses, DiagramsWithoutCrossingsAreLeftAlone) {
    KnotDiagram empty;
    EXPECT_EQ(pass_strands(empty, true), 0u);
    EXPECT_EQ(pass_strands_until_stable(empty), 0u);
    EXPECT_TRUE(empty.walk.empty());
}

}  // namespace
}  // namespace skeinlab::strand_passes_test
