// Arithmetic modulo a word-size prime, primality, and the seeded counter-based
// generator that picks primes and evaluation points. Used by the exact
// Alexander polynomial, which works on images of the polynomial modulo primes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/random.hpp"

namespace skeinlab::modular {

// 128-bit products of two words (a GCC and Clang extension).
__extension__ typedef unsigned __int128 u128;

// Residues modulo an odd number p < 2^63 (a prime for inv), kept in [0, p).
struct Field {
    std::uint64_t p;

    std::uint64_t add(std::uint64_t a, std::uint64_t b) const {
        const std::uint64_t s = a + b;  // < 2^64 since a, b < 2^63
        return s >= p ? s - p : s;
    }
    std::uint64_t sub(std::uint64_t a, std::uint64_t b) const { return a >= b ? a - b : a + (p - b); }
    std::uint64_t neg(std::uint64_t a) const { return a == 0 ? 0 : p - a; }
    std::uint64_t mul(std::uint64_t a, std::uint64_t b) const {
        return static_cast<std::uint64_t>(static_cast<u128>(a) * b % p);
    }
    std::uint64_t pow(std::uint64_t a, std::uint64_t e) const;
    // The inverse of a non-zero residue (Fermat).
    std::uint64_t inv(std::uint64_t a) const { return pow(a, p - 2); }
    // The residue of a signed integer.
    std::uint64_t from_signed(std::int64_t v) const {
        if (v >= 0) return static_cast<std::uint64_t>(v) % p;
        const std::uint64_t m = (std::uint64_t{0} - static_cast<std::uint64_t>(v)) % p;
        return m == 0 ? 0 : p - m;
    }
};

// Montgomery multiplication modulo an odd p < 2^63: residues a are held as
// a * 2^64 mod p, and a product costs two word multiplications instead of a
// 128-bit division.
class Montgomery {
public:
    explicit Montgomery(std::uint64_t p);
    std::uint64_t p() const { return p_; }
    std::uint64_t to(std::uint64_t a) const { return mul(a % p_, r2_); }
    // to() of a residue already below p (no division).
    std::uint64_t to_reduced(std::uint64_t a) const { return mul(a, r2_); }
    std::uint64_t from(std::uint64_t a) const { return reduce(a); }
    std::uint64_t one() const { return one_; }
    std::uint64_t mul(std::uint64_t a, std::uint64_t b) const { return reduce(static_cast<u128>(a) * b); }
    std::uint64_t add(std::uint64_t a, std::uint64_t b) const {
        const std::uint64_t s = a + b;
        return s >= p_ ? s - p_ : s;
    }
    std::uint64_t sub(std::uint64_t a, std::uint64_t b) const { return a >= b ? a - b : a + (p_ - b); }
    // a^e for a in Montgomery form, in Montgomery form.
    std::uint64_t pow(std::uint64_t a, std::uint64_t e) const;
    // The Montgomery product of a sum of products of residues in Montgomery
    // form (any sum below 2^128: a high word at or above p is reduced first),
    // so that dot products pay for one reduction, not one per term.
    std::uint64_t reduce_sum(u128 t) const {
        const std::uint64_t hi = static_cast<std::uint64_t>(t >> 64);
        if (hi >= p_) t = (static_cast<u128>(hi % p_) << 64) | static_cast<std::uint64_t>(t);
        return reduce(t);
    }

private:
    std::uint64_t reduce(u128 t) const {
        const std::uint64_t m = static_cast<std::uint64_t>(t) * neg_inv_;
        const std::uint64_t r = static_cast<std::uint64_t>((t + static_cast<u128>(m) * p_) >> 64);
        return r >= p_ ? r - p_ : r;
    }
    std::uint64_t p_;
    std::uint64_t neg_inv_;  // -p^-1 mod 2^64
    std::uint64_t r2_;       // 2^128 mod p
    std::uint64_t one_;      // 2^64 mod p
};

// Deterministic Miller-Rabin for every 64-bit n.
bool is_prime(std::uint64_t n);

using skeinlab::Stream;

// The primes drawn below lie in [2^(kPrimeBits - 1), 2^kPrimeBits): small
// enough for residues and their products to be held exactly in two doubles
// (the vectorised replays of sparse_determinant), large enough for few primes.
inline constexpr int kPrimeBits = 50;

// A uniformly drawn prime in [2^(kPrimeBits - 1), 2^kPrimeBits).
std::uint64_t random_prime(Stream& stream);

// The k-th prime that random_prime draws from a stream with a fixed seed: the
// same sequence for every caller, computed once and shared by all threads.
std::uint64_t drawn_prime(std::size_t k);

}  // namespace skeinlab::modular
