#include "arithmetic/polynomial.hpp"

#include <algorithm>

#include "base/text.hpp"

namespace skeinlab {
namespace {

// Two's-complement arithmetic on the raw bit patterns: well defined on
// overflow, unlike signed arithmetic.
inline std::int64_t wrap_add(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
inline std::int64_t wrap_sub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
inline std::int64_t wrap_mul(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
inline std::int64_t wrap_neg(std::int64_t a) {
    return static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(a));
}

void trim_trailing_zeros(std::vector<std::int64_t>& c) {
    while (!c.empty() && c.back() == 0) c.pop_back();
}

std::size_t trimmed_size(const std::vector<std::int64_t>& c) {
    std::size_t n = c.size();
    while (n > 0 && c[n - 1] == 0) --n;
    return n;
}

std::string list_text(const std::vector<std::int64_t>& c) {
    std::string out = "[";
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(c[i]);
    }
    return out + "]";
}

}  // namespace

bool operator==(const Polynomial& a, const Polynomial& b) {
    const std::size_t n = trimmed_size(a.coeffs);
    if (n != trimmed_size(b.coeffs)) return false;
    return std::equal(a.coeffs.begin(), a.coeffs.begin() + static_cast<std::ptrdiff_t>(n), b.coeffs.begin());
}

std::size_t PolynomialHash::operator()(const Polynomial& p) const {
    const std::size_t n = trimmed_size(p.coeffs);
    // FNV-1a over the count and then the entries.
    std::uint64_t h = 1469598103934665603ull;
    auto feed = [&h](std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    };
    feed(n);
    for (std::size_t i = 0; i < n; ++i) feed(static_cast<std::uint64_t>(p.coeffs[i]));
    return static_cast<std::size_t>(h);
}

Result<Polynomial> parse_polynomial(std::string_view input) {
    const std::string_view text = text::trim(input);
    // Split into terms: every sign after the first character starts a new term.
    std::vector<std::string_view> terms;
    std::size_t start = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '+' || text[i] == '-') {
            if (i > start) terms.push_back(text.substr(start, i - start));
            start = i;
        }
    }
    if (start < text.size()) terms.push_back(text.substr(start));

    Polynomial p;
    for (const std::string_view raw : terms) {
        const std::string_view term = text::trim(raw);
        if (term.empty()) continue;
        std::int64_t coefficient = 0;
        std::uint64_t exponent = 0;
        const std::size_t t_at = term.find('t');
        if (t_at != std::string_view::npos) {
            std::string_view coeff_text = term.substr(0, t_at);
            while (!coeff_text.empty() && coeff_text.back() == '*') coeff_text.remove_suffix(1);
            if (coeff_text.empty() || coeff_text == "+") {
                coefficient = 1;
            } else if (coeff_text == "-") {
                coefficient = -1;
            } else {
                const auto parsed = text::parse_i64(coeff_text);
                if (!parsed.value)
                    return KnotError::polynomial_parse("bad coefficient '" + std::string(coeff_text) +
                                                       "': " + parsed.error);
                coefficient = *parsed.value;
            }
            const std::string_view after = term.substr(t_at + 1);
            if (after.empty()) {
                exponent = 1;
            } else if (after[0] != '^') {
                return KnotError::polynomial_parse("unexpected after t: '" + std::string(after) + "'");
            } else {
                const std::string_view digits = after.substr(1);
                // Unsigned exponent: ASCII digits only, no sign.
                if (!digits.empty() && digits[0] == '+')
                    return KnotError::polynomial_parse("bad exponent: invalid digit found in string");
                const auto parsed = text::parse_u64(digits);
                if (!parsed.value) return KnotError::polynomial_parse(std::string("bad exponent: ") + parsed.error);
                exponent = *parsed.value;
                if (exponent > kMaxParsedExponent)
                    return KnotError::polynomial_parse("bad exponent: " + std::to_string(exponent) +
                                                       " exceeds the largest supported exponent " +
                                                       std::to_string(kMaxParsedExponent));
            }
        } else {
            const auto parsed = text::parse_i64(term);
            if (!parsed.value)
                return KnotError::polynomial_parse("bad constant '" + std::string(term) + "': " + parsed.error);
            coefficient = *parsed.value;
        }
        if (p.coeffs.size() <= exponent) p.coeffs.resize(static_cast<std::size_t>(exponent) + 1, 0);
        p.coeffs[static_cast<std::size_t>(exponent)] = wrap_add(p.coeffs[static_cast<std::size_t>(exponent)],
                                                                 coefficient);
    }
    trim_trailing_zeros(p.coeffs);
    return p;
}

std::string fmt(const Polynomial& p) {
    if (p.coeffs.empty()) return "0";
    std::string out;
    bool first = true;
    for (std::size_t e = 0; e < p.coeffs.size(); ++e) {
        const std::int64_t c = p.coeffs[e];
        if (c == 0) continue;
        if (!first && c > 0) out += '+';
        first = false;
        if (e == 0) {
            out += std::to_string(c);
        } else {
            if (c == 1) {
                out += 't';
            } else if (c == -1) {
                out += "-t";
            } else {
                out += std::to_string(c);
                out += "*t";
            }
            if (e >= 2) {
                out += '^';
                out += std::to_string(e);
            }
        }
    }
    return out;
}

