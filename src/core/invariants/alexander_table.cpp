#include "invariants/alexander_table.hpp"

#include <algorithm>

#include "base/text.hpp"
#include "io/lines.hpp"

namespace skeinlab {
namespace {

// Name, a tab, the polynomial as stored (not normalized), a line feed.
constexpr std::string_view kBuiltinText =
    "1\t1\n"
    "3_1\t-1+t-t^2\n"
    "4_1\t-1+3*t-t^2\n"
    "5_1\t1-t+t^2-t^3+t^4\n"
    "5_2\t2-3*t+2*t^2\n"
    "6_1\t-2+5*t-2*t^2\n"
    "6_2\t1-3*t+3*t^2-3*t^3+t^4\n"
    "6_3\t1-3*t+5*t^2-3*t^3+t^4\n"
    "7_1\t1-t+t^2-t^3+t^4-t^5+t^6\n"
    "7_2\t3-5*t+3*t^2\n"
    "7_3\t2-3*t+3*t^2-3*t^3+2*t^4\n"
    "7_4\t4-7*t+4*t^2\n"
    "7_5\t2-4*t+5*t^2-4*t^3+2*t^4\n"
    "7_6\t1-5*t+7*t^2-5*t^3+t^4\n"
    "7_7\t1-5*t+9*t^2-5*t^3+t^4\n"
    "8_1\t3-7*t+3*t^2\n"
    "8_2\t1-3*t+3*t^2-3*t^3+3*t^4-3*t^5+t^6\n"
    "8_3\t4-9*t+4*t^2\n"
    "8_4\t2-5*t+5*t^2-5*t^3+2*t^4\n"
    "8_5\t1-3*t+4*t^2-5*t^3+4*t^4-3*t^5+t^6\n"
    "8_6\t2-6*t+7*t^2-6*t^3+2*t^4\n"
    "8_7\t1-3*t+5*t^2-5*t^3+5*t^4-3*t^5+t^6\n"
    "8_8\t2-6*t+9*t^2-6*t^3+2*t^4\n"
    "8_9\t1-3*t+5*t^2-7*t^3+5*t^4-3*t^5+t^6\n"
    "8_10\t1-3*t+6*t^2-7*t^3+6*t^4-3*t^5+t^6\n"
    "8_11\t2-7*t+9*t^2-7*t^3+2*t^4\n"
    "8_12\t1-7*t+13*t^2-7*t^3+t^4\n"
    "8_13\t2-7*t+11*t^2-7*t^3+2*t^4\n"
    "8_14\t2-8*t+11*t^2-8*t^3+2*t^4\n"
    "8_15\t3-8*t+11*t^2-8*t^3+3*t^4\n"
    "8_16\t1-4*t+8*t^2-9*t^3+8*t^4-4*t^5+t^6\n"
    "8_17\t1-4*t+8*t^2-11*t^3+8*t^4-4*t^5+t^6\n"
    "8_18\t1-5*t+10*t^2-13*t^3+10*t^4-5*t^5+t^6\n"
    "8_19\t1-t+t^3-t^5+t^6\n"
    "8_20\t1-2*t+3*t^2-2*t^3+t^4\n"
    "8_21\t1-4*t+5*t^2-4*t^3+t^4\n"
    "9_1\t1-t+t^2-t^3+t^4-t^5+t^6-t^7+t^8\n"
    "9_2\t4-7*t+4*t^2\n"
    "9_3\t2-3*t+3*t^2-3*t^3+3*t^4-3*t^5+2*t^6\n"
    "9_4\t3-5*t+5*t^2-5*t^3+3*t^4\n"
    "9_5\t6-11*t+6*t^2\n"
    "9_6\t2-4*t+5*t^2-5*t^3+5*t^4-4*t^5+2*t^6\n"
    "9_7\t3-7*t+9*t^2-7*t^3+3*t^4\n"
    "9_8\t2-8*t+11*t^2-8*t^3+2*t^4\n"
    "9_9\t2-4*t+6*t^2-7*t^3+6*t^4-4*t^5+2*t^6\n"
    "9_10\t4-8*t+9*t^2-8*t^3+4*t^4\n"
    "9_11\t1-5*t+7*t^2-7*t^3+7*t^4-5*t^5+t^6\n"
    "9_12\t2-9*t+13*t^2-9*t^3+2*t^4\n"
    "9_13\t4-9*t+11*t^2-9*t^3+4*t^4\n"
    "9_14\t2-9*t+15*t^2-9*t^3+2*t^4\n"
    "9_15\t2-10*t+15*t^2-10*t^3+2*t^4\n"
    "9_16\t2-5*t+8*t^2-9*t^3+8*t^4-5*t^5+2*t^6\n"
    "9_17\t1-5*t+9*t^2-9*t^3+9*t^4-5*t^5+t^6\n"
    "9_18\t4-10*t+13*t^2-10*t^3+4*t^4\n"
    "9_19\t2-10*t+17*t^2-10*t^3+2*t^4\n"
    "9_20\t1-5*t+9*t^2-11*t^3+9*t^4-5*t^5+t^6\n"
    "9_21\t2-11*t+17*t^2-11*t^3+2*t^4\n"
    "9_22\t1-5*t+10*t^2-11*t^3+10*t^4-5*t^5+t^6\n"
    "9_23\t4-11*t+15*t^2-11*t^3+4*t^4\n"
    "9_24\t1-5*t+10*t^2-13*t^3+10*t^4-5*t^5+t^6\n"
    "9_25\t3-12*t+17*t^2-12*t^3+3*t^4\n"
    "9_26\t1-5*t+11*t^2-13*t^3+11*t^4-5*t^5+t^6\n"
    "9_27\t1-5*t+11*t^2-15*t^3+11*t^4-5*t^5+t^6\n"
    "9_28\t1-5*t+12*t^2-15*t^3+12*t^4-5*t^5+t^6\n"
    "9_29\t1-5*t+12*t^2-15*t^3+12*t^4-5*t^5+t^6\n"
    "9_30\t1-5*t+12*t^2-17*t^3+12*t^4-5*t^5+t^6\n"
    "9_31\t1-5*t+13*t^2-17*t^3+13*t^4-5*t^5+t^6\n"
    "9_32\t1-6*t+14*t^2-17*t^3+14*t^4-6*t^5+t^6\n"
    "9_33\t1-6*t+14*t^2-19*t^3+14*t^4-6*t^5+t^6\n"
    "9_34\t1-6*t+16*t^2-23*t^3+16*t^4-6*t^5+t^6\n"
    "9_35\t7-13*t+7*t^2\n"
    "9_36\t1-5*t+8*t^2-9*t^3+8*t^4-5*t^5+t^6\n"
    "9_37\t2-11*t+19*t^2-11*t^3+2*t^4\n"
    "9_38\t5-14*t+19*t^2-14*t^3+5*t^4\n"
    "9_39\t3-14*t+21*t^2-14*t^3+3*t^4\n"
    "9_40\t1-7*t+18*t^2-23*t^3+18*t^4-7*t^5+t^6\n"
    "9_41\t3-12*t+19*t^2-12*t^3+3*t^4\n"
    "9_42\t1-2*t+t^2-2*t^3+t^4\n"
    "9_43\t1-3*t+2*t^2-t^3+2*t^4-3*t^5+t^6\n"
    "9_44\t1-4*t+7*t^2-4*t^3+t^4\n"
    "9_45\t1-6*t+9*t^2-6*t^3+t^4\n"
    "9_46\t2-5*t+2*t^2\n"
    "9_47\t1-4*t+6*t^2-5*t^3+6*t^4-4*t^5+t^6\n"
    "9_48\t1-7*t+11*t^2-7*t^3+t^4\n"
    "9_49\t3-6*t+7*t^2-6*t^3+3*t^4\n";

using Names = std::vector<std::string>;

void sort_by_key(Names& names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return knot_sort_key(a) < knot_sort_key(b);
    });
}

