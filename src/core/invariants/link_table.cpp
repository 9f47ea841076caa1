#include "invariants/link_table.hpp"

#include <string_view>

#include "invariants/link_table_data.hpp"

namespace skeinlab {

const PrimeLinkTable& PrimeLinkTable::builtin() {
    static const PrimeLinkTable table = [] {
        PrimeLinkTable t;
        for_each_table_row(kPrimeLinkHomfly, "prime-link table",
                           [&](std::string_view name_text, std::string_view components, const Laurent2& p) {
                               const auto index = static_cast<std::uint32_t>(t.names_.size());
                               const std::string name(name_text);
                               t.names_.push_back(name);
                               t.components_.push_back(static_cast<std::uint32_t>(std::stoul(std::string(components))));
                               t.homfly_.push_back(p);
                               index_both_chiralities(t.by_text_, index, name, p);
                           });
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
