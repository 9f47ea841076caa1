#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "geometry/exact.hpp"
#include "geometry/hull.hpp"

namespace skeinlab::hull_test {
namespace {

// Independent checks of a hull: every facet is a real triangle, every input
// point lies on the inner side of (or on) every facet plane, every facet
// edge is shared with exactly one other facet traversed the other way (the
// surface closes up), and every extreme point of the input is a vertex.
void expect_valid_hull(const std::vector<Point3>& input, const Hull& hull) {
    ASSERT_EQ(hull.vertices.size(), input.size());
    ASSERT_EQ(hull.facets.size() % 3, 0u);
    ASSERT_GE(hull.facets.size(), 12u);
    std::map<std::pair<std::size_t, std::size_t>, int> edges;
    std::vector<bool> used(input.size(), false);
    for (std::size_t f = 0; f < hull.facets.size(); f += 3) {
        const std::size_t a = hull.facets[f], b = hull.facets[f + 1], c = hull.facets[f + 2];
        ASSERT_LT(std::max({a, b, c}), input.size());
        ASSERT_FALSE(exact::collinear(hull.vertices[a], hull.vertices[b], hull.vertices[c]));
        used[a] = used[b] = used[c] = true;
        ++edges[{a, b}];
        ++edges[{b, c}];
        ++edges[{c, a}];
        int side = 0;
        for (const Point3& p : hull.vertices) {
            const int o = exact::orient3d(hull.vertices[a], hull.vertices[b], hull.vertices[c], p);
            if (o == 0) continue;
            if (side == 0) side = o;
            ASSERT_EQ(o, side) << "a point lies outside facet " << f / 3;
        }
    }
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(edges.count({edge.second, edge.first}), 1u);
    }
    // The input points with the largest and smallest coordinate sums are extreme.
    std::size_t hi = 0, lo = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const Point3& v = hull.vertices[i];
        const double s = v.x + 2 * v.y + 3 * v.z;
        if (s > hull.vertices[hi].x + 2 * hull.vertices[hi].y + 3 * hull.vertices[hi].z) hi = i;
        if (s < hull.vertices[lo].x + 2 * hull.vertices[lo].y + 3 * hull.vertices[lo].z) lo = i;
    }
    EXPECT_TRUE(used[hi]);
    EXPECT_TRUE(used[lo]);
}

std::vector<Point3> random_cloud(std::uint64_t seed, int n, double scale, double flatten = 1.0) {
    std::uint64_t state = seed;
    auto rnd = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    };
    std::vector<Point3> pts;
    for (int i = 0; i < n; ++i) pts.push_back({scale * rnd(), scale * rnd(), scale * flatten * rnd()});
    return pts;
}

TEST(Hull, Tetrahedron) {
    const std::vector<Point3> pts{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const auto hull = build_hull(pts);
    ASSERT_TRUE(hull);
    EXPECT_EQ(hull->facets.size(), 12u);
    expect_valid_hull(pts, *hull);
}

TEST(Hull, DegenerateInputsFail) {
    const std::vector<std::vector<Point3>> cases{
        {},
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0.5, 0.3, 0}},  // one plane
        {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {-1, -1, -1}},   // one line
        {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}},                 // one point
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 5e-17}},             // truncated onto z = 0
    };
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_FALSE(build_hull(cases[i])) << "case " << i;
}

TEST(Hull, NearlyCoplanarPointStillGivesHull) {
    std::vector<Point3> pts{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0.5, 0.5, 0}};
    pts[4].z = 1e-15;
    const auto hull = build_hull(pts);
    ASSERT_TRUE(hull);
    expect_valid_hull(pts, *hull);
}

TEST(Hull, NonFiniteCoordinatesFailCleanly) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(build_hull({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, inf}}));
    EXPECT_FALSE(build_hull({{0, 0, 0}, {1, 0, 0}, {0, nan, 0}, {0, 0, 1}}));
}

TEST(Hull, DegenerateButSpanningClouds) {
    struct Case {
        const char* what;
        std::vector<Point3> pts;
    };
    std::vector<Case> cases;
    // A cube grid of powers of two: many points exactly on faces and edges.
    std::vector<Point3> grid;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            for (int k = 0; k < 5; ++k) grid.push_back({std::ldexp(1.0, i), std::ldexp(1.0, j), std::ldexp(1.0, k)});
    cases.push_back({"power-of-two grid", grid});
    // Duplicates and a collinear run before the first non-collinear point.
    std::vector<Point3> dup{{0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0},
                            {0, 0, 1}, {0, 0, 1}, {0.25, 0.25, 0.25}};
    cases.push_back({"duplicates and collinear run", dup});
    // Many coplanar points on one face of a box.
    std::vector<Point3> face = random_cloud(7, 200, 1.0);
    for (Point3& p : face)
        if (p.z < 0) p.z = -0.5;
    cases.push_back({"coplanar face", face});
    cases.push_back({"nearly flat cloud", random_cloud(11, 300, 1.0, 1e-12)});
    cases.push_back({"huge coordinates", random_cloud(13, 200, 1e300)});
    cases.push_back({"tiny coordinates", random_cloud(17, 200, 1e-10)});
    std::vector<Point3> sphere;
    for (int i = 0; i < 400; ++i) {
        const double t = 0.1 * i, u = std::acos(1.0 - 2.0 * (i + 0.5) / 400);
        sphere.push_back({std::sin(u) * std::cos(t), std::sin(u) * std::sin(t), std::cos(u)});
    }
    cases.push_back({"points on a sphere", sphere});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto hull = build_hull(c.pts);
        ASSERT_TRUE(hull);
        expect_valid_hull(c.pts, *hull);
    }
}

TEST(Hull, TruncatesToTheGrid) {
    const std::vector<Point3> pts{{0.1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1e300}};
    const auto hull = build_hull(pts);
    ASSERT_TRUE(hull);
    EXPECT_EQ(hull->vertices[0].x, std::trunc(0.1 * 0x1p52) * 0x1p-52);
    EXPECT_EQ(hull->vertices[3].z, 1e300);
}

}  // namespace
}  // namespace skeinlab::hull_test
