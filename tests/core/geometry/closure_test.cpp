#include <gtest/gtest.h>

#include <cmath>

#include "geometry/hull.hpp"

namespace skeinlab::closure_test {
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
}  // namespace skeinlab::closure_test

namespace skeinlab::closure_test {
namespace {

TEST(HullEnds, EqualFacetDistancesGoToTheFirstListed) {
    // Inside a unit cube, equally far (0.1) from the faces y = 1 and z = 1.
    const std::vector<Point3> pts{{0.5, 0.9, 0.9}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                  {0, 0, 1},       {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    const auto hull = build_hull(pts);
    ASSERT_TRUE(hull);
    // The first facet in hull order that lies on y = 1 or z = 1 decides the direction.
    Point3 expected_direction;
    for (std::size_t k = 0; k < hull->facets.size(); k += 3) {
        const Point3& a = hull->vertices[hull->facets[k]];
        const Point3& b = hull->vertices[hull->facets[k + 1]];
        const Point3& c = hull->vertices[hull->facets[k + 2]];
        if (a.y == 1 && b.y == 1 && c.y == 1) {
            expected_direction = {0, 1, 0};
            break;
        }
        if (a.z == 1 && b.z == 1 && c.z == 1) {
            expected_direction = {0, 0, 1};
            break;
        }
    }
    const auto ends = hull_ends(pts, kTol, kScale);
    ASSERT_TRUE(ends);
    const Point3 moved = sub(ends->first, pts[0]);
    EXPECT_NEAR(moved.x, 0.0, 1e-9);
    EXPECT_GT(dot(moved, expected_direction), 0.0);
    EXPECT_NEAR(length(moved), std::fabs(dot(moved, expected_direction)), 1e-9);
}

}  // namespace
}  // namespace skeinlab::closure_test
