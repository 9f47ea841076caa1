#include "arithmetic/berlekamp_massey.hpp"

#include <algorithm>

#include "arithmetic/vector_residues.hpp"
#include "base/error.hpp"

namespace skeinlab {
namespace {

#ifdef SKEINLAB_VECTOR_RESIDUES
using vector_residues::FourLanes;
using vector_residues::mul_lanes;
using vector_residues::reduce_lanes;
using vector_residues::TwoLanes;

// a[n] + sum over i = 1 .. length of c[i] a[n - i] on L's lanes (residues in
// (-p, p), lane-interleaved), into (-p, p); sums reduced after every four
// products.
template <class L>
SKEINLAB_VECTOR_TARGET void discrepancy_lanes(const double* c, const double* a, std::size_t n, std::size_t length,
                                              const double* p_, const double* p_inverse_, double* out) {
    using V = typename L::V;
    constexpr std::size_t W = L::lanes;
    const V p = L::load(p_), p_inverse = L::load(p_inverse_);
    V sums[4] = {L::zero(), L::zero(), L::zero(), L::zero()};
    std::size_t i = 1;
    for (; i + 16 <= length + 1; i += 16)
        for (std::size_t j = 0; j < 4; ++j) {
            V group = L::zero();
            for (std::size_t k = 0; k < 4; ++k) {
                const std::size_t at = i + 4 * j + k;
                group = L::add(group, mul_lanes<L>(L::load(c + W * at), L::load(a + W * (n - at)), p, p_inverse));
            }
            sums[j] = reduce_lanes<L>(L::add(sums[j], group), p, p_inverse);
        }
    V sum = reduce_lanes<L>(L::add(L::add(sums[0], sums[1]), L::add(sums[2], sums[3])), p, p_inverse);
    for (; i <= length; ++i)
        sum = reduce_lanes<L>(L::add(sum, mul_lanes<L>(L::load(c + W * i), L::load(a + W * (n - i)), p, p_inverse)), p,
                              p_inverse);
    L::store(out, reduce_lanes<L>(L::add(sum, L::load(a + W * n)), p, p_inverse));
}

// c[i + shift] -= coef b[i] for every i of b, on L's lanes, into (-p, p).
template <class L>
SKEINLAB_VECTOR_TARGET void update_lanes(double* c, const double* b, std::size_t size, std::size_t shift,
                                         const double* coef_, const double* p_, const double* p_inverse_) {
    using V = typename L::V;
    constexpr std::size_t W = L::lanes;
    const V p = L::load(p_), p_inverse = L::load(p_inverse_), coef = L::load(coef_);
    for (std::size_t i = 0; i < size; ++i) {
        const V x = L::sub(L::load(c + W * (i + shift)), mul_lanes<L>(coef, L::load(b + W * i), p, p_inverse));
        L::store(c + W * (i + shift), reduce_lanes<L>(x, p, p_inverse));
    }
}
#endif

}  // namespace

LaneRecurrences::LaneRecurrences(const std::vector<modular::Montgomery>& ms, const double* p, const double* p_inverse)
    : ms_(ms), lanes_(ms.size()), c_(lanes_, 1.0), b_(lanes_, 1.0), last_(lanes_, 1) {
    for (std::size_t i = 0; i < lanes_; ++i) {
        p_[i] = p[i];
        p_inverse_[i] = p_inverse[i];
    }
}

void LaneRecurrences::add(const std::uint64_t* t, std::size_t solved, std::size_t max_degree) {
#ifdef SKEINLAB_VECTOR_RESIDUES
    if (!alone_.empty()) {
        for (std::size_t i = 0; i < lanes_; ++i)
            if (!alone_[i].done) alone_[i].add(ms_[i].to_reduced(t[i]), solved, max_degree);
        return;
    }
    const std::size_t n = terms_;
    for (std::size_t i = 0; i < lanes_; ++i) a_.push_back(static_cast<double>(t[i]));
    double d[4];
    const std::size_t reach = std::min(length_, c_.size() / lanes_ - 1);
    if (lanes_ == 2) discrepancy_lanes<TwoLanes>(c_.data(), a_.data(), n, reach, p_, p_inverse_, d);
    else discrepancy_lanes<FourLanes>(c_.data(), a_.data(), n, reach, p_, p_inverse_, d);
    std::size_t zeros = 0;
    for (std::size_t i = 0; i < lanes_; ++i) zeros += d[i] == 0;
    if (zeros != 0 && zeros != lanes_) return diverge(max_degree);
    ++terms_;
    solves_ = solved;
    if (zeros == lanes_) {
        ++shift_;
        ++settled_;
    } else {
        double coef[4];
        for (std::size_t i = 0; i < lanes_; ++i) {
            const modular::Field f{ms_[i].p()};
            const std::uint64_t di = residue(d[i], i);
            coef[i] = static_cast<double>(f.mul(di, f.inv(last_[i])));
            d[i] = static_cast<double>(di);
        }
        const std::size_t b_size = b_.size() / lanes_;
        if (c_.size() < lanes_ * (b_size + shift_)) c_.resize(lanes_ * (b_size + shift_), 0.0);
        std::vector<double> before;
        const bool longer = 2 * length_ <= n;
        if (longer) before = c_;
        if (lanes_ == 2) update_lanes<TwoLanes>(c_.data(), b_.data(), b_size, shift_, coef, p_, p_inverse_);
        else update_lanes<FourLanes>(c_.data(), b_.data(), b_size, shift_, coef, p_, p_inverse_);
        if (longer) {
            length_ = n + 1 - length_;
            b_.swap(before);
            for (std::size_t i = 0; i < lanes_; ++i) last_[i] = static_cast<std::uint64_t>(d[i]);
            shift_ = 1;
        } else {
            ++shift_;
        }
        settled_ = 0;
    }
    if (length_ > max_degree) done_ = failed_ = true;
    else if (settled_ >= kSettled && terms_ >= 2 * length_ + kSettled) done_ = true;
#else
    (void)t, (void)solved, (void)max_degree;
    throw InternalError("primes side by side need vector arithmetic");
#endif
}

void LaneRecurrences::diverge(std::size_t max_degree) {
    for (std::size_t i = 0; i < lanes_; ++i) {
        alone_.emplace_back(ms_[i]);
        for (std::size_t k = 0; k <= terms_; ++k)
            alone_[i].add(ms_[i].to_reduced(static_cast<std::uint64_t>(a_[lanes_ * k + i])), k, max_degree);
    }
}

std::vector<std::uint64_t> LaneRecurrences::recurrence(std::size_t lane) const {
    if (!alone_.empty()) return alone_[lane].bm.recurrence();
    std::vector<std::uint64_t> c(length_ + 1, 0);
    for (std::size_t k = 0; k < c.size() && lanes_ * k < c_.size(); ++k) c[k] = residue(c_[lanes_ * k + lane], lane);
    return c;
}

}  // namespace skeinlab
