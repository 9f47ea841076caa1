#include "arithmetic/unit_forest.hpp"

#include <algorithm>

#include "arithmetic/vector_residues.hpp"
#include "base/error.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {

std::optional<UnitForest> UnitForest::make(bool backward, const std::vector<Step>& steps) {
    UnitForest f;
    const std::size_t n = steps.size();
    f.n_ = n;
    f.backward_ = backward;
    for (std::size_t j = 0; j <= kBlocks; ++j) f.block_start_[j] = static_cast<std::uint32_t>(n * j / kBlocks);
    f.rows_.resize(n);
    f.parent_.resize(n);
    f.fix_.resize(n);
    const auto unit = [](std::int64_t v) { return v == 1 || v == -1; };
    // The walk, position by position: each step's parent, and the sign and
    // anchor of what enters its block (x_s = z_s + c_s x_anchor(s)).
    std::vector<std::uint32_t> position(n), anchor(n, kNone);
    std::vector<std::int64_t> c(n, 0);
    std::size_t block = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (i >= f.block_start_[block + 1]) ++block;
        const std::size_t s = backward ? n - 1 - i : i;
        const auto self = static_cast<std::uint32_t>(s);
        position[s] = static_cast<std::uint32_t>(i);
        const Step& step = steps[s];
        if (!unit(step.pivot) || (step.other != 0 && !unit(step.other))) return std::nullopt;
        Row& r = f.rows_[s];
        if (step.pivot < 0) r.flags |= kEpsNegative;
        const bool first = i == f.block_start_[block];
        const std::uint32_t before = first ? self : backward ? self + 1 : self - 1;
        f.parent_[s] = before;
        if (step.other == 0) continue;
        const std::uint32_t t = step.other_step;
        if (t >= n || (backward ? t <= s : t >= s)) return std::nullopt;
        // x_s = d_s b_s - d_s a_st x_t (for L through y_s = d_s x_s).
        const std::int64_t eta = -step.pivot * step.other;
        if (position[t] >= f.block_start_[block]) {
            r.eta = code(eta);
            if (t != before) r.flags |= kFarParent;
            f.parent_[s] = t;
            c[s] = eta * c[t];
            if (c[s] != 0) anchor[s] = anchor[t];
        } else {
            c[s] = eta;
            anchor[s] = t;
        }
    }
    for (std::size_t s = 0; s < n; ++s)
        if (anchor[s] != kNone) f.anchors_.push_back(anchor[s]);
    std::sort(f.anchors_.begin(), f.anchors_.end(),
              [&](std::uint32_t a, std::uint32_t b) { return position[a] < position[b]; });
    f.anchors_.erase(std::unique(f.anchors_.begin(), f.anchors_.end()), f.anchors_.end());
    if (f.anchors_.size() > 255) return std::nullopt;
    std::vector<std::uint8_t> slot(n, 0);
    for (std::size_t d = 0; d < f.anchors_.size(); ++d) slot[f.anchors_[d]] = static_cast<std::uint8_t>(d);
    // An anchor's own anchor lies in a block before its own: an earlier slot.
    for (std::size_t s = 0; s < n; ++s) f.fix_[s] = {anchor[s] == kNone ? std::uint8_t{0} : slot[anchor[s]], code(c[s])};
    for (std::size_t s = 0; s < n; ++s) {
        Row& r = f.rows_[s];
        const Step& step = steps[s];
        if (step.plus != kNone) {
            if (step.plus >= n) return std::nullopt;
            r.flags |= kHasPlus;
            r.plus = step.plus;
            r.plus_slot = f.fix_[step.plus].slot;
            r.plus_c = f.fix_[step.plus].c;
        }
        if (step.minus != kNone) {
            if (step.minus >= n) return std::nullopt;
            r.flags |= kHasMinus;
            r.minus = step.minus;
            r.minus_slot = f.fix_[step.minus].slot;
            r.minus_c = f.fix_[step.minus].c;
        }
    }
    return f;
}

