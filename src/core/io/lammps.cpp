#include "io/lammps.hpp"

#include <algorithm>
#include <optional>

#include "base/text.hpp"
#include "io/id_order.hpp"

namespace skeinlab {
namespace {

std::string quoted(std::string_view line) {
    std::string out(1, '\'');
    out.append(text::trim(line));
    out.push_back('\'');
    return out;
}

std::string at_line(std::uint64_t line) { return "line " + std::to_string(line) + ": "; }

// The fields of a line: the fast ASCII split into `fields` when it can, the
// Unicode one otherwise. At most `wanted` fields; returns how many.
std::size_t split_line(std::string_view line, bool ascii, std::vector<std::string_view>& fields, std::size_t wanted) {
    if (fields.size() < wanted) fields.resize(wanted);
    if (ascii) return text::split_ascii(line, fields.data(), wanted);
    const std::vector<std::string_view> split = text::split_whitespace(line);
    const std::size_t found = std::min(split.size(), wanted);
    std::copy_n(split.begin(), found, fields.begin());
    return found;
}

// Where each quantity's column is, or -1.
struct Columns {
    int id = -1, mol = -1, type = -1;
    std::array<int, 3> position{-1, -1, -1};
    bool scaled = false, unwrapped = false;
    std::array<int, 3> image{-1, -1, -1};
    std::size_t count = 0;
};

// What a column holds, for the one-pass parse of plain ASCII lines.
enum Role : std::uint8_t { kSkip, kId, kMol, kType, kX, kY, kZ, kIx, kIy, kIz };

// The one-pass parse reads text that ends in a line break (the complete
// lines the reader has buffered), so that a scan stops at the "\n" at the
// latest; `end` bounds the eight-byte reads of the digits.

// Bytes by class: white space within a line, and a line break.
constexpr std::uint8_t kBlank = 1, kBreak = 2;
constexpr std::array<std::uint8_t, 256> kClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (const char c : {' ', '\t', '\r', '\v', '\f'}) classes[static_cast<unsigned char>(c)] = kBlank;
    classes['\n'] = kBreak;
    return classes;
}();
std::uint8_t class_of(const char* p) { return kClasses[static_cast<unsigned char>(*p)]; }
bool ends_field(const char* p) { return class_of(p) != 0; }
const char* skip_blanks(const char* p) {
    while (class_of(p) == kBlank) ++p;
    return p;
}

// An integer of at most 18 digits with an optional sign, ending at white
// space or the line break: the common case of the integer grammar.
bool integer_field(const char*& p, const char* end, std::int64_t& out) {
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    std::uint64_t value = static_cast<unsigned>(*p - '0');
    if (value < 10u && ends_field(p + 1)) {
        // One digit (an image flag, a type), the commonest case.
        ++p;
        out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
        return true;
    }
    if (end - p >= 8) {
        // Up to seven digits at once, the common case.
        const int n = text::leading_digits8(p, value);
        if (n > 0 && n < 8 && ends_field(p + n)) {
            p += n;
            out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
            return true;
        }
        value = 0;
    }
    const char* const start = p;
    while (static_cast<unsigned>(*p - '0') < 10u) value = value * 10 + static_cast<unsigned>(*p++ - '0');
    if (p == start || p - start > 18 || !ends_field(p)) return false;
    out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return true;
}

// A number with an optional sign and at most 15 digits around an optional
// point, ending at white space or the line break, read in the same pass that
// finds its end: the plain decimal of text::parse_f64 (the exact integer
// divided by an exact power of ten), which gives any other plain ASCII number
// its general path.
bool decimal_field(const char*& p, const char* end, double& out) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* const start = p;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    if (end - p >= 17) {
        // Up to seven digits, a point and up to seven digits at once, the
        // common case: the same exact mantissa as digit by digit.
        std::uint64_t whole = 0, decimals = 0;
        const int n = text::leading_digits8(p, whole);
        if (n < 8 && p[n] == '.') {
            const int f = text::leading_digits8(p + n + 1, decimals);
            if (f < 8 && n + f > 0 && ends_field(p + n + 1 + f)) {
                static constexpr std::uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
                p += n + 1 + f;
                const double value = static_cast<double>(whole * kScale[f] + decimals) / kPowers[f];
                out = negative ? -value : value;
                return true;
            }
        } else if (n > 0 && n < 8 && ends_field(p + n)) {
            p += n;
            const double value = static_cast<double>(whole);
            out = negative ? -value : value;
            return true;
        }
    }
    std::uint64_t mantissa = 0;
    const char* const integer = p;
    while (static_cast<unsigned>(*p - '0') < 10u) mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    int digits = static_cast<int>(p - integer), fraction = 0;
    if (*p == '.') {
        const char* const decimals = ++p;
        while (static_cast<unsigned>(*p - '0') < 10u) mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = static_cast<int>(p - decimals);
        digits += fraction;
    }
    if (digits == 0 || digits > 15 || !ends_field(p)) {
        p = start;
        for (; !ends_field(p); ++p)
            if (static_cast<unsigned char>(*p) >= 0x80) return false;
        const auto value = text::parse_f64(std::string_view(start, static_cast<std::size_t>(p - start)));
        if (!value.value) return false;
        out = *value.value;
        return true;
    }
    const double value = static_cast<double>(mantissa) / kPowers[fraction];
    out = negative ? -value : value;
    return true;
}

