#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/crossings.hpp"

namespace skeinlab::crossings_test {
namespace {

// Every ordered pair evaluated, as a dense table would.
std::vector<std::vector<CrossingRecord>> all_pairs(const Chain& pts) {
    const std::size_t segments = pts.size() - 1;
    std::vector<std::vector<CrossingRecord>> rows(segments);
    for (std::size_t i = 0; i < segments; ++i)
        for (std::size_t j = 0; j < segments; ++j) {
            if (i == j) continue;
            const Intersection rec = intersect_projected(pts[i], pts[i + 1], pts[j], pts[j + 1]);
            if (rec.crosses) rows[i].push_back({j, rec});
        }
    for (auto& row : rows)
        std::stable_sort(row.begin(), row.end(), [](const CrossingRecord& a, const CrossingRecord& b) {
            return std::fabs(a.record.signed_position) < std::fabs(b.record.signed_position);
        });
    return rows;
}

void expect_same(const std::vector<std::vector<CrossingRecord>>& got,
                 const std::vector<std::vector<CrossingRecord>>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].size(), want[i].size()) << "segment " << i;
        for (std::size_t k = 0; k < got[i].size(); ++k) {
            EXPECT_EQ(got[i][k].other, want[i][k].other);
            EXPECT_EQ(got[i][k].record.signed_position, want[i][k].record.signed_position);
            EXPECT_EQ(got[i][k].record.is_over, want[i][k].record.is_over);
        }
    }
}

Chain random_walk(std::uint64_t seed, int n, double step, Point3 offset) {
    std::uint64_t state = seed;
    auto rnd = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    };
    Chain c{offset};
    for (int i = 0; i < n; ++i) {
        const Point3& p = c.back();
        c.push_back({p.x + step * rnd(), p.y + step * rnd(), p.z + step * rnd()});
    }
    return c;
}

TEST(Crossings, PruningFindsExactlyThePairsOfTheFullSearch) {
    const struct {
        double step;
        Point3 offset;
    } cases[] = {{1.0, {0, 0, 0}}, {1.0, {1e6, -1e6, 3}}, {1e-6, {0, 0, 0}}, {1e3, {5e7, 0, 0}}, {1e-9, {1, 1, 1}}};
    int trial = 0;
    for (const auto& c : cases) {
        for (int k = 0; k < 4; ++k, ++trial) {
            SCOPED_TRACE(trial);
            const Chain walk = random_walk(77 + trial, 200, c.step, c.offset);
            expect_same(find_crossings(walk), all_pairs(walk));
        }
    }
}

TEST(Crossings, NonFiniteSegmentsNeverCross) {
    Chain walk = random_walk(5, 100, 1.0, {0, 0, 0});
    walk[10].x = std::numeric_limits<double>::quiet_NaN();
    walk[20].y = std::numeric_limits<double>::infinity();
    walk[30].z = std::numeric_limits<double>::quiet_NaN();  // height only: may still cross
    expect_same(find_crossings(walk), all_pairs(walk));
}

}  // namespace
}  // namespace skeinlab::crossings_test

namespace skeinlab::crossings_test {
namespace {

TEST(FindCrossings, ACrossingOnAVertexIsReportedAsDropped) {
    // Point 3 lies on segment 0 in projection: segments 2 and 3 meet segment
    // 0 at their ends, which the crossing test rejects.
    const Chain on_vertex{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.5, 0, 1}, {0.5, -1, 1}};
    bool dropped = false;
    const auto rows = find_crossings(on_vertex, &dropped);
    EXPECT_TRUE(dropped);
    for (const auto& row : rows) EXPECT_TRUE(row.empty());
    // Moved off the segment, it is a plain crossing and nothing is dropped.
    const Chain off_vertex{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.5, 0.5, 1}, {0.5, -1, 1}};
    find_crossings(off_vertex, &dropped);
    EXPECT_FALSE(dropped);
    // Neighbouring segments meet at their shared point: not a dropped crossing.
    find_crossings({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, &dropped);
    EXPECT_FALSE(dropped);
}

}  // namespace
}  // namespace skeinlab::crossings_test
