#include "sparse_determinant.hpp"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>

namespace skeinlab {

SparseDeterminant::SparseDeterminant(std::size_t n, std::vector<std::vector<LinearEntry>> rows)
    : n_(n), pattern_(std::move(rows)) {}

std::uint64_t SparseDeterminant::evaluate(const modular::Field& f, std::uint64_t x) {
    const std::size_t n = n_;
    if (n == 0) return 1 % f.p;
    rows_.assign(n, {});
    col_rows_.assign(n, {});
    col_count_.assign(n, 0);
    row_done_.assign(n, 0);
    col_done_.assign(n, 0);
    for (std::size_t r = 0; r < n; ++r) {
        std::vector<Entry>& row = rows_[r];
        row.reserve(pattern_[r].size());
        for (const LinearEntry& e : pattern_[r]) {
            const std::uint64_t v = f.add(f.from_signed(e.c0), f.mul(f.from_signed(e.c1), x));
            if (v == 0) continue;
            row.push_back({e.col, v});
            col_rows_[e.col].push_back(static_cast<std::uint32_t>(r));
            ++col_count_[e.col];
        }
    }

    // Columns by their current count; stale heap entries are skipped.
    using Item = std::pair<std::uint32_t, std::uint32_t>;  // (count, column)
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
    for (std::size_t c = 0; c < n; ++c) heap.push({col_count_[c], static_cast<std::uint32_t>(c)});

    std::vector<std::uint32_t> pivot_col(n, 0);
    std::vector<std::uint32_t> candidates;
    std::uint64_t det = 1;
    auto find = [](const std::vector<Entry>& row, std::uint32_t col) -> const Entry* {
        auto it = std::lower_bound(row.begin(), row.end(), col,
                                   [](const Entry& e, std::uint32_t c) { return e.col < c; });
        return it != row.end() && it->col == col ? &*it : nullptr;
    };

    for (std::size_t step = 0; step < n; ++step) {
        Item top;
        for (;;) {
            top = heap.top();
            heap.pop();
            if (!col_done_[top.second] && top.first == col_count_[top.second]) break;
        }
        const std::uint32_t c = top.second;
        if (col_count_[c] == 0) return 0;  // an empty column: singular

        // The rows that hold column c; the shortest is the pivot row.
        candidates.clear();
        std::vector<std::uint32_t>& holders = col_rows_[c];
        std::uint32_t pivot = UINT32_MAX;
        for (const std::uint32_t r : holders) {
            if (row_done_[r] || !find(rows_[r], c)) continue;
            if (std::find(candidates.begin(), candidates.end(), r) != candidates.end()) continue;
            candidates.push_back(r);
            if (pivot == UINT32_MAX || rows_[r].size() < rows_[pivot].size() ||
                (rows_[r].size() == rows_[pivot].size() && r < pivot))
                pivot = r;
        }
        holders.clear();
        const std::vector<Entry>& prow = rows_[pivot];
        const std::uint64_t pv = find(prow, c)->value;
        det = f.mul(det, pv);
        const std::uint64_t inv = f.inv(pv);
        pivot_col[pivot] = c;
        row_done_[pivot] = 1;
        col_done_[c] = 1;
        for (const Entry& e : prow) {
            if (e.col == c) continue;
            --col_count_[e.col];
            heap.push({col_count_[e.col], e.col});
        }

        for (const std::uint32_t r : candidates) {
            if (r == pivot) continue;
            std::vector<Entry>& row = rows_[r];
            const std::uint64_t factor = f.mul(find(row, c)->value, inv);
            scratch_.clear();
            std::size_t a = 0, b = 0;
            while (a < row.size() || b < prow.size()) {
                if (b == prow.size() || (a < row.size() && row[a].col < prow[b].col)) {
                    if (row[a].col != c) scratch_.push_back(row[a]);
                    ++a;
                } else if (a == row.size() || prow[b].col < row[a].col) {
                    const Entry& pe = prow[b++];
                    if (pe.col == c) continue;
                    // Fill: a new entry in this row.
                    scratch_.push_back({pe.col, f.neg(f.mul(factor, pe.value))});
                    col_rows_[pe.col].push_back(r);
                    ++col_count_[pe.col];
                    heap.push({col_count_[pe.col], pe.col});
                } else {
                    const std::uint32_t col = row[a].col;
                    if (col != c) {
                        const std::uint64_t v = f.sub(row[a].value, f.mul(factor, prow[b].value));
                        if (v != 0) {
                            scratch_.push_back({col, v});
                        } else {
                            --col_count_[col];
                            heap.push({col_count_[col], col});
                        }
                    }
                    ++a;
                    ++b;
                }
            }
            row.swap(scratch_);
        }
    }

    // det(A) = sign(row -> pivot column) * product of the pivots.
    std::vector<std::uint8_t> seen(n, 0);
    std::size_t cycles = 0;
    for (std::size_t r = 0; r < n; ++r) {
        if (seen[r]) continue;
        ++cycles;
        for (std::size_t k = r; !seen[k]; k = pivot_col[k]) seen[k] = 1;
    }
    return (n - cycles) % 2 ? f.neg(det) : det;
}

}  // namespace skeinlab
