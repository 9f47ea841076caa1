// The prime links of two or more components up to 10 crossings by their
// HOMFLY-PT polynomials, in both chiralities: which table links a polynomial
// may belong to. Names are LinkInfo's, with the orientation of the
// components in braces ("L2a1{0}", "L2a1{1}").
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "invariants/homfly.hpp"
#include "invariants/knot_table.hpp"

namespace skeinlab {

class PrimeLinkTable {
public:
    // The generated table, parsed on first use.
    static const PrimeLinkTable& builtin();

    // The links whose HOMFLY-PT polynomial, in some chirality, is `homfly`,
    // by table position (TableMatch as for knots: "+L4a1{0}" for LinkInfo's
    // diagram, "-L4a1{0}" for its mirror image, no sign when the two
    // polynomials are equal); empty when none is.
    const std::vector<TableMatch>& lookup(const Laurent2& homfly) const;

    std::size_t size() const { return names_.size(); }
    const std::string& name(std::uint32_t index) const { return names_[index]; }
    std::uint32_t components(std::uint32_t index) const { return components_[index]; }
    // The polynomial of the link in the chirality called '+'.
    const Laurent2& homfly(std::uint32_t index) const { return homfly_[index]; }

private:
    PrimeLinkTable() = default;
    std::vector<std::string> names_;
    std::vector<std::uint32_t> components_;
    std::vector<Laurent2> homfly_;
    std::unordered_map<std::string, std::vector<TableMatch>> by_text_;
};

}  // namespace skeinlab
