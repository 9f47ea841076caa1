// Interpolation over a prime field: Newton's coefficients vanish exactly when
// the points so far determine the polynomial, the monomial form is the
// polynomial itself, and the Laurent coefficients of q(x + 1/x) are symmetric.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "arithmetic/interpolation.hpp"
#include "arithmetic/modular.hpp"

namespace skeinlab::interpolation_test {
namespace {

using modular::Field;

std::uint64_t value_at(const Field& f, const std::vector<std::uint64_t>& coeffs, std::uint64_t x) {
    std::uint64_t v = 0;
    for (auto it = coeffs.rbegin(); it != coeffs.rend(); ++it) v = f.add(f.mul(v, x), *it);
    return v;
}

TEST(Interpolation, NewtonFindsThePolynomialAndSaysWhenItIsDetermined) {
    const Field f{modular::drawn_prime(1)};
    const std::vector<std::uint64_t> coeffs = {5, f.p - 3, 0, 17, 1};  // degree 4
    NewtonInterpolation newton(f);
    std::vector<std::uint64_t> added;
    for (std::uint64_t x = 2; x < 9; ++x) added.push_back(newton.add(x, value_at(f, coeffs, x)));
    for (std::size_t k = 0; k < 5; ++k) EXPECT_NE(added[k], 0u) << k;
    EXPECT_EQ(added[5], 0u);
    EXPECT_EQ(added[6], 0u);
    EXPECT_TRUE(newton.has_node(5));
    EXPECT_FALSE(newton.has_node(9));
    std::vector<std::uint64_t> monomial = newton.monomial(5);
    EXPECT_EQ(monomial, coeffs);
}

TEST(Interpolation, LaurentCoefficientsOfASymmetricPolynomial) {
    const Field f{modular::drawn_prime(2)};
    // q(y) = y^2 - 3 gives (x + 1/x)^2 - 3 = x^-2 - 1 + x^2.
    const std::vector<std::uint64_t> q = {f.p - 3, 0, 1};
    EXPECT_EQ(laurent_of_symmetric(f, q), (std::vector<std::uint64_t>{1, 0, f.p - 1, 0, 1}));
}

}  // namespace
}  // namespace skeinlab::interpolation_test
