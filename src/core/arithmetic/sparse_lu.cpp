#include "arithmetic/sparse_lu.hpp"

#include <algorithm>
#include <functional>
#include <queue>

#include "arithmetic/vector_residues.hpp"
#include "base/error.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {

SparseLU::SparseLU(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows, const std::vector<Pivot>& order,
                   std::optional<std::int64_t> point)
    : n_(n), point_(point), row_step_(n), col_step_(n) {
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
    // A1's non-zero entries by row: those +1, then those -1 (from
    // t_split_[s] on), then any others.
    t_start_.assign(1, 0);
    t_split_.resize(n);
    for (std::size_t s = 0; s < n; ++s) {
        const auto take = [&](const auto& wanted) {
            for (std::uint32_t k = a_start_[s]; k < a_start_[s + 1]; ++k) {
                if (!wanted(a_c1_[k])) continue;
                t_cols_.push_back(a_cols_[k]);
                t_c1_.push_back(a_c1_[k]);
            }
        };
        take([](std::int64_t c) { return c == 1; });
        t_split_[s] = static_cast<std::uint32_t>(t_cols_.size());
        take([](std::int64_t c) { return c == -1; });
        const std::size_t units = t_cols_.size();
        take([](std::int64_t c) { return c != 0 && c != 1 && c != -1; });
        unit_t_part_ = unit_t_part_ && t_cols_.size() == units;
        t_start_.push_back(static_cast<std::uint32_t>(t_cols_.size()));
    }

    // The pattern, row by row: row s meets the U rows of the steps before it
    // where it has an entry, in increasing order (each may add columns).
    l_start_.assign(1, 0);
    u_start_.assign(1, 0);
    std::vector<std::uint32_t> mark(n, UINT32_MAX);
    std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> below;
    std::vector<std::uint32_t> above;
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
        for (std::uint32_t k = a_start_[s]; k < a_start_[s + 1]; ++k)
            if (!point || a_c0_[k] + a_c1_[k] * *point != 0) meet(a_cols_[k]);
        while (!below.empty()) {
            const std::uint32_t t = below.top();
            below.pop();
            l_cols_.push_back(t);
            for (std::uint32_t k = u_start_[t]; k < u_start_[t + 1]; ++k) meet(u_cols_[k]);
        }
        if (!diagonal) throw InternalError("a sparse LU's pivot is not an entry of its matrix");
        std::sort(above.begin(), above.end());
        u_cols_.insert(u_cols_.end(), above.begin(), above.end());
        l_start_.push_back(static_cast<std::uint32_t>(l_cols_.size()));
        u_start_.push_back(static_cast<std::uint32_t>(u_cols_.size()));
    }
    find_forest();
}

void SparseLU::find_forest() {
    // Entries off the diagonal on one side only, A1's entries +-1, at most
    // one of each sign in a row.
    if (!point_ || (!l_cols_.empty() && !u_cols_.empty()) || !unit_t_part_) return;
    const bool backward = l_cols_.empty();
    const std::vector<std::uint32_t>& start = backward ? u_start_ : l_start_;
    const std::vector<std::uint32_t>& cols = backward ? u_cols_ : l_cols_;
    std::vector<UnitForest::Step> steps(n_);
    for (std::size_t s = 0; s < n_; ++s) {
        if (start[s + 1] - start[s] > 1 || t_split_[s] - t_start_[s] > 1 || t_start_[s + 1] - t_split_[s] > 1) return;
        UnitForest::Step& step = steps[s];
        step = {0, 0, UnitForest::kNone, UnitForest::kNone, UnitForest::kNone};
        for (std::uint32_t k = a_start_[s]; k < a_start_[s + 1]; ++k) {
            const std::int64_t value = a_c0_[k] + a_c1_[k] * *point_;
            if (value == 0) continue;
            if (a_cols_[k] == s) step.pivot = value;
            else step.other = value;
        }
        if (start[s + 1] > start[s]) step.other_step = cols[start[s]];
        if (t_split_[s] > t_start_[s]) step.plus = t_cols_[t_start_[s]];
        if (t_start_[s + 1] > t_split_[s]) step.minus = t_cols_[t_split_[s]];
    }
    forest_ = UnitForest::make(backward, steps);
}

