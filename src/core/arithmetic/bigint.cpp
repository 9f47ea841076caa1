#include "arithmetic/bigint.hpp"

#include <algorithm>
#include <cmath>

#include "arithmetic/modular.hpp"

namespace skeinlab {

using modular::u128;

std::size_t BigUnsigned::bits() const {
    if (limbs_.empty()) return 0;
    return 64 * (limbs_.size() - 1) + (64 - static_cast<std::size_t>(__builtin_clzll(limbs_.back())));
}

void BigUnsigned::mul_add(std::uint64_t m, std::uint64_t a) {
    u128 carry = a;
    for (std::uint64_t& limb : limbs_) {
        const u128 v = static_cast<u128>(limb) * m + carry;
        limb = static_cast<std::uint64_t>(v);
        carry = v >> 64;
    }
    if (carry) limbs_.push_back(static_cast<std::uint64_t>(carry));
    trim();
}

void BigUnsigned::add(const BigUnsigned& other) {
    if (limbs_.size() < other.limbs_.size()) limbs_.resize(other.limbs_.size(), 0);
    u128 carry = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
        const u128 v =
            static_cast<u128>(limbs_[i]) + (i < other.limbs_.size() ? other.limbs_[i] : 0) + carry;
        limbs_[i] = static_cast<std::uint64_t>(v);
        carry = v >> 64;
    }
    if (carry) limbs_.push_back(static_cast<std::uint64_t>(carry));
}

void BigUnsigned::sub(const BigUnsigned& other) {
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
        const std::uint64_t o = i < other.limbs_.size() ? other.limbs_[i] : 0;
        const std::uint64_t d = limbs_[i] - o - borrow;
        borrow = (limbs_[i] < o || (limbs_[i] == o && borrow)) ? 1 : 0;
        limbs_[i] = d;
    }
    trim();
}

void BigUnsigned::shift_left(std::size_t bits) {
    if (limbs_.empty()) return;
    const std::size_t words = bits / 64;
    const unsigned rest = static_cast<unsigned>(bits % 64);
    if (rest) {
        std::uint64_t carry = 0;
        for (std::uint64_t& limb : limbs_) {
            const std::uint64_t next = limb >> (64 - rest);
            limb = (limb << rest) | carry;
            carry = next;
        }
        if (carry) limbs_.push_back(carry);
    }
    limbs_.insert(limbs_.begin(), words, 0);
}

BigUnsigned operator*(const BigUnsigned& a, const BigUnsigned& b) {
    BigUnsigned r;
    if (a.is_zero() || b.is_zero()) return r;
    r.limbs_.assign(a.limbs_.size() + b.limbs_.size(), 0);
    for (std::size_t i = 0; i < a.limbs_.size(); ++i) {
        u128 carry = 0;
        for (std::size_t j = 0; j < b.limbs_.size(); ++j) {
            const u128 v = static_cast<u128>(a.limbs_[i]) * b.limbs_[j] + r.limbs_[i + j] + carry;
            r.limbs_[i + j] = static_cast<std::uint64_t>(v);
            carry = v >> 64;
        }
        r.limbs_[i + b.limbs_.size()] = static_cast<std::uint64_t>(carry);
    }
    r.trim();
    return r;
}

std::uint64_t BigUnsigned::mod(std::uint64_t m) const {
    u128 r = 0;
    for (std::size_t i = limbs_.size(); i-- > 0;) r = ((r << 64) | limbs_[i]) % m;
    return static_cast<std::uint64_t>(r);
}

std::optional<std::uint64_t> BigUnsigned::to_u64() const {
    if (limbs_.size() > 1) return std::nullopt;
    return limbs_.empty() ? 0 : limbs_[0];
}

std::string BigUnsigned::decimal() const {
    if (limbs_.empty()) return "0";
    constexpr std::uint64_t kChunk = 10000000000000000000ull;  // 10^19
    std::vector<std::uint64_t> work = limbs_;
    std::vector<std::uint64_t> chunks;
    while (!work.empty()) {
        u128 r = 0;
        for (std::size_t i = work.size(); i-- > 0;) {
            const u128 cur = (r << 64) | work[i];
            work[i] = static_cast<std::uint64_t>(cur / kChunk);
            r = cur % kChunk;
        }
        chunks.push_back(static_cast<std::uint64_t>(r));
        while (!work.empty() && work.back() == 0) work.pop_back();
    }
    std::string out = std::to_string(chunks.back());
    for (std::size_t i = chunks.size() - 1; i-- > 0;) {
        const std::string part = std::to_string(chunks[i]);
        out.append(19 - part.size(), '0');
        out += part;
    }
    return out;
}