// One atom line in one pass, from `p` in lines that end at `end` (with a line
// break): every field split and parsed by its role, the others skipped.
// Returns where the next line starts, or nullptr when anything is amiss (too
// few or too many fields, a field that is not a plain number, an image flag
// beyond 32 bits, a byte that is not ASCII): the general path then reads the
// line again and names the fault.
const char* parse_atom_fast(const char* p, const char* end, const std::vector<Role>& roles, double (&xyz)[3],
                            std::int64_t (&integers)[3], std::int32_t (&image)[3]) {
    for (const Role role : roles) {
        p = skip_blanks(p);
        if (*p == '\n') return nullptr;
        if (role == kSkip) {
            for (; !ends_field(p); ++p)
                if (static_cast<unsigned char>(*p) >= 0x80) return nullptr;
            continue;
        }
        if (role == kX || role == kY || role == kZ) {
            if (!decimal_field(p, end, xyz[role - kX])) return nullptr;
            continue;
        }
        std::int64_t value = 0;
        if (!integer_field(p, end, value)) return nullptr;
        if (role <= kType) {
            integers[role - kId] = value;
        } else {
            if (value < INT32_MIN || value > INT32_MAX) return nullptr;
            image[role - kIx] = static_cast<std::int32_t>(value);
        }
    }
    p = skip_blanks(p);
    return *p == '\n' ? p + 1 : nullptr;
}

// Adds an atom's values to the frame (inlined into the per-line loop).
[[gnu::always_inline]] inline void append_atom(LammpsFrame& frame, const Columns& c, const double (&xyz)[3],
                                               const std::int64_t (&integers)[3], const std::int32_t (&image)[3]) {
    frame.positions.push_back(c.scaled ? frame.box.from_fractional({xyz[0], xyz[1], xyz[2]})
                                       : Point3{xyz[0], xyz[1], xyz[2]});
    if (c.id >= 0) frame.ids.push_back(integers[0]);
    if (c.mol >= 0) frame.molecules.push_back(integers[1]);
    if (c.type >= 0) frame.types.push_back(integers[2]);
    if (c.image[0] >= 0) frame.images.push_back({image[0], image[1], image[2]});
}

std::optional<Columns> columns_of(const std::vector<std::string>& names) {
    Columns c;
    c.count = names.size();
    const auto find = [&](std::string_view name) {
        const auto it = std::find(names.begin(), names.end(), name);
        return it == names.end() ? -1 : static_cast<int>(it - names.begin());
    };
    c.id = find("id");
    c.mol = find("mol");
    c.type = find("type");
    // The first complete set, unwrapped before wrapped.
    static constexpr std::array<std::array<const char*, 3>, 4> kSets{
        {{"xu", "yu", "zu"}, {"xsu", "ysu", "zsu"}, {"x", "y", "z"}, {"xs", "ys", "zs"}}};
    for (std::size_t s = 0; s < kSets.size(); ++s) {
        const std::array<int, 3> at{find(kSets[s][0]), find(kSets[s][1]), find(kSets[s][2])};
        if (at[0] >= 0 && at[1] >= 0 && at[2] >= 0) {
            c.position = at;
            c.unwrapped = s < 2;
            c.scaled = s == 1 || s == 3;
            break;
        }
    }
    if (c.position[0] < 0) return std::nullopt;
    const std::array<int, 3> images{find("ix"), find("iy"), find("iz")};
    if (images[0] >= 0 && images[1] >= 0 && images[2] >= 0) c.image = images;
    return c;
}

}  // namespace

Result<bool> LammpsReader::required_line(std::string_view& line, bool& ascii) {
    Result<bool> more = input_.next(line, ascii);
    if (more && !more.value())
        return KnotError::data_parse("unexpected end of file in frame " + std::to_string(frames_));
    return more;
}

