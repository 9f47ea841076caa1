#include "io/lammps_data.hpp"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "base/text.hpp"
#include "io/id_order.hpp"

namespace skeinlab {
namespace {

// Where an atom style keeps the id, molecule, type and first coordinate
// (-1: no molecule column); how many columns it has before image flags.
struct Layout {
    const char* style;
    int mol, type, x;
    std::size_t columns;
};
constexpr Layout kLayouts[] = {
    {"full", 1, 2, 4, 7},          {"molecular", 1, 2, 3, 6},  {"bond", 1, 2, 3, 6},      {"angle", 1, 2, 3, 6},
    {"template", 2, 1, 5, 8},      {"bpm/sphere", 1, 2, 5, 8}, {"line", 1, 2, 5, 8},      {"tri", 1, 2, 5, 8},
    {"atomic", -1, 1, 2, 5},       {"charge", -1, 1, 3, 6},    {"sphere", -1, 1, 4, 7},   {"ellipsoid", -1, 1, 4, 7},
    {"peri", -1, 1, 4, 7},         {"body", -1, 1, 4, 7},      {"dipole", -1, 1, 3, 9},   {"electron", -1, 1, 5, 8},
    {"spin", -1, 1, 2, 9},         {"dielectric", -1, 1, 3, 13}, {"hybrid", -1, 1, 2, 5},
};

const Layout* layout_named(std::string_view style) {
    for (const Layout& layout : kLayouts)
        if (style == layout.style) return &layout;
    return nullptr;
}

// The sections of a data file; those other than Atoms, Bonds and Atom Type
// Labels are skipped.
constexpr std::string_view kSections[] = {
    "Atoms", "Velocities", "Masses", "Ellipsoids", "Lines", "Triangles", "Bodies", "Bonds", "Angles",
    "Dihedrals", "Impropers", "Pair Coeffs", "PairIJ Coeffs", "Bond Coeffs", "Angle Coeffs", "Dihedral Coeffs",
    "Improper Coeffs", "BondBond Coeffs", "BondAngle Coeffs", "MiddleBondTorsion Coeffs", "EndBondTorsion Coeffs",
    "AngleTorsion Coeffs", "AngleAngleTorsion Coeffs", "BondBond13 Coeffs", "AngleAngle Coeffs",
    "Atom Type Labels", "Bond Type Labels", "Angle Type Labels", "Dihedral Type Labels", "Improper Type Labels",
};

bool is_section(std::string_view text) {
    return std::find(std::begin(kSections), std::end(kSections), text) != std::end(kSections);
}

// A line without its comment, trimmed; the comment (after "#") in `comment`.
std::string_view content(std::string_view line, std::string_view& comment) {
    const std::size_t hash = line.find('#');
    comment = hash == std::string_view::npos ? std::string_view{} : text::trim(line.substr(hash + 1));
    return text::trim(line.substr(0, hash));
}

class DataParser {
public:
    explicit DataParser(LineReader& reader) : reader_(reader) {}

    Result<LammpsTopology> parse();

private:
    KnotError bad(std::string_view what, std::string_view field) const {
        return KnotError::data_parse(at() + "bad " + std::string(what) + ": '" + std::string(field) + "'");
    }
    std::string at() const { return "line " + std::to_string(reader_.lines_read()) + ": "; }
    // The next line with content (comments removed); false at the end.
    Result<bool> next(std::string_view& text, std::string_view& comment);
    Result<std::int64_t> type_of(std::string_view field);
    Status atoms(std::string_view style);
    Status bonds();
    Status labels();

