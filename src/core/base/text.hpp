// Text helpers shared by every reader: Unicode-aware trimming and splitting of
// UTF-8 text, and the strict number grammars of the table and coordinate files.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace skeinlab::text {

// Trims Unicode White_Space characters from both ends of UTF-8 text.
std::string_view trim(std::string_view s);

// Splits UTF-8 text at runs of Unicode White_Space; no empty fields.
std::vector<std::string_view> split_whitespace(std::string_view s);

// The first `wanted` fields of a plain ASCII line split at white space (which
// in ASCII is what Unicode calls White_Space), into `fields`; returns how
// many it found. No allocation: the fast path of the readers.
std::size_t split_ascii(std::string_view line, std::string_view* fields, std::size_t wanted);

// True when s is valid UTF-8.
bool valid_utf8(std::string_view s);

// Integer parsing with the messages users see in errors:
//   "cannot parse integer from empty string", "invalid digit found in string",
//   "number too large to fit in target type", "number too small to fit in target type".
// Grammar: an optional sign ("-" only for signed types), then ASCII digits only.
template <class T>
struct Parsed {
    std::optional<T> value;
    const char* error = nullptr;  // set when value is empty
};
Parsed<std::int64_t> parse_i64(std::string_view s);
Parsed<std::uint64_t> parse_u64(std::string_view s);
Parsed<std::uint32_t> parse_u32(std::string_view s);

// Float grammar of the coordinate files: optional sign; digits with an optional
// fraction, or a fraction alone; an optional exponent; or inf/infinity/nan in
// any case. Correctly rounded. Errors: "cannot parse float from empty string",
// "invalid float literal".
Parsed<double> parse_f64(std::string_view s);

// The decimal digits that begin the eight bytes at p (all eight must be
// readable), read together without a branch per digit: how many (0 to 8),
// and in `value` the number they write. On a big-endian machine, one by one.
inline int leading_digits8(const char* p, std::uint64_t& value) {
    if constexpr (std::endian::native != std::endian::little) {
        int n = 0;
        value = 0;
        while (n < 8 && static_cast<unsigned>(p[n] - '0') < 10u) value = value * 10 + static_cast<unsigned>(p[n++] - '0');
        return n;
    } else {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        // Digits become 0..9; a byte of 10 or more, or one with its high bit
        // set, gets its high bit set by the sum (a carry it makes reaches only
        // later bytes, which do not count once it ends the digits).
        const std::uint64_t x = word ^ 0x3030303030303030ull;
        const std::uint64_t other = ((x + 0x7676767676767676ull) | x) & 0x8080808080808080ull;
        const int n = other == 0 ? 8 : std::countr_zero(other) / 8;
        if (n == 0) {
            value = 0;
            return 0;
        }
        // The n digits moved to the end of the word (zeros before them), then
        // combined in pairs, fours and the eight.
        std::uint64_t v = x << (8 * (8 - n));
        v = v * 10 + (v >> 8);
        v = ((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32)) +
             ((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32))) >>
            32;
        value = v;
        return n;
    }
}

}  // namespace skeinlab::text