Polynomial neg(Polynomial p) {
    for (std::int64_t& c : p.coeffs) c = wrap_neg(c);
    return p;
}

Polynomial add(const Polynomial& a, const Polynomial& b) {
    Polynomial r;
    r.coeffs.assign(std::max(a.coeffs.size(), b.coeffs.size()), 0);
    for (std::size_t i = 0; i < a.coeffs.size(); ++i) r.coeffs[i] = wrap_add(r.coeffs[i], a.coeffs[i]);
    for (std::size_t i = 0; i < b.coeffs.size(); ++i) r.coeffs[i] = wrap_add(r.coeffs[i], b.coeffs[i]);
    trim_trailing_zeros(r.coeffs);
    return r;
}

Polynomial mul(const Polynomial& a, const Polynomial& b) {
    Polynomial r;
    if (a.coeffs.empty() || b.coeffs.empty()) return r;
    r.coeffs.assign(a.coeffs.size() + b.coeffs.size() - 1, 0);
    for (std::size_t u = 0; u < a.coeffs.size(); ++u)
        for (std::size_t v = 0; v < b.coeffs.size(); ++v)
            r.coeffs[u + v] = wrap_add(r.coeffs[u + v], wrap_mul(a.coeffs[u], b.coeffs[v]));
    trim_trailing_zeros(r.coeffs);
    return r;
}

Polynomial normalize(const Polynomial& p) {
    Polynomial r;
    std::size_t lead = 0;
    while (lead < p.coeffs.size() && p.coeffs[lead] == 0) ++lead;
    r.coeffs.assign(p.coeffs.begin() + static_cast<std::ptrdiff_t>(lead), p.coeffs.end());
    trim_trailing_zeros(r.coeffs);
    if (!r.coeffs.empty() && r.coeffs.back() < 0) r = neg(std::move(r));
    return r;
}

Polynomial exact_div(const Polynomial& numerator, const Polynomial& divisor) {
    const std::size_t a = divisor.coeffs.size();
    const std::size_t n = numerator.coeffs.size();
    if (trimmed_size(divisor.coeffs) == 0) throw InternalError("polynomial division by zero");
    if (trimmed_size(numerator.coeffs) == 0) return {};
    if (n < a) {
        for (const std::int64_t c : numerator.coeffs)
            if (c != 0) throw InternalError("non-exact polynomial division");
        return {};
    }
    const std::int64_t lead = divisor.coeffs[a - 1];
    if (lead == 0) throw InternalError("attempt to calculate the remainder with a divisor of zero");
    std::vector<std::int64_t> r = numerator.coeffs;
    Polynomial q;
    q.coeffs.assign(n - a + 1, 0);
    for (std::size_t d = n; d-- > a - 1;) {
        const std::int64_t c = r[d];
        if (lead == -1 && c == INT64_MIN)
            throw InternalError("attempt to divide with overflow at degree " + std::to_string(d) + ": " +
                                list_text(r) + " / " + std::to_string(lead));
        if (c % lead != 0)
            throw InternalError("non-exact polynomial division at degree " + std::to_string(d) + ": " +
                                list_text(r) + " / " + std::to_string(lead));
        const std::int64_t quotient = c / lead;
        q.coeffs[d - a + 1] = quotient;
        for (std::size_t u = 0; u < a; ++u)
            r[d - a + 1 + u] = wrap_sub(r[d - a + 1 + u], wrap_mul(quotient, divisor.coeffs[u]));
    }
    trim_trailing_zeros(q.coeffs);
    return q;
}

Polynomial determinant(const std::vector<std::vector<Polynomial>>& rows) {
    const std::size_t n = rows.size();
    if (n == 0) return Polynomial{{1}};
    if (n == 1) return rows[0][0];
    std::vector<std::vector<Polynomial>> m(n);
    for (std::size_t r = 0; r < n; ++r) m[r].assign(rows[r].begin(), rows[r].begin() + static_cast<std::ptrdiff_t>(n));
    Polynomial prev{{1}};
    bool negate = false;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t pivot_row = k;
        while (pivot_row < n && m[pivot_row][k].coeffs.empty()) ++pivot_row;
        if (pivot_row == n) return {};
        if (pivot_row != k) {
            std::swap(m[k], m[pivot_row]);
            negate = !negate;
        }
        Polynomial pivot = m[k][k];
        for (std::size_t i = k + 1; i < n; ++i) {
            for (std::size_t j = k + 1; j < n; ++j) {
                const Polynomial first = mul(pivot, m[i][j]);
                const Polynomial second = mul(m[i][k], m[k][j]);
                Polynomial difference;
                difference.coeffs.assign(std::max(first.coeffs.size(), second.coeffs.size()), 0);
                for (std::size_t e = 0; e < first.coeffs.size(); ++e) difference.coeffs[e] = first.coeffs[e];
                for (std::size_t e = 0; e < second.coeffs.size(); ++e)
                    difference.coeffs[e] = wrap_sub(difference.coeffs[e], second.coeffs[e]);
                trim_trailing_zeros(difference.coeffs);
                m[i][j] = exact_div(difference, prev);
            }
            m[i][k].coeffs.clear();
        }
        prev = std::move(pivot);
    }
    Polynomial result = m[n - 1][n - 1];
    return negate ? neg(std::move(result)) : result;
}

