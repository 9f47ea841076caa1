// Counter-based random numbers: every draw depends only on a key and its
// position in the stream, never on scheduling, so results are the same on
// every machine and for every number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace skeinlab {

// The SplitMix64 output function: a bijection of 64-bit words that mixes
// every input bit into every output bit.
inline std::uint64_t mix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// SplitMix64 on a counter: the k-th draw depends only on the seed and k.
class Stream {
public:
    explicit Stream(std::uint64_t seed) : state_(seed) {}

    // A stream keyed by a tuple of integers, such as (seed, frame, sample):
    // distinct tuples (of any length) give unrelated streams.
    static Stream keyed(const std::uint64_t* key, std::size_t size) {
        std::uint64_t h = mix64(0x243F6A8885A308D3ull + size);
        for (std::size_t i = 0; i < size; ++i) h = mix64(h ^ mix64(key[i] + 0x9E3779B97F4A7C15ull));
        return Stream(h);
    }
    static Stream keyed(std::initializer_list<std::uint64_t> key) { return keyed(key.begin(), key.size()); }

    std::uint64_t next() { return mix64(state_ += 0x9E3779B97F4A7C15ull); }

    // Uniform in [lo, hi) by rejection, hi > lo.
    std::uint64_t below(std::uint64_t lo, std::uint64_t hi) {
        const std::uint64_t span = hi - lo;
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
        for (;;) {
            const std::uint64_t v = next();
            if (v < limit) return lo + v % span;
        }
    }

    // Uniform in [-1, 1), a multiple of 2^-52.
    double symmetric_unit() { return static_cast<double>(next() >> 11) * 0x1.0p-52 - 1.0; }

private:
    std::uint64_t state_;
};

}  // namespace skeinlab
