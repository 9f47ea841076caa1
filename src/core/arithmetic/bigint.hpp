// Unsigned and signed integers of any size, with just the operations that
// Chinese remaindering, printing and the exact orientation predicates need:
// sums, differences and products, a residue modulo a word, and decimal text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skeinlab {

// Magnitude in base 2^64, least significant limb first, no leading zero limbs.
class BigUnsigned {
public:
    BigUnsigned() = default;
    explicit BigUnsigned(std::uint64_t v) {
        if (v) limbs_.push_back(v);
    }

    bool is_zero() const { return limbs_.empty(); }
    std::size_t bits() const;
    // this * m + a.
    void mul_add(std::uint64_t m, std::uint64_t a);
    // this + other.
    void add(const BigUnsigned& other);
    // this - other; requires this >= other.
    void sub(const BigUnsigned& other);
    // this * 2^bits.
    void shift_left(std::size_t bits);
    friend BigUnsigned operator*(const BigUnsigned& a, const BigUnsigned& b);
    // The residue modulo m > 0.
    std::uint64_t mod(std::uint64_t m) const;
    // The value when it fits 64 bits.
    std::optional<std::uint64_t> to_u64() const;
    std::string decimal() const;

    friend int compare(const BigUnsigned& a, const BigUnsigned& b);

private:
    void trim() {
        while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
    }
    std::vector<std::uint64_t> limbs_;
};

struct BigInteger {
    bool negative = false;
    BigUnsigned magnitude;

    // x * 2^1074, an integer for every finite double x.
    static BigInteger scaled_double(double x);
    int sign() const { return is_zero() ? 0 : (negative ? -1 : 1); }
    friend BigInteger operator+(const BigInteger& a, const BigInteger& b);
    friend BigInteger operator-(const BigInteger& a, const BigInteger& b);
    friend BigInteger operator*(const BigInteger& a, const BigInteger& b);

    bool is_zero() const { return magnitude.is_zero(); }
    // The value when it fits std::int64_t.
    std::optional<std::int64_t> to_i64() const;
    // The residue modulo m > 0, in [0, m).
    std::uint64_t mod(std::uint64_t m) const;
    std::string decimal() const;
};

// Integers known by their residues modulo a growing set of distinct primes,
// each read in the symmetric range (-M/2, M/2] of their product M.
class ChineseRemainder {
public:
    // Starts with the residue r modulo the prime p.
    ChineseRemainder(std::uint64_t r, std::uint64_t p);
    // Adds the residue r modulo a new prime p; returns whether the symmetric
    // value was already congruent to r (the value did not change).
    bool add(std::uint64_t r, std::uint64_t p);
    BigInteger value() const;

private:
    BigUnsigned x_;        // in [0, modulus_)
    BigUnsigned modulus_;  // product of the primes
};

}  // namespace skeinlab
