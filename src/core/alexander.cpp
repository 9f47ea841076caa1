#include "alexander.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "crossings.hpp"
#include "modular.hpp"

namespace skeinlab {
namespace {

struct CrossingEntry {
    std::size_t number;
    std::int32_t sign;
};

inline std::uint64_t pair_key(std::size_t i, std::size_t j) {
    const std::size_t lo = std::min(i, j);
    const std::size_t hi = std::max(i, j);
    return (static_cast<std::uint64_t>(lo) << 32) | static_cast<std::uint64_t>(hi);
}

void add_entry(std::vector<LinearEntry>& row, std::size_t col, std::int64_t c0, std::int64_t c1) {
    for (LinearEntry& e : row) {
        if (e.col == col) {
            e.c0 += c0;
            e.c1 += c1;
            return;
        }
    }
    row.push_back({static_cast<std::uint32_t>(col), c0, c1});
}

}  // namespace

AlexanderMatrix alexander_matrix(const Chain& pts) {
    const std::vector<std::vector<CrossingRecord>> records = find_crossings(pts);

    // Walk: number the crossings in the order they are first met, take each
    // crossing's sign from that first record, and list the under-passages.
    std::unordered_map<std::uint64_t, CrossingEntry> crossings;
    std::vector<std::size_t> under;
    for (std::size_t i = 0; i < records.size(); ++i) {
        for (const CrossingRecord& rec : records[i]) {
            const std::uint64_t key = pair_key(i, rec.other);
            if (crossings.find(key) == crossings.end()) {
                const std::int32_t sign = rec.record.signed_position > 0.0 ? 1 : -1;
                crossings.emplace(key, CrossingEntry{crossings.size(), sign});
            }
            if (!rec.record.is_over) under.push_back(i);
        }
    }
    AlexanderMatrix m;
    const std::size_t g = crossings.size();
    m.crossings = g;
    m.rows.assign(g, {});

    // Arcs run from one under-passage to the next, modulo g, so the stretch
    // after the last under-passage and the one before the first are one arc.
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].empty()) continue;
        const std::size_t base =
            static_cast<std::size_t>(std::lower_bound(under.begin(), under.end(), i) - under.begin());
        std::size_t k = 0;
        for (const CrossingRecord& rec : records[i]) {
            const CrossingEntry& entry = crossings.at(pair_key(i, rec.other));
            std::vector<LinearEntry>& row = m.rows[entry.number];
            const std::size_t a = (base + k) % g;
            const std::size_t b = (base + k + 1) % g;
            if (rec.record.is_over) {
                add_entry(row, a, 1, -1);
            } else {
                if (entry.sign == 1) {
                    add_entry(row, a, -1, 0);
                    add_entry(row, b, 0, 1);
                } else {
                    add_entry(row, a, 0, 1);
                    add_entry(row, b, -1, 0);
                }
                ++k;
            }
        }
    }
    for (std::vector<LinearEntry>& row : m.rows)
        std::sort(row.begin(), row.end(), [](const LinearEntry& p, const LinearEntry& q) { return p.col < q.col; });
    return m;
}

std::string ExactPolynomial::text() const {
    if (small) return fmt(*small);
    // fmt()'s rules, with coefficients of any size.
    std::string out;
    bool first = true;
    for (std::size_t e = 0; e < big.size(); ++e) {
        const BigInteger& c = big[e];
        if (c.is_zero()) continue;
        if (!first && !c.negative) out += '+';
        first = false;
        out += c.decimal();
        if (e > 0) {
            out += "*t";
            if (e >= 2) {
                out += '^';
                out += std::to_string(e);
            }
        }
    }
    return out.empty() ? "0" : out;
}