#ifdef SKEINLAB_VECTOR_RESIDUES
namespace {

using vector_residues::FourLanes;
using vector_residues::mul_lanes;
using vector_residues::reduce_lanes;
using vector_residues::TwoLanes;

constexpr double kSign[3] = {0.0, 1.0, -1.0};

// f(FourLanes{}) or f(TwoLanes{}) by the lanes of m.
template <class F>
void with_lanes(const LaneModuli& m, F&& f) {
    if (m.lanes == 4) return f(FourLanes{});
    if (m.lanes == 2) return f(TwoLanes{});
    throw InternalError("primes go side by side by two or four");
}

// Entry col of a vector (kCorrected: read through its anchors).
template <class L, bool kCorrected>
SKEINLAB_VECTOR_TARGET inline typename L::V entry(const double* w, const double* w_anchors, std::uint32_t col,
                                                  std::uint8_t slot, std::uint8_t c) {
    const typename L::V z = L::load(w + L::lanes * std::size_t{col});
    if (!kCorrected) return z;
    return L::fmadd(L::broadcast(kSign[c]), L::load(w_anchors + L::lanes * std::size_t{slot}), z);
}

// For every step s with c_s != 0: to_s += c_s from_slot(s) (kIntoSteps: a
// vector's true values from its walks and anchors), or to_slot(s) += c_s
// from_s (the sums of c_s u_s by anchor).
template <class L, bool kIntoSteps, class Fix>
SKEINLAB_VECTOR_TARGET void add_by_anchor(const LaneModuli& m, const std::vector<Fix>& fix, const double* from,
                                          double* to) {
    constexpr std::size_t W = L::lanes;
    const typename L::V p = L::load(m.p), p_inverse = L::load(m.p_inverse);
    for (std::size_t s = 0; s < fix.size(); ++s) {
        if (fix[s].c == 0) continue;
        const std::size_t at = kIntoSteps ? s : fix[s].slot, read = kIntoSteps ? fix[s].slot : s;
        const typename L::V x = L::fmadd(L::broadcast(kSign[fix[s].c]), L::load(from + W * read), L::load(to + W * at));
        L::store(to + W * at, reduce_lanes<L>(x, p, p_inverse));
    }
}

}  // namespace

