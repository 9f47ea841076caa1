// The prime knots up to 12 crossings by their HOMFLY-PT polynomials, in both
// chiralities: which table knots a polynomial may belong to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "invariants/homfly.hpp"

namespace skeinlab {

// One table knot that has a given polynomial, in one chirality.
struct TableMatch {
    // Position of the knot in the table (its order: by crossing number, then
    // as KnotInfo lists them).
    std::uint32_t index = 0;
    // '+' for the chirality of KnotInfo's diagram (the right-handed trefoil
    // is +3_1), '-' for its mirror image, 0 when the name takes no sign: the
    // knot is amphichiral, or chiral with a polynomial equal to its mirror's
    // (HOMFLY-PT then cannot tell the two apart).
    char chirality = 0;
    // The name with its sign, e.g. "+3_1", "4_1".
    std::string name;
};

// The rows of a generated table, "name<TAB>field<TAB>HOMFLY-PT" one a line:
// visit(name, field, polynomial) for each, in order. Throws InternalError
// (naming `what`) on a row that does not read.
void for_each_table_row(const char* text, const char* what,
                        const std::function<void(std::string_view, std::string_view, const Laurent2&)>& visit);

// Indexes a table entry under its polynomial and its mirror image's: "+name"
// and "-name", or "name" under the one text when the two are equal.
void index_both_chiralities(std::unordered_map<std::string, std::vector<TableMatch>>& by_text, std::uint32_t index,
                            const std::string& name, const Laurent2& homfly);

class PrimeKnotTable {
public:
    // The generated table, parsed on first use.
    static const PrimeKnotTable& builtin();

    // The knots whose HOMFLY-PT polynomial, in some chirality, is `homfly`, by
    // table position; empty when none is.
    const std::vector<TableMatch>& lookup(const Laurent2& homfly) const;

    // True when some table knot has this Alexander polynomial (normalized
    // text, as ExactPolynomial writes it): a diagram whose polynomial is not
    // one of these is no table knot, whatever its HOMFLY-PT polynomial.
    bool has_alexander(const std::string& alexander) const { return alexanders_.count(alexander) > 0; }

    std::size_t size() const { return names_.size(); }
    const std::string& name(std::uint32_t index) const { return names_[index]; }
    // The crossing number of a table knot, and the largest of the table: a
    // diagram of more crossings may be a knot beyond the table that shares a
    // table knot's polynomial.
    std::uint32_t crossings(std::uint32_t index) const { return crossings_[index]; }
    std::uint32_t max_crossings() const { return max_crossings_; }
    bool amphichiral(std::uint32_t index) const { return amphichiral_[index]; }
    // The polynomial of the knot in the chirality called '+'.
    const Laurent2& homfly(std::uint32_t index) const { return homfly_[index]; }

private:
    PrimeKnotTable() = default;
    std::vector<std::string> names_;
    std::vector<std::uint32_t> crossings_;
    std::uint32_t max_crossings_ = 0;
    std::vector<bool> amphichiral_;
    std::vector<Laurent2> homfly_;
    std::unordered_map<std::string, std::vector<TableMatch>> by_text_;
    std::unordered_set<std::string> alexanders_;
};

}  // namespace skeinlab