namespace {

using modular::Field;

// A residue image of the determinant: its value at x is
// x^offset * (c[0] + c[1] x + ... ) modulo the image's prime. Negative offsets
// stand for powers of 1/x.
struct Image {
    std::int64_t offset = 0;
    std::vector<std::uint64_t> coeffs;
};

// Newton interpolation over a prime field, one point at a time.
class Newton {
public:
    explicit Newton(const Field& f) : f_(f) {}
    std::size_t size() const { return nodes_.size(); }
    bool has_node(std::uint64_t y) const { return std::find(nodes_.begin(), nodes_.end(), y) != nodes_.end(); }
    // Adds (y, v) and returns the new Newton coefficient: zero exactly when the
    // interpolant of the earlier points already takes v at y.
    std::uint64_t add(std::uint64_t y, std::uint64_t v) {
        std::uint64_t acc = 0, prod = 1;
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            acc = f_.add(acc, f_.mul(coeffs_[i], prod));
            prod = f_.mul(prod, f_.sub(y, nodes_[i]));
        }
        const std::uint64_t c = f_.mul(f_.sub(v, acc), f_.inv(prod));
        nodes_.push_back(y);
        coeffs_.push_back(c);
        return c;
    }
    // The interpolant of the first `count` points in the monomial basis.
    std::vector<std::uint64_t> monomial(std::size_t count) const {
        std::vector<std::uint64_t> poly;
        for (std::size_t i = count; i-- > 0;) {
            // poly = poly * (y - nodes_[i]) + coeffs_[i]
            std::vector<std::uint64_t> next(poly.size() + 1, 0);
            for (std::size_t k = 0; k < poly.size(); ++k) {
                next[k + 1] = f_.add(next[k + 1], poly[k]);
                next[k] = f_.sub(next[k], f_.mul(poly[k], nodes_[i]));
            }
            next[0] = f_.add(next[0], coeffs_[i]);
            poly.swap(next);
        }
        return poly;
    }

private:
    Field f_;
    std::vector<std::uint64_t> nodes_;
    std::vector<std::uint64_t> coeffs_;
};

// The coefficients of x^-m .. x^m of q(x + 1/x), for q of degree m.
std::vector<std::uint64_t> laurent_of_symmetric(const Field& f, const std::vector<std::uint64_t>& q) {
    const std::size_t m = q.empty() ? 0 : q.size() - 1;
    std::vector<std::uint64_t> out(2 * m + 1, 0), power(2 * m + 1, 0), next(2 * m + 1, 0);
    power[m] = 1;  // (x + 1/x)^0
    for (std::size_t j = 0; j < q.size(); ++j) {
        for (std::size_t k = 0; k < out.size(); ++k) out[k] = f.add(out[k], f.mul(q[j], power[k]));
        for (std::size_t k = 0; k < next.size(); ++k)
            next[k] = f.add(k > 0 ? power[k - 1] : 0, k + 1 < power.size() ? power[k + 1] : 0);
        power.swap(next);
    }
    return out;
}

// Points evaluated together while the degree is still unknown.
constexpr std::size_t kBatch = 4;

class ModularDeterminant {
public:
    ModularDeterminant(std::size_t n, std::vector<std::vector<LinearEntry>> rows, AlexanderStats* stats)
        : n_(n), det_(n, std::move(rows)), stream_(0x5EED5EED2026ull), stats_(stats) {}

    std::vector<BigInteger> run() {
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (auto c = recover(true)) return *c;
            if (auto c = recover(false)) return *c;
        }
        throw InternalError("the Alexander determinant could not be verified");
    }