// The walks of the blocks [kFirst, kFirst + kSpan) side by side, into v (z).
// b is v itself (kGiven) or A1 w, w's entries read through w_anchors
// (kCorrected); with kDot, the share of u . z these blocks hold. All the
// blocks (kSpan = kBlocks) go on to the true values at the anchors, into
// v_anchors, and with kDot the terms; half of them leave their share of
// the dot product in `half_sum` (one residue in (-p, p) a lane).
// Values: a corrected entry lies in (-2p, 2p), b in (-4p, 4p), the sum with
// the parent's term in (-5p, 5p), reduced into (-p, p); dot products are
// summed four at a time into a sum in (-p, p).
struct UnitForest::Kernels {
template <class L, bool kCorrected, bool kGiven, bool kDot, std::size_t kFirst, std::size_t kSpan>
SKEINLAB_VECTOR_TARGET static void walk(const UnitForest& f, const LaneModuli& m, const double* w,
                                        const double* w_anchors, double* v, const double* u,
                                        const std::vector<double>* u_anchors, double* v_anchors,
                                        std::uint64_t* terms, double* half_sum) {
    const auto& block_start_ = f.block_start_;
    const auto& rows_ = f.rows_;
    const auto& parent_ = f.parent_;
    const std::size_t n_ = f.n_;
    const bool backward_ = f.backward_;
    using V = typename L::V;
    constexpr std::size_t W = L::lanes;
    static_assert(kSpan == 4 || kSpan == 8);  // the dot product's groups of four
    const V p = L::load(m.p), p_inverse = L::load(m.p_inverse);
    // Each block's last value stays in a register: a parent is nearly always
    // the step before on the walk.
    V last[kSpan];
    std::size_t longest = 0;
    for (std::size_t j = 0; j < kSpan; ++j) {
        last[j] = L::zero();
        longest = std::max<std::size_t>(longest, block_start_[kFirst + j + 1] - block_start_[kFirst + j]);
    }
    V sum = L::zero();
    for (std::size_t k = 0; k < longest; ++k) {
        V group[2] = {L::zero(), L::zero()};
#pragma GCC unroll 8
        for (std::size_t j = 0; j < kSpan; ++j) {
            const std::size_t i = block_start_[kFirst + j] + k;
            if (i >= block_start_[kFirst + j + 1]) continue;
            const std::size_t s = backward_ ? n_ - 1 - i : i;
            const Row& r = rows_[s];
            V b = L::zero();
            if (kGiven) {
                b = L::load(v + W * s);
            } else {
                if (r.flags & kHasPlus) b = entry<L, kCorrected>(w, w_anchors, r.plus, r.plus_slot, r.plus_c);
                if (r.flags & kHasMinus) b = L::sub(b, entry<L, kCorrected>(w, w_anchors, r.minus, r.minus_slot, r.minus_c));
            }
            const V before = r.flags & kFarParent ? L::load(v + W * std::size_t{parent_[s]}) : last[j];
            const V eps_b = L::mul(L::broadcast(r.flags & kEpsNegative ? -1.0 : 1.0), b);
            last[j] = reduce_lanes<L>(L::fmadd(L::broadcast(kSign[r.eta]), before, eps_b), p, p_inverse);
            L::store(v + W * s, last[j]);
            if (kDot) group[j / 4] = L::add(group[j / 4], mul_lanes<L>(L::load(u + W * s), last[j], p, p_inverse));
        }
        if (kDot) {
            sum = reduce_lanes<L>(L::add(sum, group[0]), p, p_inverse);
            if (kSpan > 4) sum = reduce_lanes<L>(L::add(sum, group[1]), p, p_inverse);
        }
    }
    if constexpr (kSpan == kBlocks) {
        anchors<L, kDot>(f, m, v, u_anchors, v_anchors, sum, terms);
    } else {
        if (kDot) L::store(half_sum, sum);
    }
}

// After the walks: the true values at the anchors, from v's z, into
// v_anchors; with kDot, `sum` (the walks' share of u . x, in (-p, p)) and the
// anchors' terms, into terms (residues in [0, p)).
template <class L, bool kDot>
SKEINLAB_VECTOR_TARGET static inline void anchors(const UnitForest& f, const LaneModuli& m, const double* v,
                                                  const std::vector<double>* u_anchors, double* v_anchors,
                                                  typename L::V sum, std::uint64_t* terms) {
    using V = typename L::V;
    constexpr std::size_t W = L::lanes;
    const V p = L::load(m.p), p_inverse = L::load(m.p_inverse);
    for (std::size_t d = 0; d < f.anchors_.size(); ++d) {
        const Fix fix = f.fix_[f.anchors_[d]];
        const V z = L::load(v + W * std::size_t{f.anchors_[d]});
        const V a = L::fmadd(L::broadcast(kSign[fix.c]), L::load(v_anchors + W * std::size_t{fix.slot}), z);
        L::store(v_anchors + W * d, reduce_lanes<L>(a, p, p_inverse));
        if (kDot) {
            const V term = mul_lanes<L>(L::load(u_anchors->data() + W * d), L::load(v_anchors + W * d), p, p_inverse);
            sum = reduce_lanes<L>(L::add(sum, term), p, p_inverse);
        }
    }
    if (!kDot) return;
    double lanes[W];
    L::store(lanes, sum);
    for (std::size_t i = 0; i < W; ++i) {
        const auto r = static_cast<std::int64_t>(lanes[i]);
        terms[i] = static_cast<std::uint64_t>(r < 0 ? r + static_cast<std::int64_t>(m.p[i]) : r);
    }
}

// The end of a step walked in halves: their sums, then the anchors.
template <class L>
SKEINLAB_VECTOR_TARGET static void end_of_halves(const UnitForest& f, const LaneModuli& m,
                                                const std::vector<double>& u_anchors, Vector& y, const double* sums,
                                                std::uint64_t* terms) {
    const typename L::V p = L::load(m.p), p_inverse = L::load(m.p_inverse);
    typename L::V sum = L::zero();
    for (std::size_t i = 0; i < kHalves; ++i) sum = reduce_lanes<L>(L::add(sum, L::load(sums + L::lanes * i)), p, p_inverse);
    anchors<L, true>(f, m, y.z.data(), &u_anchors, y.a.data(), sum, terms);
}
};