Result<bool> LammpsReader::next(LammpsFrame& frame) {
    std::string_view line;
    bool ascii = false;
    for (;;) {
        Result<bool> more = input_.next(line, ascii);
        if (!more) return more.error();
        if (!more.value()) return false;
        if (!text::trim(line).empty()) break;
    }
    const auto expect = [&](std::string_view item) -> Status {
        if (text::trim(line) == item) return ok_status();
        return KnotError::data_parse(at_line(input_.lines()) + "expected '" + std::string(item) + "', got " + quoted(line));
    };
    const auto advance = [&]() -> Status {
        Result<bool> more = required_line(line, ascii);
        if (!more) return more.error();
        return ok_status();
    };
    // Sections some versions write before the timestep, each with one line.
    while (text::trim(line) == "ITEM: UNITS" || text::trim(line) == "ITEM: TIME") {
        if (Status s = advance(); !s) return s.error();
        if (Status s = advance(); !s) return s.error();
    }
    if (Status s = expect("ITEM: TIMESTEP"); !s) return s.error();
    if (Status s = advance(); !s) return s.error();
    const auto timestep = text::parse_i64(text::trim(line));
    if (!timestep.value) return KnotError::data_parse(at_line(input_.lines()) + "bad timestep: " + timestep.error);
    frame.timestep = *timestep.value;
    if (Status s = advance(); !s) return s.error();
    if (Status s = expect("ITEM: NUMBER OF ATOMS"); !s) return s.error();
    if (Status s = advance(); !s) return s.error();
    const auto count = text::parse_u64(text::trim(line));
    if (!count.value) return KnotError::data_parse(at_line(input_.lines()) + "bad atom count: " + count.error);

    // The box: "ITEM: BOX BOUNDS [xy xz yz] [flags]" and three lines.
    if (Status s = advance(); !s) return s.error();
    const std::vector<std::string_view> box_words = text::split_whitespace(line);
    if (box_words.size() < 4 || box_words[0] != "ITEM:" || box_words[1] != "BOX" || box_words[2] != "BOUNDS")
        return KnotError::data_parse(at_line(input_.lines()) + "expected 'ITEM: BOX BOUNDS', got " + quoted(line));
    std::size_t w = 3;
    const bool triclinic = box_words.size() >= 6 && box_words[3] == "xy" && box_words[4] == "xz" && box_words[5] == "yz";
    if (triclinic) w = 6;
    PeriodicBox box;
    for (std::size_t k = 0; k < 3 && w + k < box_words.size(); ++k) box.periodic[k] = box_words[w + k] == "pp";
    double bounds[3][3] = {};
    for (int axis = 0; axis < 3; ++axis) {
        if (Status s = advance(); !s) return s.error();
        const std::vector<std::string_view> numbers = text::split_whitespace(line);
        if (numbers.size() != (triclinic ? 3u : 2u))
            return KnotError::data_parse(at_line(input_.lines()) + "bad box bounds: " + quoted(line));
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            const auto value = text::parse_f64(numbers[k]);
            if (!value.value) return KnotError::data_parse(at_line(input_.lines()) + "bad box bounds: " + quoted(line));
            bounds[axis][k] = *value.value;
        }
    }
    // Triclinic bounds enclose the tilted box: the corner and lengths follow
    // from them and the tilts (xy, xz on the first two lines, yz on the third).
    const double xy = triclinic ? bounds[0][2] : 0.0, xz = triclinic ? bounds[1][2] : 0.0,
                 yz = triclinic ? bounds[2][2] : 0.0;
    const double xlo = bounds[0][0] - std::min({0.0, xy, xz, xy + xz});
    const double xhi = bounds[0][1] - std::max({0.0, xy, xz, xy + xz});
    const double ylo = bounds[1][0] - std::min(0.0, yz), yhi = bounds[1][1] - std::max(0.0, yz);
    box.origin = {xlo, ylo, bounds[2][0]};
    box.lx = xhi - xlo;
    box.ly = yhi - ylo;
    box.lz = bounds[2][1] - bounds[2][0];
    box.xy = xy;
    box.xz = xz;
    box.yz = yz;
    frame.box = box;

    if (Status s = advance(); !s) return s.error();
    const std::string header(text::trim(line));
    if (header.rfind("ITEM: ATOMS", 0) != 0)
        return KnotError::data_parse(at_line(input_.lines()) + "expected 'ITEM: ATOMS', got " + quoted(line));
    Result<bool> atoms = read_atoms(frame, std::string_view(header).substr(11), *count.value);
    if (!atoms) return atoms.error();
    ++frames_;
    return true;
}