private:
    std::uint64_t evaluate(const Field& f, std::uint64_t x) {
        if (stats_) ++stats_->evaluations;
        return det_.evaluate(f, x);
    }
    void evaluate(const Field& f, const std::vector<std::uint64_t>& xs, std::vector<std::uint64_t>& out) {
        if (stats_) stats_->evaluations += xs.size();
        det_.evaluate(f, xs.data(), out.data(), xs.size());
    }
    std::uint64_t point(const Field& f) { return stream_.below(2, f.p - 1); }
    std::uint64_t next_prime() { return modular::drawn_prime(primes_drawn_++); }

    // The value x^offset * sum c_i x^i of an image's polynomial at x.
    static std::uint64_t image_value(const Field& f, std::int64_t offset, const std::vector<std::uint64_t>& c,
                                     std::uint64_t x) {
        std::uint64_t acc = 0;
        for (std::size_t i = c.size(); i-- > 0;) acc = f.add(f.mul(acc, x), c[i]);
        const std::uint64_t base = offset >= 0 ? x : f.inv(x);
        return f.mul(acc, f.pow(base, static_cast<std::uint64_t>(offset >= 0 ? offset : -offset)));
    }

    // The exponent h with D(x) = x^h F(x), F(1/x) = F(x), read from the ratio
    // D(x)/D(1/x) = x^(2h); nothing when D is zero at every point tried
    // (zero_suspected) or has no such form.
    std::optional<std::int64_t> symmetric_shift(const Field& f, bool& zero_suspected) {
        zero_suspected = false;
        int zeros = 0;
        for (int attempt = 0; attempt < 8; ++attempt) {
            const std::uint64_t x = point(f);
            const std::uint64_t a = evaluate(f, x);
            const std::uint64_t b = a == 0 ? 0 : evaluate(f, f.inv(x));
            if (a == 0 || b == 0) {
                if (++zeros >= 3) {
                    zero_suspected = true;
                    return std::nullopt;
                }
                continue;
            }
            const std::uint64_t ratio = f.mul(a, f.inv(b));
            std::int64_t found = -1;
            bool unique = true;
            std::uint64_t power = 1;
            for (std::size_t k = 0; k <= 2 * n_; ++k) {
                if (power == ratio) {
                    if (found >= 0) unique = false;
                    found = static_cast<std::int64_t>(k);
                }
                power = f.mul(power, x);
            }
            if (!unique) continue;  // x of small order: try another
            if (found < 0 || found % 2) return std::nullopt;
            return found / 2;
        }
        return std::nullopt;
    }

    // The image modulo f of F (symmetric) or D (general), with `known` the
    // number of interpolation points when the degree is already known.
    Image image(const Field& f, bool symmetric, std::int64_t shift, std::optional<std::size_t> known) {
        Newton newton(f);
        const std::size_t limit = (symmetric ? n_ / 2 : n_) + 1;
        std::size_t zeros_in_a_row = 0;
        std::size_t count = 0;
        std::vector<std::uint64_t> xs, ys, values;
        for (bool done = false; !done;) {
            // A batch of fresh points with distinct interpolation nodes.
            const std::size_t want = known ? *known - newton.size() : std::min(kBatch, limit - newton.size());
            xs.clear();
            ys.clear();
            while (xs.size() < want) {
                const std::uint64_t x = point(f);
                const std::uint64_t y = symmetric ? f.add(x, f.inv(x)) : x;
                if (newton.has_node(y) || std::find(ys.begin(), ys.end(), y) != ys.end()) continue;
                xs.push_back(x);
                ys.push_back(y);
            }
            values.resize(xs.size());
            evaluate(f, xs, values);
            for (std::size_t i = 0; i < xs.size(); ++i) {
                std::uint64_t v = values[i];
                if (symmetric) v = f.mul(v, f.pow(f.inv(xs[i]), static_cast<std::uint64_t>(shift)));
                const std::uint64_t c = newton.add(ys[i], v);
                zeros_in_a_row = c == 0 && newton.size() > 1 ? zeros_in_a_row + 1 : 0;
                if (!known && (zeros_in_a_row == 1 || newton.size() == limit)) {
                    count = newton.size() - zeros_in_a_row;
                    done = true;
                    break;
                }
            }
            if (known) {
                count = *known;
                done = true;
            }
        }
        std::vector<std::uint64_t> q = newton.monomial(count);
        while (!q.empty() && q.back() == 0) q.pop_back();
        Image out;
        if (!symmetric) {
            out.coeffs = std::move(q);
            return out;
        }
        if (known && q.size() < *known) q.resize(*known, 0);  // keep the layout of the other primes
        out.offset = shift - static_cast<std::int64_t>(q.empty() ? 0 : q.size() - 1);
        out.coeffs = laurent_of_symmetric(f, q);
        return out;
    }

    // Recovers the integer coefficients by Chinese remaindering until they are
    // stable, then checks them at fresh random primes and points.
    std::optional<std::vector<BigInteger>> recover(bool symmetric) {
        Field f{next_prime()};
        std::vector<std::uint64_t> used{f.p};
        std::int64_t shift = 0;
        std::int64_t offset = 0;
        std::vector<ChineseRemainder> crt;
        bool zero = false;
        if (symmetric) {
            const std::optional<std::int64_t> h = symmetric_shift(f, zero);
            if (!h && !zero) return std::nullopt;
            shift = h.value_or(0);
        }
        if (zero) {
            if (!verified({}, 0, 64)) return std::nullopt;
            return finish(symmetric, used.size(), {});
        }
        const Image first = image(f, symmetric, shift, std::nullopt);
        offset = first.offset;
        for (const std::uint64_t r : first.coeffs) crt.emplace_back(r, f.p);
        const std::optional<std::size_t> points = symmetric ? (first.coeffs.size() + 1) / 2 : first.coeffs.size();
        std::size_t modulus_bits = 62;
        bool stable = false;
        for (;;) {
            // Candidates are checked once they stop changing, or once the
            // product of the primes leaves 8 bits of room above every
            // coefficient (a wrong value would be spread over the whole range).
            std::vector<BigInteger> values;
            values.reserve(crt.size());
            std::size_t bits = 0;
            for (const ChineseRemainder& c : crt) {
                values.push_back(c.value());
                bits = std::max(bits, values.back().magnitude.bits());
            }
            if ((stable || bits + 8 <= modulus_bits) && verified(values, offset, std::max<std::size_t>(bits, 64)))
                return finish(symmetric, used.size(), std::move(values));
            if (stable) return std::nullopt;
            do f = Field{next_prime()};
            while (std::find(used.begin(), used.end(), f.p) != used.end());
            used.push_back(f.p);
            modulus_bits += 62;
            const Image next = image(f, symmetric, shift, points);
            if (next.coeffs.size() != crt.size() || next.offset != offset) return std::nullopt;
            stable = true;
            for (std::size_t i = 0; i < crt.size(); ++i) stable &= crt[i].add(next.coeffs[i], f.p);
        }
    }

    std::vector<BigInteger> finish(bool symmetric, std::size_t primes, std::vector<BigInteger> values) {
        if (stats_) {
            stats_->symmetric = symmetric;
            stats_->primes = primes;
        }
        return values;
    }

    // Each check draws a prime q in [2^62, 2^63) and a point x. A wrong claim
    // differs from the determinant by a non-zero integer polynomial Z of degree
    // at most 2n + 2 whose coefficients have at most 2n + bits + 2 bits (the
    // determinant's coefficients are bounded by 4^n). q divides all of them with
    // probability at most (2n + bits + 2) / 62 / 2^56.5 (there are more than
    // 2^56.5 such primes); otherwise Z(x) = 0 mod q with probability at most
    // (2n + 2) / 2^62. Checks are added until the product is below 2^-60.
    bool verified(const std::vector<BigInteger>& values, std::int64_t offset, std::size_t bits) {
        const double nn = static_cast<double>(n_);
        const double per_check =
            (2 * nn + static_cast<double>(bits) + 2) / 62.0 / std::exp2(56.5) + (2 * nn + 2) / std::exp2(62);
        double bound = 1.0;
        while (bound >= std::exp2(-60)) {
            const Field f{next_prime()};
            std::vector<std::uint64_t> residues(values.size());
            for (std::size_t i = 0; i < values.size(); ++i) residues[i] = values[i].mod(f.p);
            const std::uint64_t x = point(f);
            if (evaluate(f, x) != image_value(f, offset, residues, x)) return false;
            bound *= per_check;
        }
        return true;
    }

    std::size_t n_;
    SparseDeterminant det_;
    modular::Stream stream_;
    std::size_t primes_drawn_ = 0;
    AlexanderStats* stats_;
};