Result<AlexanderTable> read_table(LineReader& reader) {
    AlexanderTable table;
    std::string line;
    std::size_t line_number = 0;
    for (;;) {
        Result<bool> more = reader.next(line);
        if (!more) return more.error();
        if (!more.value()) break;
        ++line_number;
        const std::string_view row = text::trim(strip_line_ending(line));
        if (row.empty()) continue;
        const std::size_t cut = row.find_first_of("\t ");
        if (cut == std::string_view::npos)
            return KnotError::data_parse("line " + std::to_string(line_number) +
                                         ": expected 'knot_name polynomial', got '" + std::string(row) + "'");
        const std::string name(text::trim(row.substr(0, cut)));
        Result<Polynomial> parsed = parse_polynomial(text::trim(row.substr(cut + 1)));
        if (!parsed) return parsed.error();
        Polynomial p = std::move(parsed).value();
        Polynomial negated = neg(p);
        const bool distinct = !(negated == p);
        table.entries[std::move(p)].push_back(name);
        if (distinct) table.entries[std::move(negated)].push_back(name);
    }
    for (auto& [polynomial, names] : table.entries) {
        sort_by_key(names);
        names.erase(std::unique(names.begin(), names.end()), names.end());
    }
    return table;
}

}  // namespace

std::string_view builtin_table_text() { return kBuiltinText; }

