#include "arithmetic/elimination_order.hpp"

#include <algorithm>
#include <deque>
#include <queue>

#include "runtime/cancel.hpp"

namespace skeinlab {

std::vector<std::pair<std::uint32_t, std::uint32_t>> nested_dissection_order(
    std::size_t n, const std::vector<std::vector<LinearEntry>>& rows) {
    constexpr std::uint32_t kFree = UINT32_MAX;
    // A perfect matching of rows to columns: greedy, then augmenting paths
    // (an iterative depth-first search from each unmatched row).
    std::vector<std::uint32_t> col_of(n, kFree), row_of(n, kFree);
    for (std::uint32_t r = 0; r < n; ++r)
        for (const LinearEntry& e : rows[r])
            if (row_of[e.col] == kFree) {
                row_of[e.col] = r;
                col_of[r] = e.col;
                break;
            }
    std::vector<std::uint32_t> visited(n, kFree);
    std::vector<std::pair<std::uint32_t, std::size_t>> stack;  // (row, next entry to try)
    for (std::uint32_t r0 = 0; r0 < n; ++r0) {
        if (col_of[r0] != kFree) continue;
        if (r0 % 256 == 0) cancellation_point();
        stack.assign(1, {r0, 0});
        visited[r0] = r0;
        bool found = false;
        while (!stack.empty() && !found) {
            auto& [r, next] = stack.back();
            if (next == rows[r].size()) {
                stack.pop_back();
                continue;
            }
            const std::uint32_t c = rows[r][next++].col;
            const std::uint32_t holder = row_of[c];
            if (holder == kFree) {
                // Augment along the stack.
                std::uint32_t col = c;
                for (std::size_t k = stack.size(); k-- > 0;) {
                    const std::uint32_t row = stack[k].first;
                    const std::uint32_t previous = col_of[row];
                    col_of[row] = col;
                    row_of[col] = row;
                    col = previous;
                }
                found = true;
            } else if (visited[holder] != r0) {
                visited[holder] = r0;
                stack.push_back({holder, 0});
            }
        }
        if (!found) return {};
    }
    // The graph on rows: r and s joined when row r holds the column matched
    // to s (or the other way round).
    std::vector<std::vector<std::uint32_t>> adjacent(n);
    for (std::uint32_t r = 0; r < n; ++r)
        for (const LinearEntry& e : rows[r]) {
            const std::uint32_t s2 = row_of[e.col];
            if (s2 == r) continue;
            adjacent[r].push_back(s2);
            adjacent[s2].push_back(r);
        }
    for (std::vector<std::uint32_t>& a : adjacent) {
        std::sort(a.begin(), a.end());
        a.erase(std::unique(a.begin(), a.end()), a.end());
    }
    // Nested dissection over subsets marked by a tag; subsets are cut while
    // larger than kLeaf.
    constexpr std::size_t kLeaf = 64;
    std::vector<std::uint32_t> tag(n, 0), level(n, 0);
    std::uint32_t next_tag = 1;
    std::vector<std::uint32_t> order;
    order.reserve(n);
    std::vector<std::vector<std::uint32_t>> pending;  // subsets to order, with separators after them
    // Each entry: a subset to cut, or (marked by a leading kFree) a list to append as it is.
    pending.push_back({});
    pending.back().resize(n);
    for (std::uint32_t r = 0; r < n; ++r) pending.back()[r] = r;
    // Breadth-first levels from `start` within the vertices tagged t; returns the vertices reached in order.
    const auto bfs = [&](std::uint32_t start, std::uint32_t t, std::vector<std::uint32_t>& reached) {
        reached.clear();
        reached.push_back(start);
        tag[start] = t + 1;  // seen in this search
        level[start] = 0;
        for (std::size_t k = 0; k < reached.size(); ++k) {
            const std::uint32_t v = reached[k];
            for (const std::uint32_t w : adjacent[v]) {
                if (tag[w] != t) continue;
                tag[w] = t + 1;
                level[w] = level[v] + 1;
                reached.push_back(w);
            }
        }
        for (const std::uint32_t v : reached) tag[v] = t;
    };
    std::vector<std::uint32_t> reached;
    while (!pending.empty()) {
        std::vector<std::uint32_t> subset = std::move(pending.back());
        pending.pop_back();
        if (!subset.empty() && subset.front() == kFree) {
            order.insert(order.end(), subset.begin() + 1, subset.end());
            continue;
        }
        if (subset.size() <= kLeaf) {
            order.insert(order.end(), subset.begin(), subset.end());
            continue;
        }
        cancellation_point();
        const std::uint32_t t = next_tag;
        next_tag += 2;
        for (const std::uint32_t v : subset) tag[v] = t;
        // A far vertex: the last reached from the first, twice.
        bfs(subset.front(), t, reached);
        if (reached.size() < subset.size()) {
            // Not connected: the component apart from the rest.
            std::vector<std::uint32_t> rest;
            for (const std::uint32_t v : reached) tag[v] = 0;
            for (const std::uint32_t v : subset)
                if (tag[v] == t) rest.push_back(v);
            pending.push_back(std::move(rest));
            pending.push_back(reached);
            continue;
        }
        bfs(reached.back(), t, reached);
        bfs(reached.back(), t, reached);
        // The level where half the vertices have been reached is the separator.
        const std::uint32_t middle = level[reached[reached.size() / 2]];
        std::vector<std::uint32_t> near, far, separator{kFree};
        for (const std::uint32_t v : reached) {
            if (level[v] < middle) near.push_back(v);
            else if (level[v] > middle) far.push_back(v);
            else separator.push_back(v);
        }
        // Popped last first: near, then far, then the separator.
        pending.push_back(std::move(separator));
        pending.push_back(std::move(far));
        pending.push_back(std::move(near));
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pivots;
    pivots.reserve(n);
    for (const std::uint32_t r : order) pivots.push_back({r, col_of[r]});
    return pivots;
}

EliminationCost elimination_cost(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows,
                                 const std::vector<std::pair<std::uint32_t, std::uint32_t>>& order) {
    EliminationCost cost;
    std::vector<std::vector<std::uint32_t>> pattern(n), col_rows(n);
    std::size_t entries = 0;
    for (std::uint32_t r = 0; r < n; ++r) {
        for (const LinearEntry& e : rows[r]) {
            pattern[r].push_back(e.col);
            col_rows[e.col].push_back(r);
        }
        entries += rows[r].size();
    }
    cost.peak_entries = entries;
    std::vector<std::uint8_t> done(n, 0);
    std::vector<std::uint32_t> merged;
    for (const auto& [r, c] : order) {
        cancellation_point();
        done[r] = 1;
        const std::vector<std::uint32_t>& pivot_row = pattern[r];
        for (const std::uint32_t s : col_rows[c]) {
            if (done[s]) continue;
            // Row s loses column c and gains the pivot row's other columns.
            merged.clear();
            std::set_union(pattern[s].begin(), pattern[s].end(), pivot_row.begin(), pivot_row.end(),
                           std::back_inserter(merged));
            merged.erase(std::lower_bound(merged.begin(), merged.end(), c));
            for (const std::uint32_t col : pivot_row)
                if (col != c && !std::binary_search(pattern[s].begin(), pattern[s].end(), col))
                    col_rows[col].push_back(s);
            entries += merged.size();
            entries -= pattern[s].size();
            cost.ops += merged.size();
            ++cost.updates;
            pattern[s].swap(merged);
        }
        entries -= pivot_row.size();
        std::vector<std::uint32_t>().swap(pattern[r]);
        std::vector<std::uint32_t>().swap(col_rows[c]);
        cost.peak_entries = std::max(cost.peak_entries, entries);
    }
    return cost;
}

}  // namespace skeinlab
