#include "exact.hpp"

#include <cmath>
#include <gmp.h>

namespace skeinlab::exact {
namespace {

// An mpz_t with scope-bound lifetime.
class BigInt {
public:
    BigInt() { mpz_init(v_); }
    ~BigInt() { mpz_clear(v_); }
    BigInt(const BigInt&) = delete;
    BigInt& operator=(const BigInt&) = delete;
    mpz_ptr get() { return v_; }

private:
    mpz_t v_;
};

// The exact value of a finite double times 2^1074, an integer for every double.
void set_scaled(mpz_ptr out, double x) {
    int e = 0;
    const double m = std::frexp(x, &e);  // x = m * 2^e, 0.5 <= |m| < 1
    mpz_set_d(out, std::ldexp(m, 53));   // exact 53-bit integer
    const long shift = static_cast<long>(e) - 53 + 1074;  // >= 0 for every double
    mpz_mul_2exp(out, out, static_cast<mp_bitcnt_t>(shift));
}

struct Vec {
    BigInt x, y, z;
};

void set_diff(Vec& out, const Point3& p, const Point3& q) {
    BigInt t;
    set_scaled(out.x.get(), p.x);
    set_scaled(t.get(), q.x);
    mpz_sub(out.x.get(), out.x.get(), t.get());
    set_scaled(out.y.get(), p.y);
    set_scaled(t.get(), q.y);
    mpz_sub(out.y.get(), out.y.get(), t.get());
    set_scaled(out.z.get(), p.z);
    set_scaled(t.get(), q.z);
    mpz_sub(out.z.get(), out.z.get(), t.get());
}

// Sign of u1 * v2 - u2 * v1.
int sign_of_minor(mpz_ptr u1, mpz_ptr v2, mpz_ptr u2, mpz_ptr v1) {
    BigInt a, b;
    mpz_mul(a.get(), u1, v2);
    mpz_mul(b.get(), u2, v1);
    return mpz_cmp(a.get(), b.get()) > 0 ? 1 : (mpz_cmp(a.get(), b.get()) < 0 ? -1 : 0);
}

int orient3d_exact(const Point3& a, const Point3& b, const Point3& c, const Point3& d) {
    Vec ad, bd, cd;
    set_diff(ad, a, d);
    set_diff(bd, b, d);
    set_diff(cd, c, d);
    BigInt m, t, sum;
    // ad . (bd x cd)
    mpz_mul(m.get(), bd.y.get(), cd.z.get());
    mpz_mul(t.get(), bd.z.get(), cd.y.get());
    mpz_sub(m.get(), m.get(), t.get());
    mpz_mul(sum.get(), ad.x.get(), m.get());
    mpz_mul(m.get(), bd.z.get(), cd.x.get());
    mpz_mul(t.get(), bd.x.get(), cd.z.get());
    mpz_sub(m.get(), m.get(), t.get());
    mpz_addmul(sum.get(), ad.y.get(), m.get());
    mpz_mul(m.get(), bd.x.get(), cd.y.get());
    mpz_mul(t.get(), bd.y.get(), cd.x.get());
    mpz_sub(m.get(), m.get(), t.get());
    mpz_addmul(sum.get(), ad.z.get(), m.get());
    return mpz_sgn(sum.get());
}

}  // namespace

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
    Vec u, v;
    set_diff(u, b, a);
    set_diff(v, c, a);
    // The cross product u x v is zero exactly when all three minors vanish.
    return sign_of_minor(u.y.get(), v.z.get(), u.z.get(), v.y.get()) == 0 &&
           sign_of_minor(u.z.get(), v.x.get(), u.x.get(), v.z.get()) == 0 &&
           sign_of_minor(u.x.get(), v.y.get(), u.y.get(), v.x.get()) == 0;
}

}  // namespace skeinlab::exact
