#include "geometry/geometry.hpp"

#include <algorithm>
#include <cmath>

namespace skeinlab {

int unit_exponent(const Chain& chain) {
    double lo[3] = {INFINITY, INFINITY, INFINITY};
    double hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (const Point3& p : chain) {
        const double c[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(c[a])) continue;
            lo[a] = std::min(lo[a], c[a]);
            hi[a] = std::max(hi[a], c[a]);
        }
    }
    double extent = 0.0;
    for (int a = 0; a < 3; ++a)
        if (hi[a] >= lo[a]) extent = std::max(extent, hi[a] - lo[a]);
    if (!(extent > 0.0) || !std::isfinite(extent)) return 0;
    if (extent >= kUnitRangeLow && extent < kUnitRangeHigh) return 0;
    int e = 0;
    std::frexp(extent, &e);  // extent in [2^(e-1), 2^e)
    return extent < kUnitRangeLow ? 1 - e : 50 - e;
}

void scale_by_power_of_two(Chain& chain, int k) {
    if (k == 0) return;
    for (Point3& p : chain) p = {std::ldexp(p.x, k), std::ldexp(p.y, k), std::ldexp(p.z, k)};
}

Rotation principal_axes_rotation(const Chain& points) {
    const Rotation identity{{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};
    double n = 0.0;
    Point3 mean{0.0, 0.0, 0.0};
    for (const Point3& p : points) {
        if (is_missing(p)) continue;
        n += 1.0;
        mean = {mean.x + p.x, mean.y + p.y, mean.z + p.z};
    }
    if (n < 3.0) return identity;
    mean = {mean.x / n, mean.y / n, mean.z / n};
    double a[3][3] = {};
    for (const Point3& p : points) {
        if (is_missing(p)) continue;
        const double d[3] = {p.x - mean.x, p.y - mean.y, p.z - mean.z};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) a[i][j] += d[i] * d[j];
    }
    // Cyclic Jacobi: v accumulates the rotations, its columns the eigenvectors.
    double v[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
    for (int sweep = 0; sweep < 64; ++sweep) {
        const double off = std::fabs(a[0][1]) + std::fabs(a[0][2]) + std::fabs(a[1][2]);
        const double diag = std::fabs(a[0][0]) + std::fabs(a[1][1]) + std::fabs(a[2][2]);
        if (!(off > 1e-15 * diag)) break;
        for (int p = 0; p < 2; ++p)
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0.0) continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < 3; ++k) {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
    }
    // Largest spread first, least last (ties keep the lower axis first).
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int i, int j) { return a[i][i] > a[j][j] || (a[i][i] == a[j][j] && i < j); });
    const Point3 e1{v[0][order[0]], v[1][order[0]], v[2][order[0]]};
    const Point3 e3{v[0][order[2]], v[1][order[2]], v[2][order[2]]};
    const Point3 e2 = cross(e3, e1);  // a right-handed frame: a rotation, never a reflection
    if (!(length(e1) > 0.5) || !(length(e2) > 0.5) || !(length(e3) > 0.5)) return identity;
    return Rotation{{e1, e2, e3}};
}

bool judge_triangle(const Point3& p, const Point3& q, const Point3& r, const Plane& plane,
                    const Point3& s, const Point3& t) {
    return judge_triangle(p, q, r, s, t, plane.signed_distance(s), plane.signed_distance(t));
}

ProjectedMeeting projected_meeting(const Point3& p1, const Point3& p2, const Point3& p3, const Point3& p4) {
    ProjectedMeeting m;
    // Each product is its own rounded value; the order is part of the result.
    const double d_a = (p3.y - p4.y) * (p2.x - p1.x);
    const double d_b = (p2.y - p1.y) * (p3.x - p4.x);
    m.den = d_a - d_b;
    if (std::fabs(m.den) < 1e-7) return m;
    m.parallel = false;
    const double s_a = (p3.y - p4.y) * (p3.x - p1.x);
    const double s_b = (p3.y - p1.y) * (p3.x - p4.x);
    m.s = (s_a - s_b) / m.den;
    const double u_a = (p2.x - p1.x) * (p3.y - p1.y);
    const double u_b = (p3.x - p1.x) * (p2.y - p1.y);
    m.u = (u_a - u_b) / m.den;
    return m;
}

Intersection intersect_projected(const Point3& p1, const Point3& p2, const Point3& p3, const Point3& p4) {
    Intersection rec;
    const ProjectedMeeting m = projected_meeting(p1, p2, p3, p4);
    if (m.parallel) return rec;
    const double den = m.den, s = m.s, u = m.u;
    if (!(1e-7 < s && s < 0.9999999 && 1e-7 < u && u < 0.9999999)) return rec;
    const double zi = p1.z + s * (p2.z - p1.z);
    const double zj = p3.z + u * (p4.z - p3.z);
    rec.is_over = zi > zj;
    rec.signed_position = rec.is_over == (den > 0.0) ? s : -s;
    rec.other_position = u;
    rec.crosses = true;
    return rec;
}

std::size_t drop_missing_points(Chain& chain) {
    const std::size_t before = chain.size();
    chain.erase(std::remove_if(chain.begin(), chain.end(), is_missing), chain.end());
    return before - chain.size();
}

const std::array<Rotation, 8>& fallback_turns() {
    static const std::array<Rotation, 8> turns = [] {
        static constexpr double kTurns[8][3] = {
            {0.31, 0.17, 0.53}, {-0.47, 0.29, 0.11}, {0.23, -0.61, 0.37}, {0.71, 0.43, -0.19},
            {-0.13, -0.37, -0.67}, {0.59, -0.07, 0.83}, {-0.89, 0.53, 0.27}, {0.41, 0.97, -0.59},
        };
        std::array<Rotation, 8> out;
        for (std::size_t k = 0; k < 8; ++k) {
            const double a = kTurns[k][0], b = kTurns[k][1], c = kTurns[k][2];
            const double n = std::sqrt(1.0 + a * a + b * b + c * c);
            out[k] = quaternion_rotation(1.0 / n, a / n, b / n, c / n);
        }
        return out;
    }();
    return turns;
}

}  // namespace skeinlab
