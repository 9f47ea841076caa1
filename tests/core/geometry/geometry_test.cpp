#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/geometry.hpp"

namespace skeinlab::geometry_test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Triangle (0,0,0), (1,0,0), (0,1,0) in the plane z = 0.
struct Triangle {
    Point3 p{0, 0, 0}, q{1, 0, 0}, r{0, 1, 0};
    Plane plane() const {
        const Point3 n = cross(sub(q, p), sub(r, p));
        return triangle_plane(p, n, length(n));
    }
    bool blocks(Point3 s, Point3 t) const { return judge_triangle(p, q, r, plane(), s, t); }
};

TEST(JudgeTriangle, Cases) {
    const Triangle tri;
    struct Case {
        const char* what;
        Point3 s, t;
        bool blocks;
    };
    const Case cases[] = {
        {"pierces the interior", {0.2, 0.2, -1}, {0.2, 0.2, 1}, true},
        {"misses beside the triangle", {2, 2, -1}, {2, 2, 1}, false},
        {"same side", {0.2, 0.2, 0.5}, {0.2, 0.2, 1}, false},
        {"coplanar far away", {10, 10, 0}, {11, 10, 0}, true},
        {"within 1e-7 of the plane", {10, 10, 5e-8}, {11, 10, -5e-8}, true},
        // Touching blocks: removing the apex would pass the chain through the segment.
        {"through an edge", {0.5, 0, -1}, {0.5, 0, 1}, true},
        {"through the edge that removing the apex draws", {0.5, 0.5, -1}, {0.5, 0.5, 1}, true},
        {"through a vertex", {0, 0, -1}, {0, 0, 1}, true},
        {"ends on the triangle", {0.2, 0.2, 0}, {0.2, 0.2, 1}, true},
        {"just beside an edge", {0.5, -1e-6, -1}, {0.5, -1e-6, 1}, false},
        // The chain's segments next to the triangle touch it at their shared vertex only.
        {"ends at p (the segment before the triangle)", {-0.3, 0.1, -1}, {0, 0, 0}, false},
        {"starts at r (the segment after it)", {0, 1, 0}, {0.3, 1.2, 1}, false},
        {"ends at p and pierces nothing else", {0.2, 0.2, 1}, {0, 0, 0}, false},
        {"side product just above tolerance", {0.2, 0.2, 1e-3}, {0.2, 0.2, 2e-4}, false},
        {"side product within tolerance", {0.2, 0.2, 1e-4}, {0.2, 0.2, 1e-4}, false},
        {"NaN segment", {kNaN, 0.2, -1}, {0.2, 0.2, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tri.blocks(c.s, c.t), c.blocks);
    }
}

TEST(IntersectProjected, CrossingSignAndHeights) {
    // Row segment along x at height 1 over the column segment along y at height 0.
    const Intersection over = intersect_projected({-1, 0, 1}, {1, 0, 1}, {0, -1, 0}, {0, 1, 0});
    EXPECT_TRUE(over.crosses);
    EXPECT_TRUE(over.is_over);
    EXPECT_DOUBLE_EQ(std::fabs(over.signed_position), 0.5);
    const Intersection under = intersect_projected({0, -1, 0}, {0, 1, 0}, {-1, 0, 1}, {1, 0, 1});
    EXPECT_TRUE(under.crosses);
    EXPECT_FALSE(under.is_over);
    // Both records of one crossing carry the same sign.
    EXPECT_EQ(over.signed_position > 0, under.signed_position > 0);
}

TEST(IntersectProjected, NonCrossings) {
    EXPECT_FALSE(intersect_projected({0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}).crosses);      // shared vertex
    EXPECT_FALSE(intersect_projected({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 1}).crosses);      // parallel
    EXPECT_FALSE(intersect_projected({0, 0, 0}, {1, 0, 0}, {0.5, 0, 1}, {0.5, 1, 1}).crosses);  // at an end of u
    EXPECT_FALSE(intersect_projected({0, 0, 0}, {1, 0, 0}, {kNaN, -1, 1}, {0.5, 1, 1}).crosses);
    // Equal heights: neither record is over.
    const Intersection flat = intersect_projected({-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0});
    EXPECT_TRUE(flat.crosses);
    EXPECT_FALSE(flat.is_over);
}

}  // namespace
}  // namespace skeinlab::geometry_test
