#include "arithmetic/sparse_lu.hpp"

#include <algorithm>
#include <functional>
#include <queue>

#include "base/error.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {

SparseLU::SparseLU(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows, const std::vector<Pivot>& order)
    : n_(n), row_step_(n), col_step_(n) {
    if (order.size() != n) throw InternalError("a sparse LU needs one pivot per row");
    for (std::size_t s = 0; s < n; ++s) {
        row_step_[order[s].row] = static_cast<std::uint32_t>(s);
        col_step_[order[s].col] = static_cast<std::uint32_t>(s);
    }
    // The permutation row -> column of the pivots, by its cycles.
    std::vector<std::uint8_t> seen(n, 0);
    std::size_t cycles = 0;
    for (std::size_t r = 0; r < n; ++r) {
        if (seen[r]) continue;
        ++cycles;
        for (std::size_t k = r; !seen[k]; k = order[row_step_[k]].col) seen[k] = 1;
    }
    odd_permutation_ = (n - cycles) % 2;

    a_start_.assign(1, 0);
    for (std::size_t s = 0; s < n; ++s) {
        for (const LinearEntry& e : rows[order[s].row]) {
            a_cols_.push_back(col_step_[e.col]);
            a_c0_.push_back(e.c0);
            a_c1_.push_back(e.c1);
        }
        a_start_.push_back(static_cast<std::uint32_t>(a_cols_.size()));
    }

    // The pattern, row by row: row s meets the U rows of the steps before it
    // where it has an entry, in increasing order (each may add columns).
    // Rows are padded with zeros (column 0) to a multiple of kWidth entries.
    l_start_.assign(1, 0);
    u_start_.assign(1, 0);
    l_count_.assign(n, 0);
    u_count_.assign(n, 0);
    std::vector<std::uint32_t> mark(n, UINT32_MAX);
    std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> below;
    std::vector<std::uint32_t> above;
    const auto pad = [](std::vector<std::uint32_t>& cols, std::vector<std::uint32_t>& start) {
        while (cols.size() % kWidth) cols.push_back(0);
        start.push_back(static_cast<std::uint32_t>(cols.size()));
    };
    for (std::size_t s = 0; s < n; ++s) {
        if (s % 256 == 0) cancellation_point();
        const auto tag = static_cast<std::uint32_t>(s);
        above.clear();
        bool diagonal = false;
        const auto meet = [&](std::uint32_t col) {
            if (mark[col] == tag) return;
            mark[col] = tag;
            if (col < s) below.push(col);
            else if (col > s) above.push_back(col);
            else diagonal = true;
        };
        for (std::uint32_t k = a_start_[s]; k < a_start_[s + 1]; ++k) meet(a_cols_[k]);
        while (!below.empty()) {
            const std::uint32_t t = below.top();
            below.pop();
            l_cols_.push_back(t);
            for (std::uint32_t k = u_start_[t]; k < u_start_[t] + u_count_[t]; ++k) meet(u_cols_[k]);
        }
        if (!diagonal) throw InternalError("a sparse LU's pivot is not an entry of its matrix");
        std::sort(above.begin(), above.end());
        u_cols_.insert(u_cols_.end(), above.begin(), above.end());
        l_count_[s] = static_cast<std::uint32_t>(l_cols_.size() - l_start_[s]);
        u_count_[s] = static_cast<std::uint32_t>(u_cols_.size() - u_start_[s]);
        pad(l_cols_, l_start_);
        pad(u_cols_, u_start_);
    }
}

bool SparseLU::factor(const modular::Montgomery& m, std::uint64_t x, Factors& out) const {
    out.m.emplace(m);
    const modular::Field f{m.p()};
    const std::uint64_t xm = m.to(x);
    out.l.assign(l_cols_.size(), 0);
    out.u.assign(u_cols_.size(), 0);
    out.pivot_inverses.resize(n_);
    out.c1.resize(a_c1_.size());
    for (std::size_t k = 0; k < a_c1_.size(); ++k) out.c1[k] = m.to(f.from_signed(a_c1_[k]));
    std::vector<std::uint64_t> work(n_, 0);
    std::uint64_t det = m.one();
    for (std::size_t s = 0; s < n_; ++s) {
        if (s % 256 == 0) cancellation_point();
        for (std::uint32_t k = a_start_[s]; k < a_start_[s + 1]; ++k)
            work[a_cols_[k]] = m.add(m.to(f.from_signed(a_c0_[k])), m.mul(out.c1[k], xm));
        for (std::uint32_t k = l_start_[s]; k < l_start_[s] + l_count_[s]; ++k) {
            const std::uint32_t t = l_cols_[k];
            const std::uint64_t factor = m.mul(work[t], out.pivot_inverses[t]);
            work[t] = 0;
            out.l[k] = factor;
            if (factor == 0) continue;
            for (std::uint32_t j = u_start_[t]; j < u_start_[t] + u_count_[t]; ++j) {
                std::uint64_t& w = work[u_cols_[j]];
                w = m.sub(w, m.mul(factor, out.u[j]));
            }
        }
        const std::uint64_t pivot = work[s];
        work[s] = 0;
        for (std::uint32_t k = u_start_[s]; k < u_start_[s] + u_count_[s]; ++k) {
            out.u[k] = work[u_cols_[k]];
            work[u_cols_[k]] = 0;
        }
        if (pivot == 0) return false;
        det = m.mul(det, pivot);
        out.pivot_inverses[s] = m.pow(pivot, m.p() - 2);
    }
    out.determinant = odd_permutation_ ? m.sub(0, det) : det;
    return true;
}

namespace {

// The sum of val[k] * v[cols[k]] over [begin, end), a multiple of kWidth
// entries, as 128 bits.
inline modular::u128 row_sum(const std::uint64_t* val, const std::uint32_t* cols, const std::uint64_t* v,
                             std::uint32_t begin, std::uint32_t end) {
    modular::u128 sum = 0;
    for (std::uint32_t k = begin; k < end; k += 4) {
        sum += static_cast<modular::u128>(val[k]) * v[cols[k]] + static_cast<modular::u128>(val[k + 1]) * v[cols[k + 1]];
        sum += static_cast<modular::u128>(val[k + 2]) * v[cols[k + 2]] +
               static_cast<modular::u128>(val[k + 3]) * v[cols[k + 3]];
    }
    return sum;
}

}  // namespace

void SparseLU::solve(const Factors& factors, std::uint64_t* v) const {
    const modular::Montgomery& m = *factors.m;
    // L y = b, then U x = y, in place; sums of products reduced once.
    for (std::size_t s = 0; s < n_; ++s)
        v[s] = m.sub(v[s], m.reduce_sum(row_sum(factors.l.data(), l_cols_.data(), v, l_start_[s], l_start_[s + 1])));
    for (std::size_t s = n_; s-- > 0;) {
        const modular::u128 sum = row_sum(factors.u.data(), u_cols_.data(), v, u_start_[s], u_start_[s + 1]);
        v[s] = m.mul(m.sub(v[s], m.reduce_sum(sum)), factors.pivot_inverses[s]);
    }
}

void SparseLU::multiply_t_part(const Factors& factors, const std::uint64_t* w, std::uint64_t* y) const {
    const modular::Montgomery& m = *factors.m;
    for (std::size_t s = 0; s < n_; ++s) {
        modular::u128 sum = 0;
        for (std::uint32_t k = a_start_[s]; k < a_start_[s + 1]; ++k)
            sum += static_cast<modular::u128>(factors.c1[k]) * w[a_cols_[k]];
        y[s] = m.reduce_sum(sum);
    }
}

}  // namespace skeinlab
