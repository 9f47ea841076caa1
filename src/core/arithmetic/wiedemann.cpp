#include "arithmetic/wiedemann.hpp"

#include <algorithm>

#include "arithmetic/vector_residues.hpp"
#include "base/error.hpp"
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

// P from the recurrence of a sequence (see the header).
PencilImage image_of(const std::vector<std::uint64_t>& c, const modular::Montgomery& m, const modular::Field& f,
                     std::uint64_t t0) {
    PencilImage out;
    // The minimal polynomial mu^L C(1/mu), without its roots 0 and 1/t0.
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
    out.factor = std::move(p);
    return out;
}

// Feeds a sequence's terms to its recurrence until it is done: settled, or
// past max_degree (failed).
struct Recurrence {
    explicit Recurrence(const modular::Montgomery& m) : bm(m) {}
    BerlekampMassey bm;
    std::size_t settled = 0, terms = 0, solves = 0;
    bool done = false, failed = false;
    void add(std::uint64_t term, std::size_t solved, std::size_t max_degree) {
        ++terms;
        settled = bm.add(term) ? 0 : settled + 1;
        solves = solved;
        if (bm.length() > max_degree) done = failed = true;
        else if (settled >= kSettled && terms >= 2 * bm.length() + kSettled) done = true;
    }
};

// u and w drawn from a task's stream (residues, in Montgomery form).
void draw_vectors(const PencilTask& task, std::size_t n, const modular::Montgomery& m, std::vector<std::uint64_t>& u,
                  std::vector<std::uint64_t>& w) {
    u.resize(n);
    w.resize(n);
    for (std::uint64_t& x : u) x = m.to_reduced(task.stream->below(0, task.f.p));
    for (std::uint64_t& x : w) x = m.to_reduced(task.stream->below(0, task.f.p));
}

std::optional<PencilImage> finish(const Recurrence& r, const modular::Montgomery& m, const PencilTask& task) {
    if (r.failed) return std::nullopt;
    PencilImage out = image_of(r.bm.recurrence(), m, task.f, task.t0);
    out.value = m.from(task.factors->determinant);
    out.iterations = r.solves;
    return out;
}

// One prime, in words.
std::optional<PencilImage> one_pencil(const SparseLU& lu, const PencilTask& task, std::size_t max_degree) {
    const modular::Montgomery m(task.f.p);
    const std::size_t n = lu.size();
    std::vector<std::uint64_t> u, w, y(n);
    draw_vectors(task, n, m, u, w);
    Recurrence r(m);
    for (std::size_t solved = 0;; ++solved) {
        cancellation_point();
        modular::u128 sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += static_cast<modular::u128>(u[i]) * w[i];
        r.add(m.reduce_sum(sum), solved, max_degree);
        if (r.done) break;
        // w = B^-1 A1 w.
        lu.multiply_t_part(*task.factors, w.data(), y.data());
        lu.solve(*task.factors, y.data());
        w.swap(y);
    }
    return finish(r, m, task);
}

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

// The recurrences of two or four sequences, one per lane (a prime each), by
// Berlekamp-Massey in vector arithmetic: the same steps for every lane
// while their discrepancies are all zero or all non-zero, which sequences
// of the same degree (one matrix, several primes) keep to in practice. The
// first step where they differ hands each lane to a Recurrence of its own,
// fed the terms so far. The recurrences, done and failed flags are those
// a Recurrence gives each sequence.
class LaneRecurrences {
public:
    LaneRecurrences(const std::vector<modular::Montgomery>& ms, const SparseLU::PrimeLanes& side)
        : ms_(ms), lanes_(ms.size()), c_(lanes_, 1.0), b_(lanes_, 1.0), last_(lanes_, 1) {
        for (std::size_t i = 0; i < lanes_; ++i) {
            p_[i] = side.p[i];
            p_inverse_[i] = side.p_inverse[i];
        }
    }
    bool done(std::size_t lane) const { return alone_.empty() ? done_ : alone_[lane].done; }

    // The lanes' next terms (residues in [0, p)), after `solved` solves.
    void add(const std::uint64_t* t, std::size_t solved, std::size_t max_degree) {
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
    }

