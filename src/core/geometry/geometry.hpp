// Points, chains and the two geometric tests the knot machinery rests on: the
// segment-triangle test of KMT reduction and the crossing record of a pair of
// projected segments.
#pragma once

#include <array>
#include <cmath>
#include <vector>

namespace skeinlab {

struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    friend bool operator==(const Point3&, const Point3&) = default;
};

// One conformation: segment i joins point i to point i + 1.
using Chain = std::vector<Point3>;
// Frames of a trajectory; frames may differ in length.
using FrameSet = std::vector<Chain>;

// Vector helpers in the textbook order of operations (no fused multiply-add:
// the build uses -ffp-contract=off, so each product is rounded on its own).
inline Point3 sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Point3 cross(const Point3& a, const Point3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double length(const Point3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// A rotation matrix, applied as rows[i] . p.
struct Rotation {
    Point3 rows[3];
    Point3 apply(const Point3& p) const { return {dot(rows[0], p), dot(rows[1], p), dot(rows[2], p)}; }
};

// The rotation of the unit quaternion w + x i + y j + z k.
inline Rotation quaternion_rotation(double w, double x, double y, double z) {
    return {{{w * w + x * x - y * y - z * z, 2.0 * (x * y - w * z), 2.0 * (x * z + w * y)},
             {2.0 * (x * y + w * z), w * w - x * x + y * y - z * z, 2.0 * (y * z - w * x)},
             {2.0 * (x * z - w * y), 2.0 * (y * z + w * x), w * w - x * x - y * y + z * z}}};
}

// A rotation taking the principal axes of the points (missing ones left out)
// to the coordinate axes, the axis of least spread to z: the projection along
// z is then the one along which the points lie flattest (a closed braid's
// axis). Eigenvectors by cyclic Jacobi rotations of the covariance matrix, a
// fixed sequence of operations; the identity for fewer than three points.
Rotation principal_axes_rotation(const Chain& points);

// The eight fixed turns after which typing projects a chain along z when the
// first projections give no knot diagram, in the order they are tried: the
// unit quaternions (1, a, b, c) / |(1, a, b, c)| of eight fixed (a, b, c).
const std::array<Rotation, 8>& fallback_turns();

// The plane a*x + b*y + c*z + d = 0 with (a, b, c) a unit normal.
struct Plane {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double d = 0.0;
    double signed_distance(const Point3& p) const { return a * p.x + b * p.y + c * p.z + d; }
};

// The plane of triangle (prev, cur, next) from its normal N = (cur - prev) x
// (next - prev) and its length |N|, anchored at prev.
inline Plane triangle_plane(const Point3& prev, const Point3& normal, double normal_length) {
    Plane plane;
    plane.a = normal.x / normal_length;
    plane.b = normal.y / normal_length;
    plane.c = normal.z / normal_length;
    plane.d = -(plane.a * prev.x + plane.b * prev.y + plane.c * prev.z);
    return plane;
}

// The chain's extent is the largest range of its finite coordinates along one
// axis. The fixed distance tolerances of KMT, the crossing search and the
// closure are meant for extents in [kUnitRangeLow, kUnitRangeHigh): chains
// outside it are typed scaled by a power of two into it.
inline constexpr double kUnitRangeLow = 1.0;
inline constexpr double kUnitRangeHigh = 1125899906842624.0;  // 2^50

// The k such that the chain times 2^k has its extent in the unit range: 0 for
// a chain already in it, without finite extent, or of extent 0.
int unit_exponent(const Chain& chain);

// Multiplies every coordinate by 2^k: exact (only the exponents change)
// unless a result leaves the range of normal doubles.
void scale_by_power_of_two(Chain& chain, int k);

// A point with a non-finite coordinate (NaN, as padding and missing data are
// written, or an infinity) is a missing point: chains are reduced and typed
// as the chain of their other points, in order, each joined to the next.
inline bool is_missing(const Point3& p) { return !(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)); }

// Removes the missing points, keeping the others in order; returns how many
// it removed.
std::size_t drop_missing_points(Chain& chain);

// Tolerance of the KMT test, absolute, in coordinate units.
inline constexpr double kKmtEpsilon = 1e-7;

// True when segment s-t blocks the removal of the apex q of triangle (p, q, r):
// it meets the triangle, or it lies within 1e-7 of the triangle's plane
// (anywhere in that plane). A segment that shares the vertex p or r with the
// triangle (the chain's segments next to it: t = p or s = r) blocks only by
// piercing the interior: it touches the triangle at that vertex. Any other
// segment that touches the triangle (through an edge or a vertex, or ending on
// it, within 1e-9 of its barycentric coordinates) blocks too: removing the apex
// would make the chain pass through that segment, and a chain through itself
// has no knot type (its projections give different knots). Any NaN makes the
// segment block.
bool judge_triangle(const Point3& p, const Point3& q, const Point3& r, const Plane& plane,
                    const Point3& s, const Point3& t);

// judge_triangle, given ds = plane.signed_distance(s) and dt =
// plane.signed_distance(t) (callers that test consecutive segments compute
// each point's distance once).
inline bool judge_triangle(const Point3& p, const Point3& q, const Point3& r, const Point3& s, const Point3& t,
                           double ds, double dt) {
    // Same side of the plane. The product is compared with the tolerance, not 0.
    if (ds * dt > kKmtEpsilon) return false;
    // Both ends in the plane: blocks wherever in the plane the segment lies.
    if (std::fabs(ds) < kKmtEpsilon && std::fabs(dt) < kKmtEpsilon) return true;

    // Moller-Trumbore with the segment as a ray from s; each quotient is a
    // division by A (not a product with its reciprocal) so rounding is fixed.
    const Point3 dir = sub(t, s);
    const Point3 e1 = sub(q, p);
    const Point3 e2 = sub(r, p);
    const Point3 h = cross(dir, e2);
    const double a = dot(e1, h);
    if (std::fabs(a) < kKmtEpsilon) return false;
    const Point3 sp = sub(s, p);
    const double u = dot(sp, h) / a;
    const Point3 qv = cross(sp, e1);
    const double v = dot(dir, qv) / a;
    const double w = dot(e2, qv) / a;
    // Written as rejections so that NaN, failing every comparison, blocks.
    const bool adjacent = (t.x == p.x && t.y == p.y && t.z == p.z) || (s.x == r.x && s.y == r.y && s.z == r.z);
    if (adjacent) {
        if (u <= 0.0 || v <= 0.0 || u + v >= 1.0 || w <= 0.0 || w >= 1.0) return false;
        return true;
    }
    constexpr double kTouch = 1e-9;
    if (u < -kTouch || v < -kTouch || u + v > 1.0 + kTouch || w < -kTouch || w > 1.0 + kTouch) return false;
    return true;
}

// A cautious judge_triangle for moves among several chains, where a segment
// of another chain may touch the triangle anywhere: segment s-t blocks unless
// it is clearly on one side of the plane (both ends farther than `tolerance`)
// or clearly misses the triangle (its crossing with the plane outside the
// triangle by more than `margin` of the triangle's barycentric coordinates,
// or beyond its own ends by as much). Touching, ending on the triangle, lying
// within the tolerance of its plane or nearly parallel to it all block.
inline bool judge_triangle_cautious(const Point3& p, const Point3& q, const Point3& r, const Point3& s,
                                    const Point3& t, double ds, double dt, double tolerance, double margin) {
    if ((ds > tolerance && dt > tolerance) || (ds < -tolerance && dt < -tolerance)) return false;
    // Within the tolerance of the plane at both ends: in it, wherever.
    if (std::fabs(ds) <= tolerance && std::fabs(dt) <= tolerance) return true;
    const Point3 dir = sub(t, s);
    const Point3 e1 = sub(q, p);
    const Point3 e2 = sub(r, p);
    const Point3 h = cross(dir, e2);
    const double a = dot(e1, h);
    // Nearly parallel to the plane: where it meets the plane is not known well.
    if (!(std::fabs(a) > 1e-9 * length(dir) * length(e1) * length(e2))) return true;
    const Point3 sp = sub(s, p);
    const double u = dot(sp, h) / a;
    const Point3 qv = cross(sp, e1);
    const double v = dot(dir, qv) / a;
    const double w = dot(e2, qv) / a;
    // Written as rejections so that NaN, failing every comparison, blocks.
    if (u < -margin || v < -margin || u + v > 1.0 + margin || w < -margin || w > 1.0 + margin) return false;
    return true;
}

// The record of one ordered pair of projected segments (row segment against
// column segment). Default: no crossing.
struct Intersection {
    // Fraction along the row segment, times the crossing sign (+1 or -1).
    double signed_position = 0.0;
    // Fraction along the column segment.
    double other_position = 0.0;
    // The row segment is strictly higher than the column segment at the crossing.
    bool is_over = false;
    // The projections cross.
    bool crosses = false;
};

// The crossing record of segment P1-P2 (row) against P3-P4 (column), in the
// plane of the first two coordinates with the third as height.
Intersection intersect_projected(const Point3& p1, const Point3& p2, const Point3& p3, const Point3& p4);

// Where the lines of two projected segments meet, as intersect_projected
// computes it: the denominator D, and the fractions s along P1-P2 and u along
// P3-P4 (left at 0 when |D| < 1e-7, the pair then being parallel).
struct ProjectedMeeting {
    double den = 0.0, s = 0.0, u = 0.0;
    bool parallel = true;
};
ProjectedMeeting projected_meeting(const Point3& p1, const Point3& p2, const Point3& p3, const Point3& p4);

}  // namespace skeinlab