int compare(const BigUnsigned& a, const BigUnsigned& b) {
    if (a.limbs_.size() != b.limbs_.size()) return a.limbs_.size() < b.limbs_.size() ? -1 : 1;
    for (std::size_t i = a.limbs_.size(); i-- > 0;)
        if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    return 0;
}

BigInteger BigInteger::scaled_double(double x) {
    int e = 0;
    const double m = std::frexp(x, &e);  // x = m * 2^e, 0.5 <= |m| < 1
    // |x| = mantissa * 2^(e - 53) with an integer mantissa below 2^53.
    std::uint64_t mantissa = static_cast<std::uint64_t>(std::ldexp(std::fabs(m), 53));
    const int shift = e - 53 + 1074;
    // Subnormal x (shift < 0) has at most 52 + shift significant bits, so the
    // bits shifted out are zeros.
    if (shift < 0) mantissa >>= -shift;
    BigInteger r{x < 0, BigUnsigned(mantissa)};
    if (shift > 0) r.magnitude.shift_left(static_cast<std::size_t>(shift));
    return r;
}

BigInteger operator+(const BigInteger& a, const BigInteger& b) {
    if (a.negative == b.negative) {
        BigInteger r = a;
        r.magnitude.add(b.magnitude);
        return r;
    }
    // Opposite signs: the larger magnitude keeps its sign.
    if (compare(a.magnitude, b.magnitude) >= 0) {
        BigInteger r = a;
        r.magnitude.sub(b.magnitude);
        return r;
    }
    BigInteger r = b;
    r.magnitude.sub(a.magnitude);
    return r;
}

BigInteger operator-(const BigInteger& a, const BigInteger& b) {
    BigInteger negated = b;
    negated.negative = !b.negative;
    return a + negated;
}

BigInteger operator*(const BigInteger& a, const BigInteger& b) {
    return BigInteger{a.negative != b.negative, a.magnitude * b.magnitude};
}

std::optional<std::int64_t> BigInteger::to_i64() const {
    const std::optional<std::uint64_t> m = magnitude.to_u64();
    if (!m) return std::nullopt;
    if (!negative) {
        if (*m > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        return static_cast<std::int64_t>(*m);
    }
    if (*m > static_cast<std::uint64_t>(INT64_MAX) + 1) return std::nullopt;
    return static_cast<std::int64_t>(std::uint64_t{0} - *m);
}

std::string BigInteger::decimal() const {
    std::string out;
    if (negative && !is_zero()) out.push_back('-');
    out += magnitude.decimal();
    return out;
}

std::uint64_t BigInteger::mod(std::uint64_t m) const {
    const std::uint64_t r = magnitude.mod(m);
    return negative && r ? m - r : r;
}

ChineseRemainder::ChineseRemainder(std::uint64_t r, std::uint64_t p) : x_(r % p), modulus_(p) {}

bool ChineseRemainder::add(std::uint64_t r, std::uint64_t p) {
    const modular::Field f{p};
    const std::uint64_t current = value().mod(p);
    const bool unchanged = current == r % p;
    // x + M * ((r - x) / M mod p) is the value in [0, M p) with both residues.
    const std::uint64_t step = f.mul(f.sub(r % p, x_.mod(p)), f.inv(modulus_.mod(p)));
    BigUnsigned add_on = modulus_;
    add_on.mul_add(step, 0);
    x_.add(add_on);
    modulus_.mul_add(p, 0);
    return unchanged;
}

BigInteger ChineseRemainder::value() const {
    // Symmetric range: x when 2x <= M, else x - M.
    BigUnsigned twice = x_;
    twice.add(x_);
    if (compare(twice, modulus_) <= 0) return {false, x_};
    BigUnsigned magnitude = modulus_;
    magnitude.sub(x_);
    return {true, magnitude};
}

}  // namespace skeinlab