ExactPolynomial normalized(std::vector<BigInteger> coeffs) {
    std::size_t lo = 0;
    while (lo < coeffs.size() && coeffs[lo].is_zero()) ++lo;
    std::size_t hi = coeffs.size();
    while (hi > lo && coeffs[hi - 1].is_zero()) --hi;
    std::vector<BigInteger> c(coeffs.begin() + static_cast<std::ptrdiff_t>(lo),
                              coeffs.begin() + static_cast<std::ptrdiff_t>(hi));
    if (!c.empty() && c.back().negative)
        for (BigInteger& v : c) v.negative = !v.negative && !v.is_zero();
    ExactPolynomial out;
    Polynomial small;
    for (const BigInteger& v : c) {
        const std::optional<std::int64_t> s = v.to_i64();
        if (!s) {
            out.big = std::move(c);
            return out;
        }
        small.coeffs.push_back(*s);
    }
    out.small = std::move(small);
    return out;
}

}  // namespace

ExactPolynomial alexander_polynomial(const AlexanderMatrix& matrix, AlexanderStats* stats, std::size_t dense_limit) {
    const std::size_t g = matrix.crossings;
    if (g == 0) return ExactPolynomial{Polynomial{{1}}, {}};
    const std::size_t n = g - 1;  // the minor drops the last row and column
    if (n <= dense_limit) {
        std::vector<std::vector<Polynomial>> dense(n, std::vector<Polynomial>(n));
        for (std::size_t r = 0; r < n; ++r) {
            for (const LinearEntry& e : matrix.rows[r]) {
                if (e.col >= n) continue;
                Polynomial p{{e.c0, e.c1}};
                while (!p.coeffs.empty() && p.coeffs.back() == 0) p.coeffs.pop_back();
                dense[r][e.col] = std::move(p);
            }
        }
        if (const std::optional<Polynomial> d = checked_determinant(dense)) {
            if (stats) stats->dense = true;
            return ExactPolynomial{normalize(*d), {}};
        }
    }
    std::vector<std::vector<LinearEntry>> minor(n);
    for (std::size_t r = 0; r < n; ++r)
        for (const LinearEntry& e : matrix.rows[r])
            if (e.col < n && (e.c0 != 0 || e.c1 != 0)) minor[r].push_back(e);
    ModularDeterminant md(n, std::move(minor), stats);
    return normalized(md.run());
}

}  // namespace skeinlab