    // Lane i's image (see finish()).
    std::optional<PencilImage> finish(std::size_t i, const PencilTask& task) const {
        if (!alone_.empty()) return skeinlab::finish(alone_[i], ms_[i], task);
        if (failed_) return std::nullopt;
        std::vector<std::uint64_t> c(length_ + 1, 0);
        for (std::size_t k = 0; k < c.size() && lanes_ * k < c_.size(); ++k) c[k] = residue(c_[lanes_ * k + i], i);
        PencilImage out = image_of(c, ms_[i], task.f, task.t0);
        out.value = ms_[i].from(task.factors->determinant);
        out.iterations = solves_;
        return out;
    }

private:
    std::uint64_t residue(double x, std::size_t lane) const {
        return static_cast<std::uint64_t>(x < 0 ? x + p_[lane] : x);
    }
    // Every lane on its own from here: a Recurrence fed the terms so far
    // (the last one included).
    void diverge(std::size_t max_degree) {
        for (std::size_t i = 0; i < lanes_; ++i) {
            alone_.emplace_back(ms_[i]);
            for (std::size_t k = 0; k <= terms_; ++k)
                alone_[i].add(ms_[i].to_reduced(static_cast<std::uint64_t>(a_[lanes_ * k + i])), k, max_degree);
        }
    }

    const std::vector<modular::Montgomery>& ms_;
    std::size_t lanes_;
    double p_[4] = {}, p_inverse_[4] = {};
    std::vector<double> a_, c_, b_;  // lane-interleaved: the terms, C and B
    std::vector<std::uint64_t> last_;
    std::size_t length_ = 0, shift_ = 1, settled_ = 0, terms_ = 0, solves_ = 0;
    bool done_ = false, failed_ = false;
    std::vector<Recurrence> alone_;
};
#endif

// Two or four primes in vector arithmetic: the same vectors, terms and
// results as one_pencil() on each (residues out of Montgomery form, in
// doubles).
std::vector<std::optional<PencilImage>> pencils_side_by_side(const SparseLU& lu, const std::vector<PencilTask>& tasks,
                                                             std::size_t max_degree) {
    const std::size_t n = lu.size(), lanes = tasks.size();
    std::vector<const SparseLU::Factors*> factors;
    for (const PencilTask& task : tasks) factors.push_back(task.factors);
    const SparseLU::PrimeLanes side = lu.side_by_side(factors);
    std::vector<double> u(lanes * n), w(lanes * n), y(lanes * n);
    std::vector<modular::Montgomery> ms;
    for (std::size_t i = 0; i < lanes; ++i) {
        ms.emplace_back(tasks[i].f.p);
        std::vector<std::uint64_t> ui, wi;
        draw_vectors(tasks[i], n, ms[i], ui, wi);
        for (std::size_t k = 0; k < n; ++k) {
            u[lanes * k + i] = static_cast<double>(ms[i].from(ui[k]));
            w[lanes * k + i] = static_cast<double>(ms[i].from(wi[k]));
        }
    }
#ifdef SKEINLAB_VECTOR_RESIDUES
    LaneRecurrences rs(ms, side);
    std::uint64_t terms[4];
    for (std::size_t solved = 0;; ++solved) {
        cancellation_point();
        lu.dot(side, u.data(), w.data(), terms);
        rs.add(terms, solved, max_degree);
        bool all = true;
        for (std::size_t i = 0; i < lanes; ++i) all = all && rs.done(i);
        if (all) break;
        lu.solve_t_part(side, w.data(), y.data());
        w.swap(y);
    }
    std::vector<std::optional<PencilImage>> out;
    for (std::size_t i = 0; i < lanes; ++i) out.push_back(rs.finish(i, tasks[i]));
    return out;
#else
    (void)max_degree;
    throw InternalError("primes side by side need vector arithmetic");
#endif
}

}  // namespace

std::optional<PencilImage> pencil_image(const SparseLU& lu, const SparseLU::Factors& factors, const modular::Field& f,
                                        std::uint64_t t0, Stream& stream, std::size_t max_degree) {
    return one_pencil(lu, PencilTask{&factors, f, t0, &stream}, max_degree);
}

std::vector<std::optional<PencilImage>> pencil_images(const SparseLU& lu, const std::vector<PencilTask>& tasks,
                                                      std::size_t max_degree) {
    if ((tasks.size() == 2 || tasks.size() == 4) && SparseLU::prime_lanes_available())
        return pencils_side_by_side(lu, tasks, max_degree);
    std::vector<std::optional<PencilImage>> out;
    for (const PencilTask& task : tasks) out.push_back(one_pencil(lu, task, max_degree));
    return out;
}

}  // namespace skeinlab
