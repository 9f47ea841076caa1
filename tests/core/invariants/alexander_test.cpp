// The exact Alexander polynomial: its text with large coefficients, and the whole method against an
// independent fraction-free elimination in 128-bit integers and dense evaluations, for every rotation.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "curves.hpp"
#include "invariants/alexander.hpp"
#include "matrices.hpp"

namespace skeinlab::alexander_test {
namespace {

using modular::Field;
using testing::seeded_walk;
__extension__ typedef __int128 i128;
// An independent reference: fraction-free elimination over polynomials with
// 128-bit coefficients, checked for overflow; nothing when they overflow.
using Poly128 = std::vector<i128>;
using testing::matrix_of_ring;

bool mul128(const Poly128& a, const Poly128& b, Poly128& out) {
    out.assign(a.empty() || b.empty() ? 0 : a.size() + b.size() - 1, 0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j) {
            i128 p;
            if (__builtin_mul_overflow(a[i], b[j], &p) || __builtin_add_overflow(out[i + j], p, &out[i + j])) return false;
        }
    while (!out.empty() && out.back() == 0) out.pop_back();
    return true;
}

std::optional<Poly128> reference_determinant(std::vector<std::vector<Poly128>> m) {
    const std::size_t n = m.size();
    Poly128 prev{1};
    bool negate = false;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t r = k;
        while (r < n && m[r][k].empty()) ++r;
        if (r == n) return Poly128{};
        if (r != k) {
            std::swap(m[r], m[k]);
            negate = !negate;
        }
        for (std::size_t i = k + 1; i < n; ++i) {
            for (std::size_t j = k + 1; j < n; ++j) {
                Poly128 a, b;
                if (!mul128(m[k][k], m[i][j], a) || !mul128(m[i][k], m[k][j], b)) return std::nullopt;
                a.resize(std::max(a.size(), b.size()), 0);
                for (std::size_t e = 0; e < b.size(); ++e)
                    if (__builtin_sub_overflow(a[e], b[e], &a[e])) return std::nullopt;
                while (!a.empty() && a.back() == 0) a.pop_back();
                // Exact division by prev, from the top.
                Poly128 q(a.size() >= prev.size() ? a.size() - prev.size() + 1 : 0, 0);
                for (std::size_t d = a.size(); d-- > prev.size() - 1 && !a.empty();) {
                    if (a[d] % prev.back() != 0) ADD_FAILURE() << "inexact reference division";
                    const i128 c = a[d] / prev.back();
                    q[d - prev.size() + 1] = c;
                    for (std::size_t u = 0; u < prev.size(); ++u) a[d - prev.size() + 1 + u] -= c * prev[u];
                }
                while (!q.empty() && q.back() == 0) q.pop_back();
                m[i][j] = q;
            }
            m[i][k].clear();
        }
        prev = m[k][k];
    }
    Poly128 d = n ? m[n - 1][n - 1] : Poly128{1};
    if (negate)
        for (i128& c : d) c = -c;
    return d;
}

std::string text128(Poly128 p) {
    std::size_t lo = 0;
    while (lo < p.size() && p[lo] == 0) ++lo;
    p.erase(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(lo));
    if (p.empty()) return "0";
    if (p.back() < 0)
        for (i128& c : p) c = -c;
    ExactPolynomial e;
    for (const i128 c : p) {
        const modular::u128 mag = c < 0 ? -static_cast<modular::u128>(c) : static_cast<modular::u128>(c);
        BigUnsigned m(static_cast<std::uint64_t>(mag >> 64));
        for (int i = 0; i < 64; ++i) m.mul_add(2, 0);
        m.add(BigUnsigned(static_cast<std::uint64_t>(mag)));
        e.big.push_back(BigInteger{c < 0, m});
    }
    // Same text as fmt() when every coefficient fits 64 bits.
    bool fits = true;
    Polynomial small;
    for (const BigInteger& b : e.big) {
        if (auto v = b.to_i64()) small.coeffs.push_back(*v);
        else fits = false;
    }
    return fits ? fmt(small) : e.text();
}

// The determinant modulo m.p() by dense elimination in Montgomery form.
std::uint64_t dense_det_montgomery(const modular::Montgomery& m, std::vector<std::vector<std::uint64_t>> a) {
    const std::size_t n = a.size();
    std::uint64_t det = m.one();
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t r = k;
        while (r < n && a[r][k] == 0) ++r;
        if (r == n) return 0;
        if (r != k) {
            std::swap(a[r], a[k]);
            det = m.sub(0, det);
        }
        det = m.mul(det, a[k][k]);
        const std::uint64_t inv = m.pow(a[k][k], m.p() - 2);
        for (std::size_t i = k + 1; i < n; ++i) {
            if (a[i][k] == 0) continue;
            const std::uint64_t factor = m.mul(a[i][k], inv);
            for (std::size_t j = k; j < n; ++j) a[i][j] = m.sub(a[i][j], m.mul(factor, a[k][j]));
        }
    }
    return m.from(det);
}