bool SparseLU::factor(const modular::Montgomery& m, std::uint64_t x, Factors& out) const {
    if (point_ && modular::Field{m.p()}.from_signed(*point_) != x) return false;
    out.m.emplace(m);
    const modular::Field f{m.p()};
    const std::uint64_t xm = m.to(x);
    out.l.assign(l_cols_.size(), 0);
    out.u.assign(u_cols_.size(), 0);
    out.pivot_inverses.resize(n_);
    out.c1.resize(t_c1_.size());
    for (std::size_t k = 0; k < t_c1_.size(); ++k) out.c1[k] = m.to(f.from_signed(t_c1_[k]));
    std::vector<std::uint64_t> work(n_, 0);
    std::uint64_t det = m.one();
    for (std::size_t s = 0; s < n_; ++s) {
        if (s % 256 == 0) cancellation_point();
        // (Entries zero at the point, outside the pattern, are written as 0.)
        for (std::uint32_t k = a_start_[s]; k < a_start_[s + 1]; ++k)
            work[a_cols_[k]] = m.add(m.to(f.from_signed(a_c0_[k])), m.mul(m.to(f.from_signed(a_c1_[k])), xm));
        for (std::uint32_t k = l_start_[s]; k < l_start_[s + 1]; ++k) {
            const std::uint32_t t = l_cols_[k];
            const std::uint64_t factor = m.mul(work[t], out.pivot_inverses[t]);
            work[t] = 0;
            out.l[k] = factor;
            if (factor == 0) continue;
            for (std::uint32_t j = u_start_[t]; j < u_start_[t + 1]; ++j) {
                std::uint64_t& w = work[u_cols_[j]];
                w = m.sub(w, m.mul(factor, out.u[j]));
            }
        }
        const std::uint64_t pivot = work[s];
        work[s] = 0;
        for (std::uint32_t k = u_start_[s]; k < u_start_[s + 1]; ++k) {
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

// The sum of val[k] * v[cols[k]] over [begin, end), as 128 bits.
inline modular::u128 row_sum(const std::uint64_t* val, const std::uint32_t* cols, const std::uint64_t* v,
                             std::uint32_t begin, std::uint32_t end) {
    modular::u128 sum = 0;
    for (std::uint32_t k = begin; k < end; ++k) sum += static_cast<modular::u128>(val[k]) * v[cols[k]];
    return sum;
}

}  // namespace

void SparseLU::solve(const Factors& factors, std::uint64_t* v) const {
    const modular::Montgomery& m = *factors.m;
    // L y = b, then U x = y, in place; sums of products reduced once.
    for (std::size_t s = 0; s < n_; ++s)
        v[s] = m.sub(v[s], m.reduce_sum(row_sum(factors.l.data(), l_cols_.data(), v, l_start_[s], l_start_[s + 1])));
    cancellation_point();
    for (std::size_t s = n_; s-- > 0;) {
        const modular::u128 sum = row_sum(factors.u.data(), u_cols_.data(), v, u_start_[s], u_start_[s + 1]);
        v[s] = m.mul(m.sub(v[s], m.reduce_sum(sum)), factors.pivot_inverses[s]);
    }
}

void SparseLU::multiply_t_part(const Factors& factors, const std::uint64_t* w, std::uint64_t* y) const {
    const modular::Montgomery& m = *factors.m;
    for (std::size_t s = 0; s < n_; ++s) {
        modular::u128 sum = 0;
        for (std::uint32_t k = t_start_[s]; k < t_start_[s + 1]; ++k)
            sum += static_cast<modular::u128>(factors.c1[k]) * w[t_cols_[k]];
        y[s] = m.reduce_sum(sum);
    }
}

bool SparseLU::prime_lanes_available() {
#ifdef SKEINLAB_VECTOR_RESIDUES
    return vector_residues::cpu_has_vector_residues();
#else
    return false;
#endif
}

SparseLU::PrimeLanes SparseLU::side_by_side(const std::vector<const Factors*>& factors) const {
    PrimeLanes out;
    out.lanes = factors.size();
    if (out.lanes != 2 && out.lanes != 4) throw InternalError("primes go side by side by two or four");
    const std::size_t lanes = out.lanes;
    for (std::size_t i = 0; i < lanes; ++i) {
        out.p[i] = static_cast<double>(factors[i]->m->p());
        out.p_inverse[i] = 1.0 / out.p[i];
    }
    const auto interleave = [&](std::vector<double>& to, std::vector<std::uint64_t> Factors::*member) {
        const std::size_t size = (factors[0]->*member).size();
        to.resize(lanes * size);
        for (std::size_t i = 0; i < lanes; ++i) {
            const modular::Montgomery& m = *factors[i]->m;
            const std::vector<std::uint64_t>& from = factors[i]->*member;
            for (std::size_t k = 0; k < size; ++k) to[lanes * k + i] = static_cast<double>(m.from(from[k]));
        }
    };
    interleave(out.l, &Factors::l);
    interleave(out.u, &Factors::u);
    interleave(out.pivot_inverses, &Factors::pivot_inverses);
    if (!unit_t_part_) interleave(out.c1, &Factors::c1);
    return out;
}

#ifdef SKEINLAB_VECTOR_RESIDUES
namespace {

using vector_residues::FourLanes;
using vector_residues::mul_lanes;
using vector_residues::reduce_lanes;
using vector_residues::TwoLanes;

// The sum over the entries [begin, end) of values[j] * v[cols[j]], on L's
// lanes (one prime each), in (-5p, 5p): each product lies in (-p, p), a
// group of four in (-4p, 4p), and the sum of the groups before is reduced
// into (-p, p) before a group joins it (rows of one group are never reduced
// here: the caller's one reduction is all the row waits for).
template <class L>
SKEINLAB_VECTOR_TARGET inline typename L::V product(const double* values, const std::uint32_t* cols, const double* v,
                                                    std::uint32_t k, typename L::V p, typename L::V p_inverse) {
    return mul_lanes<L>(L::load(values + L::lanes * std::size_t{k}), L::load(v + L::lanes * std::size_t{cols[k]}), p,
                        p_inverse);
}

template <class L>
SKEINLAB_VECTOR_TARGET inline typename L::V row_sum(const double* values, const std::uint32_t* cols, const double* v,
                                                    std::uint32_t begin, std::uint32_t end, typename L::V p,
                                                    typename L::V p_inverse) {
    using V = typename L::V;
    V sum = L::zero();
    std::uint32_t k = begin;
    for (; k + 4 <= end; k += 4) {
        const V group = L::add(L::add(product<L>(values, cols, v, k, p, p_inverse),
                                      product<L>(values, cols, v, k + 1, p, p_inverse)),
                               L::add(product<L>(values, cols, v, k + 2, p, p_inverse),
                                      product<L>(values, cols, v, k + 3, p, p_inverse)));
        sum = k == begin ? group : L::add(reduce_lanes<L>(sum, p, p_inverse), group);
    }
    if (k == end) return sum;
    if (k != begin) sum = reduce_lanes<L>(sum, p, p_inverse);
    for (; k < end; ++k) sum = L::add(sum, product<L>(values, cols, v, k, p, p_inverse));
    return sum;
}

// Where a solve's right-hand side comes from: v itself, or A1 w formed row
// by row with A1's entries all +1 or -1, or any.
enum class RightSide { given, unit_t_part, t_part };

// Row s of A1 w, in (-3p, 3p) (so that the solve's b - sum, with the sum in
// (-5p, 5p), stays below 8p < 2^53): with unit entries those in
// [start, split) added and those in [split, end) subtracted, rows of up to
// three unreduced; else each multiplied by its coefficient, reduced after
// every four and at the end.
template <class L, RightSide kSide>
SKEINLAB_VECTOR_TARGET inline typename L::V t_row(const std::uint32_t* start, const std::uint32_t* split,
                                                  const std::uint32_t* cols, const SparseLU::PrimeLanes& f,
                                                  const double* w, std::size_t s, typename L::V p,
                                                  typename L::V p_inverse) {
    using V = typename L::V;
    constexpr std::size_t W = L::lanes;
    const std::uint32_t begin = start[s], end = start[s + 1];
    V sum = L::zero();
    // A knot's rows: at most one +1 and one -1 (most have both).
    if (kSide == RightSide::unit_t_part && end - begin == 2 && split[s] == begin + 1)
        return L::sub(L::load(w + W * std::size_t{cols[begin]}), L::load(w + W * std::size_t{cols[begin + 1]}));
    if (kSide == RightSide::unit_t_part && end - begin <= 3) {
        for (std::uint32_t k = begin; k < split[s]; ++k) sum = L::add(sum, L::load(w + W * std::size_t{cols[k]}));
        for (std::uint32_t k = split[s]; k < end; ++k) sum = L::sub(sum, L::load(w + W * std::size_t{cols[k]}));
        return sum;
    }
    for (std::uint32_t k = begin; k < end; ++k) {
        const V x = L::load(w + W * std::size_t{cols[k]});
        if (kSide == RightSide::t_part)
            sum = L::add(sum, mul_lanes<L>(L::load(f.c1.data() + W * std::size_t{k}), x, p, p_inverse));
        else if (k < split[s])
            sum = L::add(sum, x);
        else
            sum = L::sub(sum, x);
        if ((k - begin) % 4 == 3) sum = reduce_lanes<L>(sum, p, p_inverse);
    }
    return reduce_lanes<L>(sum, p, p_inverse);
}

// The factors' pattern and A1's entries (see SparseLU's members).
struct Pattern {
    const std::uint32_t *l_start, *l_cols, *u_start, *u_cols, *t_start, *t_split, *t_cols;
};

// x = A^-1 b in place, b as kSide says (w given for A1 w).
template <class L, RightSide kSide>
SKEINLAB_VECTOR_TARGET void solve_lanes(std::size_t n, const Pattern& a, const SparseLU::PrimeLanes& f,
                                        const double* w, double* v) {
    using V = typename L::V;
    constexpr std::size_t W = L::lanes;
    const V p = L::load(f.p), p_inverse = L::load(f.p_inverse);
    for (std::size_t s = 0; s < n; ++s) {
        const V sum = row_sum<L>(f.l.data(), a.l_cols, v, a.l_start[s], a.l_start[s + 1], p, p_inverse);
        const V b = kSide == RightSide::given ? L::load(v + W * s)
                                              : t_row<L, kSide>(a.t_start, a.t_split, a.t_cols, f, w, s, p, p_inverse);
        L::store(v + W * s, reduce_lanes<L>(L::sub(b, sum), p, p_inverse));
    }
    cancellation_point();
    for (std::size_t s = n; s-- > 0;) {
        const V sum = row_sum<L>(f.u.data(), a.u_cols, v, a.u_start[s], a.u_start[s + 1], p, p_inverse);
        const V y = reduce_lanes<L>(L::sub(L::load(v + W * s), sum), p, p_inverse);
        L::store(v + W * s, mul_lanes<L>(y, L::load(f.pivot_inverses.data() + W * s), p, p_inverse));
    }
}

template <class L>
SKEINLAB_VECTOR_TARGET inline typename L::V product_at(const double* u, const double* w, std::size_t s,
                                                       typename L::V p, typename L::V p_inverse) {
    return mul_lanes<L>(L::load(u + L::lanes * s), L::load(w + L::lanes * s), p, p_inverse);
}

// Four sums side by side, each reduced after every fourth product it takes
// (products lie in (-p, p)): four chains of dependent operations instead of
// one.
template <class L>
SKEINLAB_VECTOR_TARGET void dot_lanes(std::size_t n, const SparseLU::PrimeLanes& f, const double* u, const double* w,
                                      std::uint64_t* out) {
    using V = typename L::V;
    constexpr std::size_t W = L::lanes;
    const V p = L::load(f.p), p_inverse = L::load(f.p_inverse);
    V sums[4] = {L::zero(), L::zero(), L::zero(), L::zero()};
    std::size_t s = 0;
    for (; s + 16 <= n; s += 16) {
        for (std::size_t j = 0; j < 4; ++j) {
            const std::size_t b = s + 4 * j;
            const V group = L::add(L::add(product_at<L>(u, w, b, p, p_inverse), product_at<L>(u, w, b + 1, p, p_inverse)), L::add(product_at<L>(u, w, b + 2, p, p_inverse), product_at<L>(u, w, b + 3, p, p_inverse)));
            sums[j] = reduce_lanes<L>(L::add(sums[j], group), p, p_inverse);
        }
    }
    V sum = L::add(L::add(sums[0], sums[1]), L::add(sums[2], sums[3]));
    for (; s < n; ++s) sum = reduce_lanes<L>(L::add(sum, product_at<L>(u, w, s, p, p_inverse)), p, p_inverse);
    sum = reduce_lanes<L>(sum, p, p_inverse);
    double lanes[W];
    L::store(lanes, sum);
    for (std::size_t i = 0; i < W; ++i) {
        const auto r = static_cast<std::int64_t>(lanes[i]);
        out[i] = static_cast<std::uint64_t>(r < 0 ? r + static_cast<std::int64_t>(f.p[i]) : r);
    }
}

}  // namespace
#endif

void SparseLU::dot(const PrimeLanes& factors, const double* u, const double* w, std::uint64_t* out) const {
#ifdef SKEINLAB_VECTOR_RESIDUES
    if (factors.lanes == 2) return dot_lanes<TwoLanes>(n_, factors, u, w, out);
    return dot_lanes<FourLanes>(n_, factors, u, w, out);
#else
    (void)factors, (void)u, (void)w, (void)out;
    throw InternalError("primes side by side need vector arithmetic");
#endif
}

void SparseLU::solve(const PrimeLanes& factors, double* v) const { solve_lanes_of(factors, nullptr, v); }

void SparseLU::solve_t_part(const PrimeLanes& factors, const double* w, double* v) const {
    solve_lanes_of(factors, w, v);
}

void SparseLU::solve_lanes_of(const PrimeLanes& factors, const double* w, double* v) const {
#ifdef SKEINLAB_VECTOR_RESIDUES
    const Pattern a{l_start_.data(), l_cols_.data(), u_start_.data(), u_cols_.data(),
                    t_start_.data(), t_split_.data(), t_cols_.data()};
    if (forest_) {
        const LaneModuli m{factors.lanes, factors.p, factors.p_inverse};
        return w ? forest_->solve_t_part(m, w, v) : forest_->solve(m, v);
    }
    const auto solve = [&](auto lanes) {
        using L = decltype(lanes);
        if (!w) solve_lanes<L, RightSide::given>(n_, a, factors, w, v);
        else if (factors.c1.empty()) solve_lanes<L, RightSide::unit_t_part>(n_, a, factors, w, v);
        else solve_lanes<L, RightSide::t_part>(n_, a, factors, w, v);
    };
    if (factors.lanes == 2) return solve(TwoLanes{});
    return solve(FourLanes{});
#else
    (void)factors, (void)w, (void)v;
    throw InternalError("primes side by side need vector arithmetic");
#endif
}

}  // namespace skeinlab
