// Atoms put in id order: files written in parallel list atoms in any order,
// and every per-atom column moves with its id.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace skeinlab {

// Sorts `ids` (stably) and every column of `columns` by them, when they are not
// in order already; an empty column (a file without it) stays empty.
template <class... Columns>
void sort_by_ids(std::vector<std::int64_t>& ids, Columns&... columns) {
    if (std::is_sorted(ids.begin(), ids.end())) return;
    std::vector<std::size_t> order(ids.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return ids[a] < ids[b]; });
    const auto permute = [&](auto& values) {
        if (values.empty()) return;
        auto sorted = values;
        for (std::size_t k = 0; k < order.size(); ++k) sorted[k] = values[order[k]];
        values = std::move(sorted);
    };
    (permute(columns), ...);
    permute(ids);
}

}  // namespace skeinlab
