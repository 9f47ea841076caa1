// The exact orientation predicates on inputs that the floating-point filter
// cannot decide: exactly coplanar and collinear points, and points one unit
// off, at every scale from subnormal to near-overflow coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/exact.hpp"

namespace skeinlab::exact_test {
namespace {

__extension__ typedef __int128 i128;

struct IntPoint {
    std::int64_t x, y, z;
};

int reference_orient(const IntPoint& a, const IntPoint& b, const IntPoint& c, const IntPoint& d) {
    const i128 adx = a.x - d.x, ady = a.y - d.y, adz = a.z - d.z;
    const i128 bdx = b.x - d.x, bdy = b.y - d.y, bdz = b.z - d.z;
    const i128 cdx = c.x - d.x, cdy = c.y - d.y, cdz = c.z - d.z;
    const i128 det = adx * (bdy * cdz - bdz * cdy) + ady * (bdz * cdx - bdx * cdz) + adz * (bdx * cdy - bdy * cdx);
    return det > 0 ? 1 : (det < 0 ? -1 : 0);
}

Point3 scaled(const IntPoint& p, int exponent) {
    return {std::ldexp(double(p.x), exponent), std::ldexp(double(p.y), exponent), std::ldexp(double(p.z), exponent)};
}

TEST(ExactPredicates, DecideCoplanarAndNearlyCoplanarPointsAtEveryScale) {
    std::mt19937_64 rng(17);
    auto coordinate = [&rng] { return static_cast<std::int64_t>(rng() % (1u << 20)) - (1 << 19); };
    std::size_t zeros = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const IntPoint a{coordinate(), coordinate(), coordinate()};
        const IntPoint b{coordinate(), coordinate(), coordinate()};
        const IntPoint c{coordinate(), coordinate(), coordinate()};
        // d = a + s (b - a) + t (c - a): exactly coplanar, then nudged by one unit.
        const std::int64_t s = static_cast<std::int64_t>(rng() % 7) - 3, t = static_cast<std::int64_t>(rng() % 7) - 3;
        IntPoint d{a.x + s * (b.x - a.x) + t * (c.x - a.x), a.y + s * (b.y - a.y) + t * (c.y - a.y),
                   a.z + s * (b.z - a.z) + t * (c.z - a.z)};
        if (trial % 3 == 1) d.z += 1;
        if (trial % 3 == 2) d.x -= 1;
        const int expected = reference_orient(a, b, c, d);
        zeros += expected == 0;
        for (const int exponent : {-1070, -600, 0, 700, 950}) {
            EXPECT_EQ(exact::orient3d(scaled(a, exponent), scaled(b, exponent), scaled(c, exponent),
                                      scaled(d, exponent)),
                      expected)
                << "trial " << trial << " scale 2^" << exponent;
        }
    }
    EXPECT_GE(zeros, 90u);
}

TEST(ExactPredicates, CollinearIsExact) {
    std::mt19937_64 rng(23);
    for (int trial = 0; trial < 200; ++trial) {
        const IntPoint a{static_cast<std::int64_t>(rng() % 2001) - 1000, static_cast<std::int64_t>(rng() % 2001) - 1000,
                         static_cast<std::int64_t>(rng() % 2001) - 1000};
        const IntPoint step{static_cast<std::int64_t>(rng() % 201) - 100, static_cast<std::int64_t>(rng() % 201) - 100,
                            static_cast<std::int64_t>(rng() % 201) - 100};
        const std::int64_t k = static_cast<std::int64_t>(rng() % 9) - 4;
        const IntPoint b{a.x + step.x, a.y + step.y, a.z + step.z};
        IntPoint c{a.x + k * step.x, a.y + k * step.y, a.z + k * step.z};
        const bool off = trial % 2 == 1 && (step.x || step.y || step.z);
        if (off) c.y += 1;
        const bool expected = !off || (step.x == 0 && step.z == 0);
        for (const int exponent : {-1070, 0, 960})
            EXPECT_EQ(exact::collinear(scaled(a, exponent), scaled(b, exponent), scaled(c, exponent)), expected)
                << "trial " << trial << " scale 2^" << exponent;
    }
    // Values whose differences are not representable in double.
    EXPECT_TRUE(exact::collinear({0.1, 0.2, 0.3}, {0.1, 0.2, 0.3}, {1e300, -1e300, 5e-324}));
    EXPECT_TRUE(exact::collinear({0.0, 0.0, 0.0}, {0.1, 0.1, 0.1}, {0.3, 0.3, 0.3}));
    EXPECT_FALSE(exact::collinear({0.1, 0.2, 0.3}, {0.2, 0.4, 0.6}, {0.3, 0.6, 0.9000000000000001}));
}

}  // namespace
}  // namespace skeinlab::exact_test