    LineReader& reader_;
    std::string line_;
    std::uint64_t atom_count_ = 0, bond_count_ = 0, atom_types_ = 0;
    bool atoms_read_ = false;
    std::vector<std::array<std::int64_t, 2>> bond_ids_;
    std::vector<std::size_t> bond_lines_;
    LammpsTopology out_;
};

Result<bool> DataParser::next(std::string_view& text, std::string_view& comment) {
    for (;;) {
        Result<bool> more = reader_.next(line_);
        if (!more || !more.value()) return more;
        text = content(strip_line_ending(line_), comment);
        if (!text.empty()) return true;
    }
}

Result<std::int64_t> DataParser::type_of(std::string_view field) {
    const auto number = text::parse_i64(field);
    if (number.value) return *number.value;
    for (std::size_t t = 1; t < out_.type_labels.size(); ++t)
        if (out_.type_labels[t] == field) return static_cast<std::int64_t>(t);
    return KnotError::data_parse(at() + "unknown atom type '" + std::string(field) + "'");
}

Status DataParser::labels() {
    out_.type_labels.assign(static_cast<std::size_t>(std::min<std::uint64_t>(atom_types_, 1u << 24)) + 1, {});
    std::string_view text, comment;
    for (std::uint64_t k = 0; k < atom_types_; ++k) {
        Result<bool> more = next(text, comment);
        if (!more) return more.error();
        if (!more.value()) return KnotError::data_parse("unexpected end of file in the Atom Type Labels section");
        const std::vector<std::string_view> fields = text::split_whitespace(text);
        const auto type = text::parse_i64(fields[0]);
        if (fields.size() != 2 || !type.value || *type.value < 1 ||
            static_cast<std::uint64_t>(*type.value) >= out_.type_labels.size())
            return bad("type label", text);
        out_.type_labels[static_cast<std::size_t>(*type.value)] = std::string(fields[1]);
    }
    return ok_status();
}

Status DataParser::atoms(std::string_view style) {
    const Layout* layout = layout_named(style);
    std::string_view text, comment;
    std::vector<std::string_view> fields;
    const auto reserve = static_cast<std::size_t>(std::min<std::uint64_t>(atom_count_, 1u << 20));
    out_.ids.reserve(reserve);
    out_.types.reserve(reserve);
    out_.positions.reserve(reserve);
    for (std::uint64_t k = 0; k < atom_count_; ++k) {
        Result<bool> more = next(text, comment);
        if (!more) return more.error();
        if (!more.value()) return KnotError::data_parse("unexpected end of file in the Atoms section");
        if (is_section(text))
            return KnotError::data_parse("the file declares " + std::to_string(atom_count_) +
                                         " atoms but its Atoms section has " + std::to_string(k));
        fields = text::split_whitespace(text);
        if (!layout) {
            // No style named: told from the columns.
            const std::size_t n = fields.size();
            const bool integer_third = n > 2 && text::parse_i64(fields[2]).value.has_value();
            const char* guess = n == 5 || n == 8 ? "atomic" : n == 7 || n == 10 ? "full"
                                : n == 6 || n == 9 ? (integer_third ? "molecular" : "charge") : nullptr;
            if (!guess)
                return KnotError::data_parse(at() + "the Atoms section has " + std::to_string(n) +
                                             " columns, which fit no atom style; name it ('Atoms # full')");
            layout = layout_named(guess);
            out_.style = guess;
        }
        const bool hybrid = out_.style == "hybrid";  // sub-styles' columns follow
        if (hybrid ? fields.size() < layout->columns
                   : fields.size() != layout->columns && fields.size() != layout->columns + 3)
            return KnotError::data_parse(at() + "expected " + std::to_string(layout->columns) + " columns for atom style " +
                                         out_.style + ", got " + std::to_string(fields.size()));
        const auto id = text::parse_i64(fields[0]);
        if (!id.value) return bad("atom id", fields[0]);
        out_.ids.push_back(*id.value);
        if (layout->mol >= 0) {
            const auto mol = text::parse_i64(fields[static_cast<std::size_t>(layout->mol)]);
            if (!mol.value) return bad("molecule id", fields[static_cast<std::size_t>(layout->mol)]);
            out_.molecules.push_back(*mol.value);
        }
        Result<std::int64_t> type = type_of(fields[static_cast<std::size_t>(layout->type)]);
        if (!type) return type.error();
        out_.types.push_back(type.value());
        double xyz[3];
        for (std::size_t c = 0; c < 3; ++c) {
            const std::string_view field = fields[static_cast<std::size_t>(layout->x) + c];
            const auto value = text::parse_f64(field);
            if (!value.value) return bad("coordinate", field);
            xyz[c] = *value.value;
        }
        out_.positions.push_back({xyz[0], xyz[1], xyz[2]});
    }
    atoms_read_ = true;
    return ok_status();
}

Status DataParser::bonds() {
    std::string_view text, comment;
    bond_ids_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(bond_count_, 1u << 20)));
    for (std::uint64_t k = 0; k < bond_count_; ++k) {
        Result<bool> more = next(text, comment);
        if (!more) return more.error();
        if (!more.value()) return KnotError::data_parse("unexpected end of file in the Bonds section");
        const std::vector<std::string_view> fields = text::split_whitespace(text);
        if (fields.size() < 4) return bad("bond", text);
        const auto a = text::parse_i64(fields[2]), b = text::parse_i64(fields[3]);
        if (!a.value || !b.value) return bad("bond", text);
        bond_ids_.push_back({*a.value, *b.value});
        bond_lines_.push_back(reader_.lines_read());
    }
    return ok_status();
}

