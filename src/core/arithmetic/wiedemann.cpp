#include "arithmetic/wiedemann.hpp"

#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

// Berlekamp-Massey over a prime field in Montgomery form, one term at a
// time: the shortest recurrence C (C[0] = 1) of the terms so far.
class BerlekampMassey {
public:
    explicit BerlekampMassey(const modular::Montgomery& m) : m_(m), c_{m.one()}, b_{m.one()}, last_(m.one()) {}
    std::size_t length() const { return length_; }
    // Adds a term; true when it changed the recurrence.
    bool add(std::uint64_t term) {
        terms_.push_back(term);
        const std::size_t n = terms_.size() - 1;
        modular::u128 sum = 0;
        for (std::size_t i = 1; i <= length_ && i < c_.size(); ++i)
            sum += static_cast<modular::u128>(c_[i]) * terms_[n - i];
        const std::uint64_t d = m_.add(term, m_.reduce_sum(sum));
        if (d == 0) {
            ++shift_;
            return false;
        }
        const std::uint64_t coef = m_.mul(d, m_.pow(last_, m_.p() - 2));
        if (c_.size() < b_.size() + shift_) c_.resize(b_.size() + shift_, 0);
        if (2 * length_ <= n) {
            std::vector<std::uint64_t> before = c_;
            for (std::size_t i = 0; i < b_.size(); ++i) c_[i + shift_] = m_.sub(c_[i + shift_], m_.mul(coef, b_[i]));
            length_ = n + 1 - length_;
            b_.swap(before);
            last_ = d;
            shift_ = 1;
        } else {
            for (std::size_t i = 0; i < b_.size(); ++i) c_[i + shift_] = m_.sub(c_[i + shift_], m_.mul(coef, b_[i]));
            ++shift_;
        }
        return true;
    }
    // The recurrence, C[0] .. C[length], out of Montgomery form.
    std::vector<std::uint64_t> recurrence() const {
        std::vector<std::uint64_t> out(length_ + 1, 0);
        for (std::size_t i = 0; i < out.size() && i < c_.size(); ++i) out[i] = m_.from(c_[i]);
        return out;
    }

private:
    modular::Montgomery m_;
    std::vector<std::uint64_t> terms_, c_, b_;
    std::uint64_t last_;
    std::size_t length_ = 0, shift_ = 1;
};

// Terms that must follow the last change of the recurrence, beyond twice its
// length, before it is taken as the sequence's.
constexpr std::size_t kSettled = 16;

}  // namespace

std::optional<PencilImage> pencil_image(const SparseLU& lu, const SparseLU::Factors& factors, const modular::Field& f, std::uint64_t t0, Stream& stream,
                                        std::size_t max_degree) {
    const modular::Montgomery m(f.p);
    const std::size_t n = lu.size();
    std::vector<std::uint64_t> u(n), w(n), y(n);
    for (std::uint64_t& x : u) x = stream.below(0, f.p);
    for (std::uint64_t& x : w) x = stream.below(0, f.p);

    BerlekampMassey bm(m);
    PencilImage out;
    std::size_t settled = 0, terms = 0;
    for (;;) {
        cancellation_point();
        modular::u128 sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += static_cast<modular::u128>(u[i]) * w[i];
        ++terms;
        settled = bm.add(m.reduce_sum(sum)) ? 0 : settled + 1;
        if (bm.length() > max_degree) return std::nullopt;
        if (settled >= kSettled && terms >= 2 * bm.length() + kSettled) break;
        // w = B^-1 A1 w.
        lu.multiply_t_part(factors, w.data(), y.data());
        lu.solve(factors, y.data());
        w.swap(y);
        ++out.iterations;
    }

    // The minimal polynomial mu^L C(1/mu), without its roots 0 and 1/t0.
    const std::vector<std::uint64_t> c = bm.recurrence();
    const std::size_t length = c.size() - 1;
    std::size_t zeros = 0;
    while (zeros < length && c[length - zeros] == 0) ++zeros;
    std::vector<std::uint64_t> r;  // lowest power first
    for (std::size_t k = zeros; k <= length; ++k) r.push_back(c[length - k]);
    const std::uint64_t root = f.inv(t0);
    for (;;) {
        cancellation_point();
        // r = (mu - root) q + remainder
        if (r.size() < 2) break;
        std::vector<std::uint64_t> q(r.size() - 1);
        std::uint64_t carry = 0;
        for (std::size_t i = r.size(); i-- > 1;) {
            carry = f.add(r[i], f.mul(carry, root));
            q[i - 1] = carry;
        }
        if (f.add(r[0], f.mul(carry, root)) != 0) break;
        r.swap(q);
    }
    // prod (1 + s mu_i) over R's roots = sum_j (-1)^j r[D - j] s^j (R monic),
    // then s = t - t0 by Horner's rule, in place (Montgomery form).
    const std::size_t degree = r.size() - 1;
    const std::uint64_t t0m = m.to(t0);
    std::vector<std::uint64_t> p;
    for (std::size_t j = degree + 1; j-- > 0;) {
        if (j % 64 == 0) cancellation_point();
        // p = p * (t - t0) + coefficient of s^j
        p.push_back(0);
        for (std::size_t i = p.size() - 1; i > 0; --i) p[i] = m.sub(p[i - 1], m.mul(t0m, p[i]));
        const std::uint64_t coefficient = m.to_reduced(r[degree - j]);
        p[0] = m.sub(j % 2 ? m.sub(0, coefficient) : coefficient, m.mul(t0m, p[0]));
    }
    for (std::uint64_t& x : p) x = m.from(x);
    out.value = m.from(factors.determinant);
    out.factor = std::move(p);
    return out;
}

}  // namespace skeinlab
