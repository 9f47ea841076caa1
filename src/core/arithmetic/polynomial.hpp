// Integer polynomials in t with 64-bit coefficients that wrap around on
// overflow, their text form, and the fraction-free determinant of a square
// matrix of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

namespace skeinlab {

struct Polynomial {
    // coeffs[i] is the coefficient of t^i; the zero polynomial is empty.
    std::vector<std::int64_t> coeffs;

    // Equal when equal at every exponent: trailing zeros never matter.
    friend bool operator==(const Polynomial& a, const Polynomial& b);
};

// Hash that agrees with equality (trailing zeros ignored).
struct PolynomialHash {
    std::size_t operator()(const Polynomial& p) const;
};

// Largest exponent accepted by parse_polynomial. An Alexander polynomial has
// degree below its knot's crossing number: the built-in table's are below 20
// and tables of knots up to a few hundred crossings fit, while a parse never
// builds more than 1,001 coefficients (a row like "k 1+t^1048576" would
// otherwise take 8 MB per parse).
inline constexpr std::uint64_t kMaxParsedExponent = 1000;

// Reads the text form, e.g. "-1+3*t-t^2" gives [-1, 3, -1]. Errors are
// PolynomialParse with "bad coefficient '{}': {}", "unexpected after t: '{}'",
// "bad exponent: {}" or "bad constant '{}': {}". The result is not normalized.
Result<Polynomial> parse_polynomial(std::string_view text);

// Writes the text form: [] is "0", [2, -5, 2] is "2-5*t+2*t^2".
std::string fmt(const Polynomial& p);

// Every coefficient negated (wrapping); the length is kept.
Polynomial neg(Polynomial p);

// The sum (wrapping), trailing zeros dropped.
Polynomial add(const Polynomial& a, const Polynomial& b);

// The product (wrapping), trailing zeros dropped.
Polynomial mul(const Polynomial& a, const Polynomial& b);

// Divides out the largest power of t, drops trailing zeros and makes the
// highest coefficient positive: [0, 0, -1, 1, -1] gives [1, -1, 1].
Polynomial normalize(const Polynomial& p);

// The exact quotient. Throws InternalError on a zero divisor or an inexact
// division (which can follow only a coefficient wrap-around). Coefficients of
// the numerator below the divisor's degree are not examined.
Polynomial exact_div(const Polynomial& numerator, const Polynomial& divisor);

// Determinant of the n x n matrix formed by the first n entries of each of
// the n rows, by Bareiss elimination. Not normalized. May throw InternalError.
Polynomial determinant(const std::vector<std::vector<Polynomial>>& rows);

// The same elimination without wrapping: nothing when a coefficient of a
// product, sum or partial remainder leaves the 64-bit range, otherwise the
// exact determinant (equal to determinant()'s). An inexact division without
// overflow would be a broken invariant and throws InternalError.
std::optional<Polynomial> checked_determinant(const std::vector<std::vector<Polynomial>>& rows);

}  // namespace skeinlab
