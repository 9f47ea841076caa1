#include "arithmetic/modular.hpp"

#include <mutex>
#include <vector>

namespace skeinlab::modular {

Montgomery::Montgomery(std::uint64_t p) : p_(p) {
    std::uint64_t inv = p;  // correct to 3 bits; each step doubles them
    for (int i = 0; i < 5; ++i) inv *= 2 - p * inv;
    neg_inv_ = std::uint64_t{0} - inv;
    const Field f{p};
    one_ = (std::uint64_t{0} - p) % p;
    r2_ = f.mul(one_, one_);
}

std::uint64_t Montgomery::pow(std::uint64_t a, std::uint64_t e) const {
    std::uint64_t result = one_;
    while (e) {
        if (e & 1) result = mul(result, a);
        a = mul(a, a);
        e >>= 1;
    }
    return result;
}

std::uint64_t Field::pow(std::uint64_t a, std::uint64_t e) const {
    if (p == 1) return 0;
    const Montgomery m(p);
    return m.from(m.pow(m.to(a), e));
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

std::uint64_t random_prime(Stream& stream) {
    for (;;) {
        const std::uint64_t candidate =
            (stream.next() >> (65 - kPrimeBits)) | (std::uint64_t{1} << (kPrimeBits - 1)) | 1;
        if (is_prime(candidate)) return candidate;
    }
}

std::uint64_t drawn_prime(std::size_t k) {
    static std::mutex mutex;
    static std::vector<std::uint64_t> primes;
    static Stream stream(0x9E1A7E5EEDull);
    const std::lock_guard<std::mutex> lock(mutex);
    while (primes.size() <= k) primes.push_back(random_prime(stream));
    return primes[k];
}

}  // namespace skeinlab::modular
