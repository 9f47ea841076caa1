// Berlekamp-Massey over prime fields: the shortest linear recurrence of a
// sequence, found one term at a time, for one sequence in words (Montgomery
// form) or for two or four side by side in vector arithmetic, one prime
// each; and the feeding of a Krylov sequence's terms to it until the
// recurrence has settled (arithmetic/wiedemann).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "arithmetic/modular.hpp"

namespace skeinlab {

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
inline constexpr std::size_t kSettled = 16;

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

// The recurrences of two or four sequences, one per lane (a prime each), by
// Berlekamp-Massey in vector arithmetic (arithmetic/vector_residues; only
// where the processor has it): the same steps for every lane while their
// discrepancies are all zero or all non-zero, which sequences of the same
// degree (one matrix, several primes) keep to in practice. The first step
// where they differ hands each lane to a Recurrence of its own, fed the
// terms so far. Each lane's recurrence, flags and solves are those a
// Recurrence gives its sequence.
class LaneRecurrences {
public:
    // One lane per field in `ms`; p and p_inverse hold each lane's prime and
    // its inverse as doubles.
    LaneRecurrences(const std::vector<modular::Montgomery>& ms, const double* p, const double* p_inverse);
    // The lanes' next terms (residues in [0, p)), after `solved` solves.
    void add(const std::uint64_t* terms, std::size_t solved, std::size_t max_degree);
    bool done(std::size_t lane) const { return alone_.empty() ? done_ : alone_[lane].done; }
    bool failed(std::size_t lane) const { return alone_.empty() ? failed_ : alone_[lane].failed; }
    std::size_t solves(std::size_t lane) const { return alone_.empty() ? solves_ : alone_[lane].solves; }
    // Lane i's recurrence, C[0] .. C[length] (residues in [0, p)).
    std::vector<std::uint64_t> recurrence(std::size_t lane) const;

private:
    std::uint64_t residue(double x, std::size_t lane) const {
        return static_cast<std::uint64_t>(x < 0 ? x + p_[lane] : x);
    }
    void diverge(std::size_t max_degree);

    const std::vector<modular::Montgomery>& ms_;
    std::size_t lanes_;
    double p_[4] = {}, p_inverse_[4] = {};
    std::vector<double> a_, c_, b_;  // lane-interleaved: the terms, C and B
    std::vector<std::uint64_t> last_;
    std::size_t length_ = 0, shift_ = 1, settled_ = 0, terms_ = 0, solves_ = 0;
    bool done_ = false, failed_ = false;
    std::vector<Recurrence> alone_;
};

}  // namespace skeinlab