TEST(ExactPolynomial, TextOfLargeCoefficientsFollowsThePolynomialFormat) {
    BigInteger huge{false, BigUnsigned(1)};
    for (int i = 0; i < 70; ++i) huge.magnitude.mul_add(2, 0);
    BigInteger minus_one{true, BigUnsigned(1)};
    ExactPolynomial p;
    p.big = {minus_one, BigInteger{}, huge, minus_one, BigInteger{false, BigUnsigned(1)}};
    EXPECT_EQ(p.text(), "-1+1180591620717411303424*t^2-1*t^3+1*t^4");
    ExactPolynomial small{Polynomial{{1, -1, 1}}, {}};
    EXPECT_EQ(small.text(), "1-t+t^2");
}

TEST(AlexanderPolynomial, MatchesAnIndependentExactEliminationOnSeededChains) {
    std::size_t compared = 0, modular_only = 0;
    for (std::uint64_t seed = 0; seed < 800; ++seed) {
        const std::size_t n = 40 + seed % 7 * 60;
        const AlexanderMatrix m = matrix_of_ring(seeded_walk(n, seed, seed % 2 ? 0.25 : 0.0));
        if (m.crossings < 2 || m.crossings > 36) continue;
        const std::size_t k = m.crossings - 1;
        std::vector<std::vector<Poly128>> dense(k, std::vector<Poly128>(k));
        std::vector<std::vector<Polynomial>> dense64(k, std::vector<Polynomial>(k));
        for (std::size_t r = 0; r < k; ++r)
            for (const LinearEntry& e : m.rows[r]) {
                if (e.col >= k) continue;
                Poly128 p{e.c0, e.c1};
                while (!p.empty() && p.back() == 0) p.pop_back();
                dense[r][e.col] = p;
                Polynomial q{{e.c0, e.c1}};
                while (!q.coeffs.empty() && q.coeffs.back() == 0) q.coeffs.pop_back();
                dense64[r][e.col] = q;
            }
        const std::optional<Poly128> reference = reference_determinant(dense);
        if (!reference) continue;
        ++compared;
        // The 64-bit elimination, where it completes, gives the same polynomial.
        if (const std::optional<Polynomial> d64 = checked_determinant(dense64)) {
            EXPECT_EQ(fmt(normalize(*d64)), text128(*reference)) << "seed " << seed;
        }
        const std::string expected = text128(*reference);
        AlexanderStats stats;
        EXPECT_EQ(alexander_polynomial(m, &stats, 0).text(), expected) << "seed " << seed;
        EXPECT_FALSE(stats.dense);
        modular_only += stats.primes > 0;
        EXPECT_EQ(alexander_polynomial(m).text(), expected) << "seed " << seed;
    }
    EXPECT_GE(compared, 150u);
    EXPECT_EQ(modular_only, compared);
}