namespace {

// Overflow-checked counterparts of mul, the Bareiss update and exact_div.
bool checked_mul(const Polynomial& a, const Polynomial& b, Polynomial& r) {
    r.coeffs.clear();
    if (a.coeffs.empty() || b.coeffs.empty()) return true;
    r.coeffs.assign(a.coeffs.size() + b.coeffs.size() - 1, 0);
    for (std::size_t u = 0; u < a.coeffs.size(); ++u) {
        if (a.coeffs[u] == 0) continue;
        for (std::size_t v = 0; v < b.coeffs.size(); ++v) {
            std::int64_t product;
            if (__builtin_mul_overflow(a.coeffs[u], b.coeffs[v], &product)) return false;
            if (__builtin_add_overflow(r.coeffs[u + v], product, &r.coeffs[u + v])) return false;
        }
    }
    trim_trailing_zeros(r.coeffs);
    return true;
}

std::optional<Polynomial> checked_exact_div(const Polynomial& numerator, const Polynomial& divisor) {
    const std::size_t a = trimmed_size(divisor.coeffs);
    const std::size_t n = trimmed_size(numerator.coeffs);
    if (a == 0) throw InternalError("polynomial division by zero");
    if (n == 0) return Polynomial{};
    if (n < a) throw InternalError("non-exact polynomial division");
    const std::int64_t lead = divisor.coeffs[a - 1];
    std::vector<std::int64_t> r(numerator.coeffs.begin(), numerator.coeffs.begin() + static_cast<std::ptrdiff_t>(n));
    Polynomial q;
    q.coeffs.assign(n - a + 1, 0);
    for (std::size_t d = n; d-- > a - 1;) {
        const std::int64_t c = r[d];
        if (lead == -1 && c == INT64_MIN) return std::nullopt;
        if (c % lead != 0)
            throw InternalError("non-exact polynomial division at degree " + std::to_string(d) + ": " +
                                list_text(r) + " / " + std::to_string(lead));
        const std::int64_t quotient = c / lead;
        q.coeffs[d - a + 1] = quotient;
        for (std::size_t u = 0; u < a; ++u) {
            std::int64_t product;
            if (__builtin_mul_overflow(quotient, divisor.coeffs[u], &product)) return std::nullopt;
            if (__builtin_sub_overflow(r[d - a + 1 + u], product, &r[d - a + 1 + u])) return std::nullopt;
        }
    }
    trim_trailing_zeros(q.coeffs);
    return q;
}

}  // namespace

std::optional<Polynomial> checked_determinant(const std::vector<std::vector<Polynomial>>& rows) {
    const std::size_t n = rows.size();
    if (n == 0) return Polynomial{{1}};
    if (n == 1) return rows[0][0];
    std::vector<std::vector<Polynomial>> m(n);
    for (std::size_t r = 0; r < n; ++r) m[r].assign(rows[r].begin(), rows[r].begin() + static_cast<std::ptrdiff_t>(n));
    Polynomial prev{{1}};
    bool negate = false;
    Polynomial first, second;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t pivot_row = k;
        while (pivot_row < n && m[pivot_row][k].coeffs.empty()) ++pivot_row;
        if (pivot_row == n) return Polynomial{};
        if (pivot_row != k) {
            std::swap(m[k], m[pivot_row]);
            negate = !negate;
        }
        const Polynomial pivot = m[k][k];
        for (std::size_t i = k + 1; i < n; ++i) {
            for (std::size_t j = k + 1; j < n; ++j) {
                if (!checked_mul(pivot, m[i][j], first) || !checked_mul(m[i][k], m[k][j], second))
                    return std::nullopt;
                Polynomial difference;
                difference.coeffs.assign(std::max(first.coeffs.size(), second.coeffs.size()), 0);
                for (std::size_t e = 0; e < first.coeffs.size(); ++e) difference.coeffs[e] = first.coeffs[e];
                for (std::size_t e = 0; e < second.coeffs.size(); ++e)
                    if (__builtin_sub_overflow(difference.coeffs[e], second.coeffs[e], &difference.coeffs[e]))
                        return std::nullopt;
                trim_trailing_zeros(difference.coeffs);
                std::optional<Polynomial> quotient = checked_exact_div(difference, prev);
                if (!quotient) return std::nullopt;
                m[i][j] = std::move(*quotient);
            }
            m[i][k].coeffs.clear();
        }
        prev = pivot;
    }
    Polynomial result = m[n - 1][n - 1];
    if (negate) {
        for (std::int64_t& c : result.coeffs) {
            if (c == INT64_MIN) return std::nullopt;
            c = -c;
        }
    }
    return result;
}

}  // namespace skeinlab
