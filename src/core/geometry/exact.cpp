#include "geometry/exact.hpp"

#include <cmath>

#include "arithmetic/bigint.hpp"

namespace skeinlab::exact {
namespace {

// Coordinates are taken exactly as integers: every finite double times 2^1074.
struct Vec {
    BigInteger x, y, z;
};

Vec diff(const Point3& p, const Point3& q) {
    return {BigInteger::scaled_double(p.x) - BigInteger::scaled_double(q.x),
            BigInteger::scaled_double(p.y) - BigInteger::scaled_double(q.y),
            BigInteger::scaled_double(p.z) - BigInteger::scaled_double(q.z)};
}

// Sign of u1 * v2 - u2 * v1.
int sign_of_minor(const BigInteger& u1, const BigInteger& v2, const BigInteger& u2, const BigInteger& v1) {
    return (u1 * v2 - u2 * v1).sign();
}

int orient3d_exact(const Point3& a, const Point3& b, const Point3& c, const Point3& d) {
    const Vec ad = diff(a, d), bd = diff(b, d), cd = diff(c, d);
    // ad . (bd x cd)
    const BigInteger sum = ad.x * (bd.y * cd.z - bd.z * cd.y) + ad.y * (bd.z * cd.x - bd.x * cd.z) +
                           ad.z * (bd.x * cd.y - bd.y * cd.x);
    return sum.sign();
}

int orient2d_exact(const Point3& a, const Point3& b, const Point3& c) {
    const BigInteger ax = BigInteger::scaled_double(a.x), ay = BigInteger::scaled_double(a.y);
    const BigInteger bx = BigInteger::scaled_double(b.x) - ax, by = BigInteger::scaled_double(b.y) - ay;
    const BigInteger cx = BigInteger::scaled_double(c.x) - ax, cy = BigInteger::scaled_double(c.y) - ay;
    return sign_of_minor(bx, cy, by, cx);
}

}  // namespace

int orient2d(const Point3& a, const Point3& b, const Point3& c) {
    const double left = (b.x - a.x) * (c.y - a.y);
    const double right = (b.y - a.y) * (c.x - a.x);
    const double det = left - right;
    // Shewchuk's first error bound, (3 + 16 eps) eps, with margin.
    const double bound = 3.4e-16 * (std::fabs(left) + std::fabs(right));
    if (det > bound || -det > bound) return det > 0 ? 1 : -1;
    return orient2d_exact(a, b, c);
}

int orient3d(const Point3& a, const Point3& b, const Point3& c, const Point3& d) {
    const double adx = a.x - d.x, ady = a.y - d.y, adz = a.z - d.z;
    const double bdx = b.x - d.x, bdy = b.y - d.y, bdz = b.z - d.z;
    const double cdx = c.x - d.x, cdy = c.y - d.y, cdz = c.z - d.z;
    const double bdxcdy = bdx * cdy, cdxbdy = cdx * bdy;
    const double cdxady = cdx * ady, adxcdy = adx * cdy;
    const double adxbdy = adx * bdy, bdxady = bdx * ady;
    const double det = adz * (bdxcdy - cdxbdy) + bdz * (cdxady - adxcdy) + cdz * (adxbdy - bdxady);
    const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * std::fabs(adz) +
                             (std::fabs(cdxady) + std::fabs(adxcdy)) * std::fabs(bdz) +
                             (std::fabs(adxbdy) + std::fabs(bdxady)) * std::fabs(cdz);
    // Shewchuk's bound for this evaluation order, (7 + 56 eps) eps.
    constexpr double kEps = 1.1102230246251565e-16;
    constexpr double kBound = (7.0 + 56.0 * kEps) * kEps;
    // Differences of huge values may overflow; tiny ones stay far from
    // underflow because the hull's coordinates are multiples of 2^-52.
    if (std::isfinite(permanent) && std::isfinite(det)) {
        const double bound = kBound * permanent;
        if (det > bound) return 1;
        if (-det > bound) return -1;
    }
    return orient3d_exact(a, b, c, d);
}

bool collinear(const Point3& a, const Point3& b, const Point3& c) {
    const Vec u = diff(b, a), v = diff(c, a);
    // The cross product u x v is zero exactly when all three minors vanish.
    return sign_of_minor(u.y, v.z, u.z, v.y) == 0 && sign_of_minor(u.z, v.x, u.x, v.z) == 0 &&
           sign_of_minor(u.x, v.y, u.y, v.x) == 0;
}

}  // namespace skeinlab::exact