void UnitForest::step(const LaneModuli& m, const double* u, const std::vector<double>& u_anchors, const Vector& w,
                      Vector& y, std::uint64_t* terms) const {
    cancellation_point();
    y.z.resize(m.lanes * n_);
    y.a.resize(m.lanes * anchors_.size());
    with_lanes(m, [&](auto lanes) {
        using L = decltype(lanes);
        Kernels::walk<L, true, false, true, 0, kBlocks>(*this, m, w.z.data(), w.a.data(), y.z.data(), u, &u_anchors,
                                                        y.a.data(), terms, nullptr);
    });
}

void UnitForest::step_halves(const LaneModuli& m, Vector& y) const {
    cancellation_point();
    y.z.resize(m.lanes * n_);
    y.a.resize(m.lanes * anchors_.size());
}

void UnitForest::step_half(const LaneModuli& m, const double* u, const Vector& w, Vector& y, std::size_t half,
                           double* sums) const {
    static_assert(kHalves == 2 && kBlocks % 2 == 0);
    constexpr std::size_t span = kBlocks / 2;
    with_lanes(m, [&](auto lanes) {
        using L = decltype(lanes);
        if (half == 0)
            Kernels::walk<L, true, false, true, 0, span>(*this, m, w.z.data(), w.a.data(), y.z.data(), u, nullptr,
                                                         nullptr, nullptr, sums);
        else
            Kernels::walk<L, true, false, true, span, span>(*this, m, w.z.data(), w.a.data(), y.z.data(), u, nullptr,
                                                            nullptr, nullptr, sums + m.lanes);
    });
}

void UnitForest::step_end(const LaneModuli& m, const std::vector<double>& u_anchors, Vector& y, const double* sums,
                          std::uint64_t* terms) const {
    with_lanes(m, [&](auto lanes) { Kernels::end_of_halves<decltype(lanes)>(*this, m, u_anchors, y, sums, terms); });
}

std::vector<double> UnitForest::anchor_dots(const LaneModuli& m, const double* u) const {
    std::vector<double> out(m.lanes * anchors_.size(), 0.0);
    with_lanes(m, [&](auto lanes) { add_by_anchor<decltype(lanes), false>(m, fix_, u, out.data()); });
    return out;
}

void UnitForest::solve(const LaneModuli& m, double* v) const {
    solve_t_part(m, nullptr, v);
}

void UnitForest::solve_t_part(const LaneModuli& m, const double* w, double* v) const {
    cancellation_point();
    std::vector<double> anchors(m.lanes * anchors_.size());
    with_lanes(m, [&](auto lanes) {
        using L = decltype(lanes);
        if (w)
            Kernels::walk<L, false, false, false, 0, kBlocks>(*this, m, w, nullptr, v, nullptr, nullptr, anchors.data(),
                                                               nullptr, nullptr);
        else
            Kernels::walk<L, false, true, false, 0, kBlocks>(*this, m, nullptr, nullptr, v, nullptr, nullptr,
                                                              anchors.data(), nullptr, nullptr);
        add_by_anchor<L, true>(m, fix_, anchors.data(), v);
    });
}

#else

void UnitForest::step(const LaneModuli&, const double*, const std::vector<double>&, const Vector&, Vector&,
                      std::uint64_t*) const {
    throw InternalError("primes side by side need vector arithmetic");
}
void UnitForest::step_halves(const LaneModuli&, Vector&) const {
    throw InternalError("primes side by side need vector arithmetic");
}
void UnitForest::step_half(const LaneModuli&, const double*, const Vector&, Vector&, std::size_t, double*) const {
    throw InternalError("primes side by side need vector arithmetic");
}
void UnitForest::step_end(const LaneModuli&, const std::vector<double>&, Vector&, const double*,
                          std::uint64_t*) const {
    throw InternalError("primes side by side need vector arithmetic");
}
std::vector<double> UnitForest::anchor_dots(const LaneModuli&, const double*) const {
    throw InternalError("primes side by side need vector arithmetic");
}
void UnitForest::solve(const LaneModuli&, double*) const {
    throw InternalError("primes side by side need vector arithmetic");
}
void UnitForest::solve_t_part(const LaneModuli&, const double*, double*) const {
    throw InternalError("primes side by side need vector arithmetic");
}

#endif

}  // namespace skeinlab
