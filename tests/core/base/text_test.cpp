#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "base/text.hpp"

namespace skeinlab::text {
namespace {

TEST(Text, TrimsUnicodeWhiteSpace) {
    EXPECT_EQ(trim("  a b \t\r\n"), "a b");
    EXPECT_EQ(trim("\u00a0\u2003x\u3000\u0085"), "x");
    EXPECT_EQ(trim("\u200bx"), "\u200bx");  // zero-width space is not White_Space
    EXPECT_EQ(trim("   "), "");
    EXPECT_EQ(trim("\xff x \xff"), "\xff x \xff");  // invalid bytes are kept
}

TEST(Text, SplitsOnUnicodeWhiteSpace) {
    const auto fields = split_whitespace(" C\t1.0\u00a02.0  3.0\r\n");
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0], "C");
    EXPECT_EQ(fields[2], "2.0");
    EXPECT_TRUE(split_whitespace(" \t ").empty());
}

TEST(Text, ValidatesUtf8) {
    EXPECT_TRUE(valid_utf8("plain \u00e9\u4e2d\U0001F600"));
    EXPECT_FALSE(valid_utf8("\xc3"));
    EXPECT_FALSE(valid_utf8("\xc0\xaf"));          // overlong
    EXPECT_FALSE(valid_utf8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(valid_utf8("\xf4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(Text, IntegerGrammar) {
    EXPECT_EQ(*parse_u64("+3").value, 3u);
    EXPECT_EQ(*parse_u64("18446744073709551615").value, UINT64_MAX);
    EXPECT_STREQ(parse_u64("18446744073709551616").error, "number too large to fit in target type");
    EXPECT_STREQ(parse_u64("").error, "cannot parse integer from empty string");
    for (const char* bad : {"+", "-", "-3", "3.0", "0x10", "3 a", " 3"})
        EXPECT_STREQ(parse_u64(bad).error, "invalid digit found in string") << bad;
    EXPECT_EQ(*parse_i64("-9223372036854775808").value, INT64_MIN);
    EXPECT_STREQ(parse_i64("-9223372036854775809").error, "number too small to fit in target type");
    EXPECT_STREQ(parse_u32("4294967296").error, "number too large to fit in target type");
}

TEST(Text, FloatGrammar) {
    const std::pair<const char*, double> good[] = {
        {"1e3", 1000.0}, {"-1.5", -1.5}, {"+.5", 0.5}, {"5.", 5.0}, {"1E-2", 0.01}, {"1e400", INFINITY},
        {"-Infinity", -INFINITY}, {"inf", INFINITY}, {"1e-400", 0.0}, {"0.1", 0.1},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
    };
    for (const auto& [text, value] : good) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(parse_f64(text).value.has_value());
        EXPECT_EQ(*parse_f64(text).value, value);
    }
    EXPECT_TRUE(std::isnan(*parse_f64("NaN").value));
    EXPECT_STREQ(parse_f64("").error, "cannot parse float from empty string");
    for (const char* bad : {"0x1p3", "1,5", "nan(1)", " 1", "1e", ".", "e5", "1d5", "1_000", "--1", "infinit"})
        EXPECT_STREQ(parse_f64(bad).error, "invalid float literal") << bad;
}

TEST(LeadingDigits8, CountsAndReadsLikeOneDigitAtATime) {
    // Digits mixed with their neighbours in ASCII ('/', ':'), white space,
    // points and bytes with the high bit set.
    const char alphabet[] = "0123456789/:. \n-\xff\x80\xb0";
    std::mt19937_64 rng(11);
    for (int k = 0; k < 100000; ++k) {
        char bytes[8];
        const std::size_t digits = rng() % 9;
        for (std::size_t i = 0; i < 8; ++i)
            bytes[i] = i < digits ? static_cast<char>('0' + rng() % 10) : alphabet[rng() % (sizeof alphabet - 1)];
        int n = 0;
        std::uint64_t expected = 0;
        while (n < 8 && bytes[n] >= '0' && bytes[n] <= '9') expected = expected * 10 + static_cast<unsigned>(bytes[n++] - '0');
        std::uint64_t value = 1;
        ASSERT_EQ(text::leading_digits8(bytes, value), n) << std::string(bytes, 8);
        ASSERT_EQ(value, expected) << std::string(bytes, 8);
    }
}

}  // namespace
}  // namespace skeinlab::text

namespace skeinlab::text_test {
namespace {

// Plain decimals take a fast path (an exact integer over an exact power of
// ten); the doubles must be those of a correctly rounded parser, bit for bit.
TEST(ParseF64, PlainDecimalsRoundLikeFromChars) {
    std::mt19937_64 rng(3);
    for (int k = 0; k < 200000; ++k) {
        const int int_digits = static_cast<int>(rng() % 9);
        const int frac_digits = static_cast<int>(rng() % 9);
        std::string s = rng() % 2 ? "-" : "";
        for (int i = 0; i < int_digits; ++i) s += static_cast<char>('0' + rng() % 10);
        if (frac_digits > 0 || int_digits == 0) s += '.';
        for (int i = 0; i < frac_digits; ++i) s += static_cast<char>('0' + rng() % 10);
        if (int_digits == 0 && frac_digits == 0) s += '7';
        double expected = 0.0;
        const std::string_view body = s[0] == '-' ? std::string_view(s).substr(1) : std::string_view(s);
        std::from_chars(body.data(), body.data() + body.size(), expected);
        if (s[0] == '-') expected = -expected;
        const auto parsed = text::parse_f64(s);
        ASSERT_TRUE(parsed.value) << s;
        ASSERT_EQ(std::memcmp(&*parsed.value, &expected, sizeof expected), 0) << s;
    }
    // Fifteen digits, and more, which take the general path.
    for (const char* s : {"123456789012345", "0.123456789012345", "1234567890123456", "9007199254740993.5", "5.",
                          ".5", "-0.00000", "000123.4500"}) {
        double expected = 0.0;
        const std::string_view text(s);
        const std::string_view body = text[0] == '-' ? text.substr(1) : text;
        std::from_chars(body.data(), body.data() + body.size(), expected);
        if (text[0] == '-') expected = -expected;
        const auto parsed = text::parse_f64(s);
        ASSERT_TRUE(parsed.value) << s;
        EXPECT_EQ(std::memcmp(&*parsed.value, &expected, sizeof expected), 0) << s;
    }
}

TEST(LeadingDigits8, CountsAndReadsLikeOneDigitAtATime) {
    // Digits mixed with their neighbours in ASCII ('/', ':'), white space,
    // points and bytes with the high bit set.
    const char alphabet[] = "0123456789/:. \n-\xff\x80\xb0";
    std::mt19937_64 rng(11);
    for (int k = 0; k < 100000; ++k) {
        char bytes[8];
        const std::size_t digits = rng() % 9;
        for (std::size_t i = 0; i < 8; ++i)
            bytes[i] = i < digits ? static_cast<char>('0' + rng() % 10) : alphabet[rng() % (sizeof alphabet - 1)];
        int n = 0;
        std::uint64_t expected = 0;
        while (n < 8 && bytes[n] >= '0' && bytes[n] <= '9') expected = expected * 10 + static_cast<unsigned>(bytes[n++] - '0');
        std::uint64_t value = 1;
        ASSERT_EQ(text::leading_digits8(bytes, value), n) << std::string(bytes, 8);
        ASSERT_EQ(value, expected) << std::string(bytes, 8);
    }
}

}  // namespace
}  // namespace skeinlab::text_test
