#include "base/text.hpp"

#include <charconv>
#include <cstdlib>
#include <limits>

namespace skeinlab::text {
namespace {

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Decodes the code point at s[i]; returns its length in bytes (1 for a byte that
// does not start a valid sequence, which then never counts as white space).
std::size_t decode(std::string_view s, std::size_t i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        out = 0xFFFD;
        return 1;
    }
    if (i + len > s.size()) {
        out = 0xFFFD;
        return 1;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            out = 0xFFFD;
            return 1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    out = cp;
    return len;
}

// Length of the white-space character ending at position end (exclusive), or 0.
std::size_t white_space_before(std::string_view s, std::size_t end) {
    for (std::size_t len = 1; len <= 3 && len <= end; ++len) {
        char32_t c = 0;
        if (decode(s, end - len, c) == len && is_white_space(c)) return len;
    }
    return 0;
}

}  // namespace

std::string_view trim(std::string_view s) {
    std::size_t begin = 0;
    while (begin < s.size()) {
        char32_t c = 0;
        const std::size_t len = decode(s, begin, c);
        if (!is_white_space(c)) break;
        begin += len;
    }
    std::size_t end = s.size();
    while (end > begin) {
        const std::size_t len = white_space_before(s, end);
        if (len == 0) break;
        end -= len;
    }
    return s.substr(begin, end - begin);
}

std::vector<std::string_view> split_whitespace(std::string_view s) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    std::size_t start = std::string_view::npos;
    while (i < s.size()) {
        char32_t c = 0;
        const std::size_t len = decode(s, i, c);
        if (is_white_space(c)) {
            if (start != std::string_view::npos) fields.push_back(s.substr(start, i - start));
            start = std::string_view::npos;
        } else if (start == std::string_view::npos) {
            start = i;
        }
        i += len;
    }
    if (start != std::string_view::npos) fields.push_back(s.substr(start));
    return fields;
}

bool valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t min = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
            min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3;
            min = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            min = 0x10000;
        } else {
            return false;
        }
        char32_t cp = 0;
        if (decode(s, i, cp) != len) return false;
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

namespace {

constexpr const char* kEmpty = "cannot parse integer from empty string";
constexpr const char* kInvalid = "invalid digit found in string";
constexpr const char* kTooLarge = "number too large to fit in target type";
constexpr const char* kTooSmall = "number too small to fit in target type";

// Digits are read left to right and the first problem met decides the message,
// so "99999999999999999999x" is too large while "x9" is an invalid digit.
template <class U>
Parsed<U> parse_unsigned(std::string_view s) {
    if (s.empty()) return {std::nullopt, kEmpty};
    if (s[0] == '+') {
        s.remove_prefix(1);
        if (s.empty()) return {std::nullopt, kInvalid};
    }
    U value = 0;
    for (const char ch : s) {
        if (ch < '0' || ch > '9') return {std::nullopt, kInvalid};
        const U digit = static_cast<U>(ch - '0');
        if (value > (std::numeric_limits<U>::max() - digit) / 10) return {std::nullopt, kTooLarge};
        value = static_cast<U>(value * 10 + digit);
    }
    return {value, nullptr};
}

}  // namespace

Parsed<std::uint64_t> parse_u64(std::string_view s) { return parse_unsigned<std::uint64_t>(s); }
Parsed<std::uint32_t> parse_u32(std::string_view s) { return parse_unsigned<std::uint32_t>(s); }

Parsed<std::int64_t> parse_i64(std::string_view s) {
    if (s.empty()) return {std::nullopt, kEmpty};
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        s.remove_prefix(1);
        if (s.empty()) return {std::nullopt, kInvalid};
    }
    // Accumulate the magnitude; the negative range is one larger than the positive.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t magnitude = 0;
    for (const char ch : s) {
        if (ch < '0' || ch > '9') return {std::nullopt, kInvalid};
        const auto digit = static_cast<std::uint64_t>(ch - '0');
        if (magnitude > (limit - digit) / 10) return {std::nullopt, negative ? kTooSmall : kTooLarge};
        magnitude = magnitude * 10 + digit;
    }
    // Two's-complement negation of the magnitude, well defined on unsigned values.
    const std::uint64_t bits = negative ? std::uint64_t{0} - magnitude : magnitude;
    return {static_cast<std::int64_t>(bits), nullptr};
}

namespace {

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True when s (sign already removed) is digits[.digits] or .digits, then an
// optional exponent.
bool decimal_grammar(std::string_view s) {
    std::size_t i = 0;
    std::size_t int_digits = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++int_digits;
    std::size_t frac_digits = 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) ++i, ++frac_digits;
    }
    if (int_digits == 0 && frac_digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < s.size() && is_digit(s[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    return i == s.size();
}

// The value of digits[.digits] (sign removed, no exponent, at most 15 digits
// in all) when it is exactly representable as an integer of at most 15
// digits divided by a power of ten up to 10^22: both are exact doubles, so the
// one division rounds correctly, to the same double as any correctly rounded
// parser (Clinger's fast path). Nothing for any other text.
std::optional<double> plain_decimal(std::string_view s) {
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    std::uint64_t mantissa = 0;
    std::size_t digits = 0, fraction = 0;
    bool point = false;
    for (const char c : s) {
        if (is_digit(c)) {
            if (++digits > 15) return std::nullopt;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            if (point) ++fraction;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) return std::nullopt;
    return static_cast<double>(mantissa) / kPowers[fraction];
}

}  // namespace

std::size_t split_ascii(std::string_view line, std::string_view* fields, std::size_t wanted) {
    const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char* p = line.data();
    const char* const end = p + line.size();
    std::size_t found = 0;
    while (found < wanted) {
        while (p < end && space(*p)) ++p;
        if (p == end) break;
        const char* start = p;
        while (p < end && !space(*p)) ++p;
        fields[found++] = std::string_view(start, static_cast<std::size_t>(p - start));
    }
    return found;
}

Parsed<double> parse_f64(std::string_view s) {
    if (s.empty()) return {std::nullopt, "cannot parse float from empty string"};
    constexpr const char* kBad = "invalid float literal";
    bool negative = false;
    std::string_view body = s;
    if (body[0] == '+' || body[0] == '-') {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (const std::optional<double> plain = plain_decimal(body)) return {negative ? -*plain : *plain, nullptr};
    if (iequals(body, "inf") || iequals(body, "infinity")) {
        const double inf = std::numeric_limits<double>::infinity();
        return {negative ? -inf : inf, nullptr};
    }
    if (iequals(body, "nan")) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {negative ? -nan : nan, nullptr};
    }
    if (!decimal_grammar(body)) return {std::nullopt, kBad};
    double value = 0.0;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the correctly rounded value is infinity or
        // zero, which strtod (also correctly rounding) gives with ERANGE.
        const std::string copy(body);
        value = std::strtod(copy.c_str(), nullptr);
    } else if (ec != std::errc() || end != body.data() + body.size()) {
        return {std::nullopt, kBad};
    }
    return {negative ? -value : value, nullptr};
}

}  // namespace skeinlab::text
