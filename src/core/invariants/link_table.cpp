#include "invariants/link_table.hpp"

#include <string_view>

#include "base/error.hpp"
#include "invariants/link_table_data.hpp"

namespace skeinlab {

const PrimeLinkTable& PrimeLinkTable::builtin() {
    static const PrimeLinkTable table = [] {
        PrimeLinkTable t;
        std::string_view rest(kPrimeLinkHomfly);
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (line.empty()) continue;
            const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
            const std::optional<Laurent2> p =
                tab2 == std::string_view::npos ? std::nullopt : parse_laurent2(line.substr(tab2 + 1), 'v', 'z');
            if (!p) throw InternalError("bad row of the prime-link table");
            const auto index = static_cast<std::uint32_t>(t.names_.size());
            const std::string name(line.substr(0, tab1));
            t.names_.push_back(name);
            t.components_.push_back(static_cast<std::uint32_t>(std::stoul(std::string(line.substr(tab1 + 1, tab2 - tab1 - 1)))));
            t.homfly_.push_back(*p);
            const Laurent2 mirror = mirror_homfly(*p);
            if (mirror == *p) {
                t.by_text_[p->text()].push_back({index, 0, name});
            } else {
                t.by_text_[p->text()].push_back({index, '+', "+" + name});
                t.by_text_[mirror.text()].push_back({index, '-', "-" + name});
            }
        }
        return t;
    }();
    return table;
}

const std::vector<TableMatch>& PrimeLinkTable::lookup(const Laurent2& homfly) const {
    static const std::vector<TableMatch> none;
    const auto it = by_text_.find(homfly.text());
    return it == by_text_.end() ? none : it->second;
}

}  // namespace skeinlab
