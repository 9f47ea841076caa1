#include <gtest/gtest.h>

#include <climits>

#include "arithmetic/polynomial.hpp"

namespace skeinlab::polynomial_test {
namespace {

using Coeffs = std::vector<std::int64_t>;
Polynomial P(Coeffs c) { return Polynomial{std::move(c)}; }

TEST(PolynomialText, WritesTerms) {
    const std::pair<Coeffs, const char*> cases[] = {
        {{}, "0"}, {{1}, "1"}, {{-7}, "-7"}, {{0, 1}, "t"}, {{0, 5}, "5*t"}, {{3, 0, -2}, "3-2*t^2"},
        {{0, 0, -1}, "-t^2"}, {{1, -3, 1}, "1-3*t+t^2"}, {{-1, 1, -1}, "-1+t-t^2"}, {{2, -5, 2}, "2-5*t+2*t^2"},
        {{0, 0, 3}, "3*t^2"}, {{0, -1}, "-t"}, {{INT64_MIN}, "-9223372036854775808"},
    };
    for (const auto& [coeffs, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(fmt(P(coeffs)), text);
        const Result<Polynomial> back = parse_polynomial(text);
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(back.value().coeffs, coeffs);
    }
}

TEST(PolynomialText, ReadsTerms) {
    const std::pair<const char*, Coeffs> cases[] = {
        {"", {}}, {"   ", {}}, {"3-3", {}}, {"+1", {1}}, {"-t", {0, -1}}, {"-1+3*t-t^2", {-1, 3, -1}},
        {"2t", {0, 2}}, {"2**t", {0, 2}}, {"+t", {0, 1}}, {"t^0", {1}}, {"t+t", {0, 2}},
        {"\u00a0 1-t \u3000", {1, -1}}, {"t^2+0*t^3", {0, 0, 1}},
    };
    for (const auto& [text, coeffs] : cases) {
        SCOPED_TRACE(text);
        const Result<Polynomial> p = parse_polynomial(text);
        ASSERT_TRUE(p.ok()) << p.error().display();
        EXPECT_EQ(p.value().coeffs, coeffs);
    }
}

TEST(PolynomialText, RejectsWithMessages) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 - t", "bad coefficient '- ': invalid digit found in string"},
        {"t2", "unexpected after t: '2'"},
        {"t^", "bad exponent: cannot parse integer from empty string"},
        {"1+-t", "bad constant '+': invalid digit found in string"},
        {"x", "bad constant 'x': invalid digit found in string"},
        {"2*x*t", "bad coefficient '2*x': invalid digit found in string"},
        {"t^2x", "bad exponent: invalid digit found in string"},
        {"t^-1", "bad exponent: cannot parse integer from empty string"},
        {"9223372036854775808", "bad constant '9223372036854775808': number too large to fit in target type"},
        {"-9223372036854775809", "bad constant '-9223372036854775809': number too small to fit in target type"},
        {"t^18446744073709551616", "bad exponent: number too large to fit in target type"},
        {"T", "bad constant 'T': invalid digit found in string"},
        {"\xd9\xa3", "bad constant '\xd9\xa3': invalid digit found in string"},  // Arabic-Indic three
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        const Result<Polynomial> p = parse_polynomial(text);
        ASSERT_FALSE(p.ok());
        EXPECT_EQ(p.error().kind(), KnotError::Kind::PolynomialParse);
        EXPECT_EQ(p.error().display(), std::string("failed to parse polynomial: ") + message);
    }
}

TEST(PolynomialText, AbsurdExponentIsRefusedNotAllocated) {
    const Result<Polynomial> p = parse_polynomial("1+t^99999999999");
    ASSERT_FALSE(p.ok());
    EXPECT_NE(p.error().message().find("bad exponent: 99999999999"), std::string::npos);
    EXPECT_TRUE(parse_polynomial("t^1000").ok());
    const Result<Polynomial> big = parse_polynomial("1+t^1001");
    ASSERT_FALSE(big.ok());
    EXPECT_EQ(big.error().message(), "bad exponent: 1001 exceeds the largest supported exponent 1000");
}

TEST(PolynomialArithmetic, EqualityIgnoresTrailingZerosAndHashAgrees) {
    EXPECT_EQ(P({1, 2}), P({1, 2, 0, 0}));
    EXPECT_EQ(P({}), P({0}));
    EXPECT_FALSE(P({1, 2}) == P({1, 2, 1}));
    EXPECT_EQ(PolynomialHash{}(P({1, 2})), PolynomialHash{}(P({1, 2, 0})));
}

TEST(PolynomialArithmetic, AddNegNormalize) {
    EXPECT_EQ(add(P({1, 2}), P({-1, -2})).coeffs, Coeffs{});
    EXPECT_EQ(add(P({1}), P({0, 0, 1})).coeffs, (Coeffs{1, 0, 1}));
    EXPECT_EQ(add(P({INT64_MAX}), P({1})).coeffs, Coeffs{INT64_MIN});  // wraps
    EXPECT_EQ(neg(P({INT64_MIN, 0})).coeffs, (Coeffs{INT64_MIN, 0}));   // keeps its length
    const std::pair<Coeffs, Coeffs> normal[] = {
        {{}, {}}, {{0, 0}, {}}, {{-5}, {5}}, {{0, 3}, {3}}, {{0, 0, -1, 1, -1}, {1, -1, 1}}, {{-2, 5, -2}, {2, -5, 2}},
    };
    for (const auto& [in, out] : normal) EXPECT_EQ(normalize(P(in)).coeffs, out);
}

TEST(PolynomialArithmetic, ExactDivision) {
    EXPECT_EQ(exact_div(P({2, 2}), P({1, 1})).coeffs, Coeffs{2});
    EXPECT_EQ(exact_div(P({0, 0, 6}), P({0, 3})).coeffs, (Coeffs{0, 2}));
    EXPECT_EQ(exact_div(P({1, 1, 1}), P({1, 1})).coeffs, (Coeffs{0, 1}));  // low remainder not examined
    EXPECT_EQ(exact_div(P({}), P({3})).coeffs, Coeffs{});
    try {
        (void)exact_div(P({1, 2}), P({2}));
        FAIL();
    } catch (const InternalError& e) {
        EXPECT_STREQ(e.what(), "non-exact polynomial division at degree 0: [1, 0] / 2");
    }
    EXPECT_THROW((void)exact_div(P({1}), P({})), InternalError);
    EXPECT_THROW((void)exact_div(P({1}), P({0, 2})), InternalError);
    EXPECT_THROW((void)exact_div(P({INT64_MIN}), P({-1})), InternalError);  // overflow, not a crash
}

TEST(PolynomialArithmetic, Determinant) {
    using Matrix = std::vector<std::vector<Polynomial>>;
    EXPECT_EQ(determinant(Matrix{}).coeffs, Coeffs{1});
    EXPECT_EQ(determinant(Matrix{{P({-1, 0})}}).coeffs, (Coeffs{-1, 0}));  // unchanged copy
    EXPECT_EQ(determinant(Matrix{{P({}), P({1})}, {P({1}), P({})}}).coeffs, Coeffs{-1});
    EXPECT_EQ(determinant(Matrix{{P({}), P({1})}, {P({}), P({2})}}).coeffs, Coeffs{});
    EXPECT_EQ(determinant(Matrix{{P({1, -1}), P({0, 1})}, {P({-1}), P({1, -1})}}).coeffs, (Coeffs{1, -1, 1}));
    // A 3x3 integer matrix with a known determinant, and rows longer than n.
    const Matrix m{{P({2}), P({0}), P({1}), P({9})}, {P({1}), P({3}), P({2}), P({9})}, {P({1}), P({1}), P({2}), P({9})}};
    EXPECT_EQ(determinant(m).coeffs, Coeffs{6});
}

}  // namespace
}  // namespace skeinlab::polynomial_test
