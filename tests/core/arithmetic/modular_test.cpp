// Modular arithmetic: primality and Montgomery form against plain arithmetic.
#include <gtest/gtest.h>

#include "arithmetic/modular.hpp"
#include "invariants/alexander.hpp"

namespace skeinlab::modular_test {
namespace {

using modular::Field;

TEST(Modular, PrimalityAndMontgomeryAgreeWithPlainArithmetic) {
    EXPECT_TRUE(modular::is_prime(2));
    EXPECT_TRUE(modular::is_prime(4611686018427388039ull));  // 2^62 + 135
    EXPECT_FALSE(modular::is_prime(4611686018427388041ull));
    EXPECT_FALSE(modular::is_prime(3215031751ull));  // a strong pseudoprime to bases 2, 3, 5, 7
    const std::uint64_t p = modular::drawn_prime(0);
    EXPECT_TRUE(modular::is_prime(p));
    EXPECT_GE(p, std::uint64_t{1} << (modular::kPrimeBits - 1));
    EXPECT_LT(p, std::uint64_t{1} << modular::kPrimeBits);
    EXPECT_NE(modular::drawn_prime(1), p);
    const Field f{p};
    const modular::Montgomery m(p);
    modular::Stream s(1);
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t a = s.below(0, p), b = s.below(0, p);
        EXPECT_EQ(m.from(m.mul(m.to(a), m.to(b))), f.mul(a, b));
        if (a) {
            EXPECT_EQ(f.mul(a, f.inv(a)), 1u);
        }
    }
    EXPECT_EQ(f.from_signed(-1), p - 1);
    EXPECT_EQ(f.from_signed(INT64_MIN), p - (std::uint64_t{1} << 63) % p);
}

}  // namespace
}  // namespace skeinlab::modular_test
