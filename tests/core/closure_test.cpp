#include <gtest/gtest.h>

#include <cmath>

#include "hull.hpp"

namespace skeinlab {
namespace {

constexpr double kTol = 0.005;
constexpr double kScale = 100.0;

double distance(const Point3& a, const Point3& b) { return length(sub(a, b)); }

TEST(HullEnds, TooFewOrFlatPointsGiveNothing) {
    EXPECT_FALSE(hull_ends({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, kTol, kScale));
    EXPECT_FALSE(hull_ends({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 3, 0}}, kTol, kScale));
}

TEST(HullEnds, TetrahedronEndsArePushedRadially) {
    const std::vector<Point3> pts{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const auto ends = hull_ends(pts, kTol, kScale);
    ASSERT_TRUE(ends);
    const Point3 c{0.25, 0.25, 0.25};
    double radius = 0;
    for (const Point3& p : pts) radius = std::max(radius, distance(p, c));
    // The first point is a hull vertex: its head lies on the ray from the centre.
    const Point3 dir = sub(pts[0], c);
    const double f = kScale * radius / length(dir);
    EXPECT_NEAR(ends->first.x, pts[0].x + dir.x * f, 1e-9);
    EXPECT_NEAR(ends->first.y, pts[0].y + dir.y * f, 1e-9);
    EXPECT_NEAR(distance(ends->first, pts[0]), kScale * radius, 1e-9);
    EXPECT_NEAR(distance(ends->second, pts[3]), kScale * radius, 1e-9);
}

TEST(HullEnds, InnerEndGoesThroughNearestFacet) {
    // A box with the first point inside, nearest to the face x = 1.
    const std::vector<Point3> pts{{0.9, 0.5, 0.5}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                  {0, 0, 1},       {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    const auto ends = hull_ends(pts, kTol, kScale);
    ASSERT_TRUE(ends);
    EXPECT_NEAR(ends->first.y, 0.5, 1e-9);
    EXPECT_NEAR(ends->first.z, 0.5, 1e-9);
    EXPECT_GT(ends->first.x, 1.0);
    double radius = 0;
    for (const Point3& p : pts) radius = std::max(radius, distance(p, {0.9 / 9 + 4.0 / 9, 0.5 / 9 + 4.0 / 9, 0.5 / 9 + 4.0 / 9}));
    EXPECT_NEAR(distance(ends->first, pts[0]), kScale * radius, 1e-6);
}

TEST(HullEnds, EndAtTheCentreUsesTheNormal) {
    // Symmetric octahedron plus its centre as the first point: the centre lies
    // farther than the tolerance from every facet, so the normal direction applies.
    const std::vector<Point3> pts{{0, 0, 0}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const auto ends = hull_ends(pts, kTol, kScale);
    ASSERT_TRUE(ends);
    EXPECT_NEAR(length(ends->first), kScale * 1.0, 1e-9);
}

TEST(HullEnds, NonFiniteInputGivesNothing) {
    const double nan = std::nan("");
    EXPECT_FALSE(hull_ends({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {nan, 0, 0}}, kTol, kScale));
}

}  // namespace
}  // namespace skeinlab
