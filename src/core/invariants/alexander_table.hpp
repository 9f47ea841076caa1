// The table of knot names keyed by Alexander polynomial: the built-in rows for
// the unknot and the 84 prime knots up to nine crossings, the table text
// format, merging with a user's file, and lookup.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "arithmetic/polynomial.hpp"
#include "base/error.hpp"

namespace skeinlab {

// (crossing number, index) of a name "C_I" with both parts unsigned 32-bit
// decimals (an optional leading "+"); nothing for any other name.
std::optional<std::pair<std::uint32_t, std::uint32_t>> parse_knot_name(std::string_view name);

// Ordering key of names: parse_knot_name, or (0, 0) when the name does not parse.
std::pair<std::uint32_t, std::uint32_t> knot_sort_key(std::string_view name);

class AlexanderTable {
public:
    // Each polynomial maps to its names, sorted stably by knot_sort_key; the
    // first is the one lookup reports.
    std::unordered_map<Polynomial, std::vector<std::string>, PolynomialHash> entries;

    // The 85 built-in rows (160 keys: each row under its polynomial and the
    // polynomial's negation).
    static AlexanderTable builtin();
    // A table from text in the table format. Errors: DataParse "line {}:
    // expected 'knot_name polynomial', got '{}'", or the PolynomialParse error.
    static Result<AlexanderTable> from_text(std::string_view text);
    // A table from a file alone; adds Io errors (open, read, invalid UTF-8).
    static Result<AlexanderTable> from_file(const std::string& path);
    // The built-in table merged with the file's table.
    static Result<AlexanderTable> builtin_with_file(const std::string& path);

    // Adds the names of `other` after the names already present for the same
    // polynomial (equal names dropped), then re-sorts stably by knot_sort_key.
    void merge(AlexanderTable other);

    // The first name of p, or else of its negation; nullptr when neither has one.
    const std::string* lookup(const Polynomial& p) const;
};

// The built-in table text: 85 lines, 2617 bytes.
std::string_view builtin_table_text();

}  // namespace skeinlab