Result<LammpsTopology> DataParser::parse() {
    // The title line, then the header up to the first section.
    Result<bool> title = reader_.next(line_);
    if (!title) return title.error();
    std::string_view text, comment;
    std::optional<std::string> section;
    for (;;) {
        Result<bool> more = next(text, comment);
        if (!more) return more.error();
        if (!more.value()) break;
        if (is_section(text)) {
            section = std::string(text);
            break;
        }
        const std::vector<std::string_view> fields = text::split_whitespace(text);
        const auto count = text::parse_u64(fields[0]);
        const auto keyword = [&](std::string_view a, std::string_view b = {}) {
            return fields.size() == (b.empty() ? 2u : 3u) && fields[1] == a && (b.empty() || fields[2] == b);
        };
        if (keyword("atoms") || keyword("bonds") || keyword("atom", "types")) {
            if (!count.value) return bad("count", fields[0]);
            (keyword("atoms") ? atom_count_ : keyword("bonds") ? bond_count_ : atom_types_) = *count.value;
        }
        // Other header lines (box bounds, other counts) are not needed.
    }
    out_.type_labels.assign(static_cast<std::size_t>(std::min<std::uint64_t>(atom_types_, 1u << 24)) + 1, {});
    while (section) {
        const std::string name = *section;
        section.reset();
        Status read = ok_status();
        if (name == "Atoms") {
            out_.style = std::string(text::split_whitespace(comment).empty() ? std::string_view{}
                                                                            : text::split_whitespace(comment)[0]);
            if (!out_.style.empty() && !layout_named(out_.style)) out_.style.clear();
            read = atoms(out_.style);
        } else if (name == "Bonds") {
            read = bonds();
        } else if (name == "Atom Type Labels") {
            read = labels();
        }
        if (!read) return read.error();
        // Up to the next section (the lines of a skipped one are not read).
        for (;;) {
            Result<bool> more = next(text, comment);
            if (!more) return more.error();
            if (!more.value()) break;
            if (is_section(text)) {
                section = std::string(text);
                break;
            }
            if (name == "Atoms" || name == "Bonds" || name == "Atom Type Labels")
                return KnotError::data_parse(at() + "the " + name + " section has more lines than the header declares");
        }
    }
    if (!atoms_read_) return KnotError::data_parse("no Atoms section");

    // Atoms in id order; bonds as indices.
    sort_by_ids(out_.ids, out_.molecules, out_.types, out_.positions);
    const auto twice = std::adjacent_find(out_.ids.begin(), out_.ids.end());
    if (twice != out_.ids.end()) return KnotError::data_parse("duplicate atom id " + std::to_string(*twice));
    out_.bonds.reserve(bond_ids_.size());
    for (std::size_t k = 0; k < bond_ids_.size(); ++k) {
        std::array<std::int64_t, 2> pair{};
        for (std::size_t e = 0; e < 2; ++e) {
            const auto it = std::lower_bound(out_.ids.begin(), out_.ids.end(), bond_ids_[k][e]);
            if (it == out_.ids.end() || *it != bond_ids_[k][e])
                return KnotError::data_parse("line " + std::to_string(bond_lines_[k]) + ": bond " + std::to_string(k + 1) +
                                             " joins atom id " + std::to_string(bond_ids_[k][e]) +
                                             ", which is not in the Atoms section");
            pair[e] = static_cast<std::int64_t>(it - out_.ids.begin());
        }
        out_.bonds.push_back(pair);
    }
    return std::move(out_);
}

}  // namespace

Result<LammpsTopology> read_lammps_data(LineReader& reader) { return DataParser(reader).parse(); }

}  // namespace skeinlab