TEST(AlexanderPolynomial, IsTheSameForEveryRotationOfLongAndCompactChains) {
    struct Case {
        std::size_t n;
        double pull;
    };
    for (const Case c : {Case{3000, 0.0}, Case{300, 10.0 / 45.0}, Case{500, 10.0 / 63.0}}) {
        const Chain chain = seeded_walk(c.n, 11, c.pull);
        std::string first;
        std::mt19937_64 rng(c.n);
        std::normal_distribution<double> normal;
        for (int k = 0; k < 3; ++k) {
            // A random rotation from a normalised quaternion.
            double w = normal(rng), x = normal(rng), y = normal(rng), z = normal(rng);
            const double s = std::sqrt(w * w + x * x + y * y + z * z);
            w /= s, x /= s, y /= s, z /= s;
            Chain r;
            for (const Point3& p : chain)
                r.push_back({(1 - 2 * (y * y + z * z)) * p.x + 2 * (x * y - z * w) * p.y + 2 * (x * z + y * w) * p.z,
                             2 * (x * y + z * w) * p.x + (1 - 2 * (x * x + z * z)) * p.y + 2 * (y * z - x * w) * p.z,
                             2 * (x * z - y * w) * p.x + 2 * (y * z + x * w) * p.y + (1 - 2 * (x * x + y * y)) * p.z});
            const AlexanderMatrix m = matrix_of_ring(r);
            const std::string text = alexander_polynomial(m).text();
            if (k == 0) {
                first = text;
                EXPECT_GT(m.crossings, 100u) << "the diagram should be large";
            } else {
                EXPECT_EQ(text, first) << "n " << c.n << " rotation " << k;
            }
        }
    }
}

TEST(AlexanderPolynomial, LargeDiagramsThatOverflow64BitEliminationAgreeWithDenseEvaluations) {
    // Random walks whose fraction-free elimination overflows 64-bit
    // coefficients (229 to 269 crossings after KMT). The claimed normalized
    // polynomial P must satisfy D(x) = e x^s P(x) for one sign e and shift s
    // at every point and prime, D evaluated by dense elimination.
    struct Case {
        std::size_t n;
        std::uint64_t seed;
    };
    for (const Case c : {Case{3300, 11}, Case{4200, 14}, Case{4800, 6}}) {
        const AlexanderMatrix matrix = matrix_of_ring(seeded_walk(c.n, c.seed, 0.0));
        const std::size_t k = matrix.crossings - 1;
        ASSERT_GT(k, 200u);
        const ExactPolynomial claimed = alexander_polynomial(matrix);
        std::vector<BigInteger> coeffs = claimed.big;
        if (claimed.small)
            for (const std::int64_t v : claimed.small->coeffs)
                coeffs.push_back({v < 0, BigUnsigned(v < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(v)
                                                           : static_cast<std::uint64_t>(v))});
        ASSERT_GT(coeffs.size(), 10u);
        std::optional<std::pair<bool, std::size_t>> form;  // (negated, shift)
        for (const std::size_t prime_index : {40u, 41u}) {
            const std::uint64_t p = modular::drawn_prime(prime_index);
            const Field f{p};
            const modular::Montgomery m(p);
            for (const std::uint64_t x : {3u, 1000003u}) {
                std::vector<std::vector<std::uint64_t>> dense(k, std::vector<std::uint64_t>(k, 0));
                for (std::size_t r = 0; r < k; ++r)
                    for (const LinearEntry& e : matrix.rows[r])
                        if (e.col < k) dense[r][e.col] = m.to(f.add(f.from_signed(e.c0), f.mul(f.from_signed(e.c1), x)));
                const std::uint64_t d = dense_det_montgomery(m, dense);
                std::uint64_t value = 0;
                for (std::size_t i = coeffs.size(); i-- > 0;) value = f.add(f.mul(value, x), coeffs[i].mod(p));
                ASSERT_NE(value, 0u);
                std::optional<std::pair<bool, std::size_t>> found;
                std::uint64_t shifted = value;
                for (std::size_t s = 0; s <= k && !found; ++s, shifted = f.mul(shifted, x)) {
                    if (shifted == d) found = {false, s};
                    else if (f.neg(shifted) == d) found = {true, s};
                }
                ASSERT_TRUE(found) << "seed " << c.seed << ": no sign and shift relate D to the claim";
                if (!form) form = found;
                EXPECT_EQ(*found, *form) << "seed " << c.seed << " prime " << prime_index << " x " << x;
            }
        }
    }
}

}  // namespace
}  // namespace skeinlab::alexander_test
