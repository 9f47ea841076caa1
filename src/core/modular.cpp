#include "modular.hpp"

namespace skeinlab::modular {

std::uint64_t Field::pow(std::uint64_t a, std::uint64_t e) const {
    std::uint64_t result = 1 % p;
    a %= p;
    while (e) {
        if (e & 1) result = mul(result, a);
        a = mul(a, a);
        e >>= 1;
    }
    return result;
}

bool is_prime(std::uint64_t n) {
    if (n < 2) return false;
    static constexpr std::uint64_t kSmall[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
    for (const std::uint64_t q : kSmall) {
        if (n == q) return true;
        if (n % q == 0) return false;
    }
    std::uint64_t d = n - 1;
    int s = 0;
    while ((d & 1) == 0) {
        d >>= 1;
        ++s;
    }
    // These twelve bases decide primality for every n < 3.3e24.
    const Field f{n};
    for (const std::uint64_t a : kSmall) {
        std::uint64_t x = f.pow(a, d);
        if (x == 1 || x == n - 1) continue;
        bool composite = true;
        for (int r = 1; r < s; ++r) {
            x = f.mul(x, x);
            if (x == n - 1) {
                composite = false;
                break;
            }
        }
        if (composite) return false;
    }
    return true;
}

std::uint64_t Stream::below(std::uint64_t lo, std::uint64_t hi) {
    const std::uint64_t span = hi - lo;
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    for (;;) {
        const std::uint64_t v = next();
        if (v < limit) return lo + v % span;
    }
}

std::uint64_t random_prime(Stream& stream) {
    for (;;) {
        const std::uint64_t candidate = (stream.next() >> 1) | (std::uint64_t{1} << 62) | 1;
        if (is_prime(candidate)) return candidate;
    }
}

}  // namespace skeinlab::modular