std::optional<std::pair<std::uint32_t, std::uint32_t>> parse_knot_name(std::string_view name) {
    const std::size_t cut = name.find('_');
    if (cut == std::string_view::npos) return std::nullopt;
    const std::string_view crossings = name.substr(0, cut);
    const std::string_view index = name.substr(cut + 1);
    if (index.find('_') != std::string_view::npos) return std::nullopt;
    const auto c = text::parse_u32(crossings);
    const auto i = text::parse_u32(index);
    if (!c.value || !i.value) return std::nullopt;
    return std::make_pair(*c.value, *i.value);
}

std::pair<std::uint32_t, std::uint32_t> knot_sort_key(std::string_view name) {
    return parse_knot_name(name).value_or(std::make_pair(0u, 0u));
}

AlexanderTable AlexanderTable::builtin() {
    Result<AlexanderTable> table = from_text(kBuiltinText);
    if (!table) throw InternalError("built-in table is known-valid");
    return std::move(table).value();
}

Result<AlexanderTable> AlexanderTable::from_text(std::string_view text) {
    LineReader reader = LineReader::from_text(text);
    return read_table(reader);
}

Result<AlexanderTable> AlexanderTable::from_file(const std::string& path) {
    Result<LineReader> reader = LineReader::open(path);
    if (!reader) return reader.error();
    return read_table(reader.value());
}

Result<AlexanderTable> AlexanderTable::builtin_with_file(const std::string& path) {
    Result<AlexanderTable> file = from_file(path);
    if (!file) return file.error();
    AlexanderTable table = builtin();
    table.merge(std::move(file).value());
    return table;
}

void AlexanderTable::merge(AlexanderTable other) {
    for (auto& [polynomial, names] : other.entries) {
        Names& list = entries[polynomial];
        for (std::string& name : names)
            if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(std::move(name));
        if (list.size() >= 2) sort_by_key(list);
    }
}

const std::string* AlexanderTable::lookup(const Polynomial& p) const {
    if (entries.empty()) return nullptr;
    if (auto it = entries.find(p); it != entries.end() && !it->second.empty()) return &it->second.front();
    if (auto it = entries.find(neg(p)); it != entries.end() && !it->second.empty()) return &it->second.front();
    return nullptr;
}

}  // namespace skeinlab
