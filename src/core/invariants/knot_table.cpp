#include "invariants/knot_table.hpp"

#include <algorithm>

#include <string_view>

#include "arithmetic/polynomial.hpp"
#include "base/error.hpp"
#include "invariants/knot_table_data.hpp"

namespace skeinlab {
namespace {

// The Alexander polynomial of a knot from its HOMFLY-PT polynomial: the
// Conway polynomial P(v = 1, z) at z^2 = t - 2 + t^-1, normalized as
// ExactPolynomial is (no factor t, highest coefficient positive).
std::string alexander_text(const Laurent2& homfly) {
    Laurent2 z2 = Laurent2::monomial(1, 1, 0);
    z2 += Laurent2::monomial(-2, 0, 0);
    z2 += Laurent2::monomial(1, -1, 0);
    Laurent2 delta;
    for (const auto& [e, c] : homfly.terms()) {
        Laurent2 term = Laurent2::monomial(c, 0, 0);
        for (std::int32_t k = 0; k < e.second / 2; ++k) term = term * z2;
        delta += term;
    }
    Polynomial p;
    if (!delta.is_zero()) {
        const std::int32_t low = delta.terms().begin()->first.first;
        p.coeffs.assign(static_cast<std::size_t>(delta.terms().rbegin()->first.first - low + 1), 0);
        for (const auto& [e, c] : delta.terms()) p.coeffs[static_cast<std::size_t>(e.first - low)] = c;
    }
    return fmt(normalize(p));
}

}  // namespace

void for_each_table_row(const char* text, const char* what,
                        const std::function<void(std::string_view, std::string_view, const Laurent2&)>& visit) {
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty()) continue;
        const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
        const std::optional<Laurent2> p =
            tab2 == std::string_view::npos ? std::nullopt : parse_laurent2(line.substr(tab2 + 1), 'v', 'z');
        if (!p) throw InternalError(std::string("bad row of the ") + what);
        visit(line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1), *p);
    }
}

void index_both_chiralities(std::unordered_map<std::string, std::vector<TableMatch>>& by_text, std::uint32_t index,
                            const std::string& name, const Laurent2& homfly) {
    const Laurent2 mirror = mirror_homfly(homfly);
    if (mirror == homfly) {
        by_text[homfly.text()].push_back({index, 0, name});
    } else {
        by_text[homfly.text()].push_back({index, '+', "+" + name});
        by_text[mirror.text()].push_back({index, '-', "-" + name});
    }
}

const PrimeKnotTable& PrimeKnotTable::builtin() {
    static const PrimeKnotTable table = [] {
        PrimeKnotTable t;
        for_each_table_row(kPrimeKnotHomfly, "prime-knot table",
                           [&](std::string_view name_text, std::string_view symmetry, const Laurent2& p) {
                               const auto index = static_cast<std::uint32_t>(t.names_.size());
                               const std::string name(name_text);
                               t.names_.push_back(name);
                               t.crossings_.push_back(static_cast<std::uint32_t>(
                                   std::stoul(name.substr(0, name.find_first_not_of("0123456789")))));
                               t.max_crossings_ = std::max(t.max_crossings_, t.crossings_.back());
                               t.amphichiral_.push_back(symmetry == "a");
                               t.homfly_.push_back(p);
                               t.alexanders_.insert(alexander_text(p));
                               index_both_chiralities(t.by_text_, index, name, p);
                           });
        return t;
    }();
    return table;
}

const std::vector<TableMatch>& PrimeKnotTable::lookup(const Laurent2& homfly) const {
    static const std::vector<TableMatch> none;
    const auto it = by_text_.find(homfly.text());
    return it == by_text_.end() ? none : it->second;
}

}  // namespace skeinlab