Result<bool> LammpsReader::read_atoms(LammpsFrame& frame, std::string_view header, std::uint64_t count) {
    std::vector<std::string> names;
    for (const std::string_view name : text::split_whitespace(header)) names.emplace_back(name);
    const std::optional<Columns> found = columns_of(names);
    if (!found)
        return KnotError::data_parse(at_line(input_.lines()) +
                                     "the atoms have no x y z, xu yu zu, xs ys zs or xsu ysu zsu columns");
    const Columns& c = *found;
    // A declared count is trusted for reservation only up to this many atoms.
    constexpr std::uint64_t kReserveLimit = 1u << 20;
    const auto reserve = static_cast<std::size_t>(std::min(count, kReserveLimit));
    frame.unwrapped = c.unwrapped;
    frame.positions.clear();
    frame.positions.reserve(reserve);
    frame.ids.clear();
    frame.molecules.clear();
    frame.types.clear();
    frame.images.clear();
    if (c.id >= 0) frame.ids.reserve(reserve);
    if (c.mol >= 0) frame.molecules.reserve(reserve);
    if (c.type >= 0) frame.types.reserve(reserve);
    if (c.image[0] >= 0) frame.images.reserve(reserve);

    std::vector<std::string_view> fields;
    std::string_view line;
    bool ascii = false;
    const auto bad = [&](std::size_t column, const char* error) {
        return KnotError::data_parse(at_line(input_.lines()) + "bad " + names[column] + ": " + error);
    };
    std::vector<Role> roles(c.count, kSkip);
    const auto role_of = [&](int column, Role role) {
        if (column >= 0) roles[static_cast<std::size_t>(column)] = role;
    };
    role_of(c.id, kId);
    role_of(c.mol, kMol);
    role_of(c.type, kType);
    for (std::size_t k = 0; k < 3; ++k) {
        role_of(c.position[k], static_cast<Role>(kX + k));
        role_of(c.image[k], static_cast<Role>(kIx + k));
    }
    for (std::uint64_t a = 0; a < count;) {
        // Plain lines straight from the reader's buffer, many in one pass.
        const std::string_view block = input_.buffered_lines();
        const char* p = block.data();
        const char* const end = p + block.size();
        std::size_t parsed = 0;
        double xyz[3];
        std::int64_t integers[3] = {};
        std::int32_t image[3] = {};
        for (; a < count && p < end; ++a, ++parsed) {
            const char* const next = parse_atom_fast(p, end, roles, xyz, integers, image);
            if (!next) break;
            append_atom(frame, c, xyz, integers, image);
            p = next;
        }
        input_.skip_buffered(static_cast<std::size_t>(p - block.data()), parsed);
        if (a == count) break;
        if (p == end && !block.empty()) continue;
        // A line the fast pass does not read (or the last, without a line
        // break): read, checked and named on its own.
        Result<bool> more = required_line(line, ascii);
        if (!more) return more.error();
        ++a;
        const std::size_t got = split_line(line, ascii, fields, c.count + 1);
        if (got != c.count)
            return KnotError::data_parse(at_line(input_.lines()) + "expected " + std::to_string(c.count) + " columns, got " +
                                         (got > c.count ? "more" : std::to_string(got)));
        for (std::size_t k = 0; k < 3; ++k) {
            const auto column = static_cast<std::size_t>(c.position[k]);
            const auto value = text::parse_f64(fields[column]);
            if (!value.value) return bad(column, value.error);
            xyz[k] = *value.value;
        }
        for (const auto& [column, out] : {std::pair{c.id, &integers[0]}, std::pair{c.mol, &integers[1]},
                                          std::pair{c.type, &integers[2]}}) {
            if (column < 0) continue;
            const auto value = text::parse_i64(fields[static_cast<std::size_t>(column)]);
            if (!value.value) return bad(static_cast<std::size_t>(column), value.error);
            *out = *value.value;
        }
        for (std::size_t k = 0; k < 3 && c.image[0] >= 0; ++k) {
            const auto column = static_cast<std::size_t>(c.image[k]);
            const auto value = text::parse_i64(fields[column]);
            if (!value.value) return bad(column, value.error);
            if (*value.value < INT32_MIN || *value.value > INT32_MAX) return bad(column, "image flag out of range");
            image[k] = static_cast<std::int32_t>(*value.value);
        }
        append_atom(frame, c, xyz, integers, image);
    }
    if (frame.ids.empty()) return true;
    // Atoms in id order (dumps written in parallel are not).
    sort_by_ids(frame.ids, frame.positions, frame.molecules, frame.types, frame.images);
    const auto twice = std::adjacent_find(frame.ids.begin(), frame.ids.end());
    if (twice != frame.ids.end())
        return KnotError::data_parse("duplicate atom id " + std::to_string(*twice) + " in frame " +
                                     std::to_string(frames_));
    return true;
}

}  // namespace skeinlab
