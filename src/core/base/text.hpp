// Text helpers shared by every reader: Unicode-aware trimming and splitting of
// UTF-8 text, and the strict number grammars of the table and coordinate files.
#pragma once

#include <cstdint>
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

}  // namespace skeinlab::text
