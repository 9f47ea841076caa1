// Big integers: Chinese remaindering of signed values and their text.
#include <gtest/gtest.h>

#include "arithmetic/bigint.hpp"
#include "invariants/alexander.hpp"

namespace skeinlab::bigint_test {
namespace {

using modular::Field;

TEST(BigInteger, ChineseRemainderRecoversSignedValuesAndPrintsThem) {
    const std::uint64_t p = modular::drawn_prime(0), q = modular::drawn_prime(1), r = modular::drawn_prime(2);
    // -(2^130 + 12345): recovered from the residues of three 50-bit primes,
    // not from two.
    BigInteger v{true, BigUnsigned(1)};
    for (int i = 0; i < 130; ++i) v.magnitude.mul_add(2, 0);
    v.magnitude.mul_add(1, 12345);
    EXPECT_EQ(v.decimal(), "-1361129467683753853853498429727072858169");
    ChineseRemainder crt(v.mod(p), p);
    EXPECT_FALSE(crt.add(v.mod(q), q));
    EXPECT_FALSE(crt.add(v.mod(r), r));
    EXPECT_EQ(crt.value().decimal(), v.decimal());
    EXPECT_TRUE(crt.add(v.mod(modular::drawn_prime(3)), modular::drawn_prime(3)));
    EXPECT_FALSE(crt.value().to_i64());

    ChineseRemainder small(Field{p}.from_signed(-7), p);
    EXPECT_EQ(small.value().to_i64(), -7);
    EXPECT_EQ((BigInteger{true, BigUnsigned(std::uint64_t{1} << 63)}.to_i64()), INT64_MIN);
    EXPECT_FALSE((BigInteger{false, BigUnsigned(std::uint64_t{1} << 63)}.to_i64()));
    EXPECT_EQ(BigUnsigned(10000000000000000000ull).decimal(), "10000000000000000000");
    EXPECT_EQ(BigUnsigned().decimal(), "0");
}

}  // namespace
}  // namespace skeinlab::bigint_test
