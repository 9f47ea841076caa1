// hull_ends: the closure points of an open chain.
#include <cmath>

#include "geometry/hull.hpp"

namespace skeinlab {
namespace {

constexpr double kEps = 2.220446049250313e-16;  // 2^-52

struct FacetPlane {
    Point3 normal;  // unit normal
    double offset;  // normal . (first vertex)
};

// The facet nearest to p by |n . p - d|; the first listed wins ties and a NaN
// distance loses to every number.
const FacetPlane& nearest_facet(const std::vector<FacetPlane>& planes, const Point3& p) {
    std::size_t best = 0;
    double best_distance = std::fabs(dot(planes[0].normal, p) - planes[0].offset);
    for (std::size_t i = 1; i < planes.size(); ++i) {
        const double distance = std::fabs(dot(planes[i].normal, p) - planes[i].offset);
        if (distance < best_distance || (std::isnan(best_distance) && !std::isnan(distance))) {
            best = i;
            best_distance = distance;
        }
    }
    return planes[best];
}

// Direction in which an end is pushed out: radial when the end lies on the
// facet's plane (within the tolerance), else towards and through that plane.
Point3 push_direction(const Point3& p, const FacetPlane& facet, const Point3& centre, double hull_tolerance) {
    const double s = dot(facet.normal, p) - facet.offset;
    if (std::fabs(s) < hull_tolerance) return sub(p, centre);
    const double k = -s;
    return {k * facet.normal.x, k * facet.normal.y, k * facet.normal.z};
}

Point3 far_point(const Point3& p, const Point3& v, double reach) {
    const double f = reach / length(v);
    return {p.x + v.x * f, p.y + v.y * f, p.z + v.z * f};
}

}  // namespace

std::optional<std::pair<Point3, Point3>> hull_ends(const std::vector<Point3>& points, double hull_tolerance,
                                                   double hull_scale) {
    const std::size_t n = points.size();
    if (n < 4) return std::nullopt;
    const std::optional<Hull> hull = build_hull(points);
    if (!hull || hull->facets.empty()) return std::nullopt;

    Point3 sum;
    for (const Point3& p : points) {
        sum.x += p.x;
        sum.y += p.y;
        sum.z += p.z;
    }
    const double count = static_cast<double>(n);
    const Point3 centre{sum.x / count, sum.y / count, sum.z / count};
    double radius = 0.0;
    for (const Point3& p : points) {
        const double distance = length(sub(p, centre));
        if (distance > radius) radius = distance;  // NaN distances are passed over
    }
    if (radius <= kEps) return std::nullopt;

    std::vector<FacetPlane> planes;
    planes.reserve(hull->facets.size() / 3);
    for (std::size_t k = 0; k + 2 < hull->facets.size(); k += 3) {
        const Point3& a = hull->vertices[hull->facets[k]];
        const Point3& b = hull->vertices[hull->facets[k + 1]];
        const Point3& c = hull->vertices[hull->facets[k + 2]];
        const Point3 normal = cross(sub(b, a), sub(c, a));
        const double len = length(normal);
        if (len < kEps) continue;  // degenerate facet
        const Point3 unit{normal.x / len, normal.y / len, normal.z / len};
        planes.push_back({unit, dot(unit, a)});
    }
    if (planes.empty()) return std::nullopt;

    const Point3& first = points.front();
    const Point3& last = points.back();
    const Point3 v_head = push_direction(first, nearest_facet(planes, first), centre, hull_tolerance);
    const Point3 v_tail = push_direction(last, nearest_facet(planes, last), centre, hull_tolerance);
    if (length(v_head) <= kEps || length(v_tail) <= kEps) return std::nullopt;
    const double reach = hull_scale * radius;
    return std::make_pair(far_point(first, v_head, reach), far_point(last, v_tail, reach));
}

}  // namespace skeinlab
