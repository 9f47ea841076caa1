#include "invariants/homfly.hpp"

#include <array>
#include <stdexcept>
#include <vector>

#include "base/error.hpp"
#include "diagram/link_diagram.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

std::int64_t checked_add(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r)) throw std::overflow_error("coefficient beyond 64 bits");
    return r;
}

std::int64_t checked_mul(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_mul_overflow(a, b, &r)) throw std::overflow_error("coefficient beyond 64 bits");
    return r;
}

// Slots of a crossing: the edges in and out of its under strand and of its
// over strand, as an oriented diagram orders them.
using Slot = OrientedDiagram::Slot;
using enum OrientedDiagram::Slot;

// An oriented link diagram under the skein recursion: crossings with their
// four edges and signs, and edges with the crossing slots at their two ends;
// components without crossings are only counted. Edges and crossings keep
// their numbers while others are removed, so that base points stay put.
struct LinkState {
    struct End {
        std::uint32_t crossing;
        std::uint8_t slot;
    };
    std::vector<std::array<std::uint32_t, 4>> slots;  // by crossing: the edge at each slot
    std::vector<std::int8_t> sign;
    std::vector<bool> crossing_alive;
    std::vector<End> head, tail;  // by edge: where it goes in, where it comes out
    std::vector<bool> edge_alive;
    std::size_t free_loops = 0;
    std::size_t crossings_alive = 0;

    void attach(std::uint32_t edge, std::uint32_t c, std::uint8_t slot) {
        slots[c][slot] = edge;
        if (slot == kUnderIn || slot == kOverIn)
            head[edge] = {c, slot};
        else
            tail[edge] = {c, slot};
    }

    // L- from L+ and back: the over strand becomes the under strand.
    void switch_crossing(std::uint32_t c) {
        const std::array<std::uint32_t, 4> e = slots[c];
        attach(e[kOverIn], c, kUnderIn);
        attach(e[kOverOut], c, kUnderOut);
        attach(e[kUnderIn], c, kOverIn);
        attach(e[kUnderOut], c, kOverOut);
        sign[c] = static_cast<std::int8_t>(-sign[c]);
    }

    // L0: the strand coming in below goes on where the over strand went out,
    // and the strand coming in above where the under strand went out.
    void smooth_crossing(std::uint32_t c) {
        const std::array<std::uint32_t, 4> e = slots[c];
        crossing_alive[c] = false;
        --crossings_alive;
        join(e[kUnderIn], e[kOverOut]);
        join(e[kOverIn], e[kUnderOut]);
    }

private:
    // Edge `in` (which came into the removed crossing) now ends where edge
    // `out` (which left it) ended; `out` is gone, or `in` closes on itself.
    void join(std::uint32_t in, std::uint32_t out) {
        if (in == out) {
            edge_alive[in] = false;
            ++free_loops;
            return;
        }
        const End end = head[out];
        edge_alive[out] = false;
        if (!crossing_alive[end.crossing]) {
            // `out` ran straight back into the crossing being removed: the
            // joined strand continues from that slot's own continuation.
            throw InternalError("skein smoothing met a strand through one crossing twice");
        }
        attach(in, end.crossing, end.slot);
    }
};

LinkState link_state(const KnotDiagram& d) {
    const std::size_t n = d.crossings();
    const std::uint32_t m = static_cast<std::uint32_t>(d.walk.size());
    LinkState s;
    s.slots.assign(n, {});
    s.sign = d.signs;
    s.crossing_alive.assign(n, true);
    s.crossings_alive = n;
    s.head.assign(m, {});
    s.tail.assign(m, {});
    s.edge_alive.assign(m, true);
    // A diagram without crossings is one circle.
    if (m == 0) s.free_loops = 1;
    // Edge e runs from passage e to passage e + 1.
    for (std::uint32_t p = 0; p < m; ++p) {
        const Passage& pass = d.walk[p];
        const std::uint32_t in = (p + m - 1) % m, out = p;
        s.attach(in, pass.crossing, pass.over ? kOverIn : kUnderIn);
        s.attach(out, pass.crossing, pass.over ? kOverOut : kUnderOut);
    }
    return s;
}

// The skein tree, summed as it is walked: every path from the root carries a
// monomial (+-1 times a power of v and of z, the product of the skein
// factors along it), and every leaf, an unlink of c components, adds that
// monomial times mu^(c - 1), mu = (v^-1 - v) / z, to a dense table of
// coefficients.
class SkeinTree {
public:
    explicit SkeinTree(std::size_t crossings)
        : n_(static_cast<std::int32_t>(crossings)), v_span_(6 * n_ + 1), z_span_(2 * n_ + 1),
          sums_(static_cast<std::size_t>(v_span_) * static_cast<std::size_t>(z_span_), 0) {}

    void evaluate(LinkState& s, std::int64_t sign, std::int32_t v, std::int32_t z) {
        if (++visited_ % 4096 == 0) cancellation_point();
        // Walk the components from their lowest edges; the first crossing
        // met first from below decides the branch.
        const std::size_t edges = s.edge_alive.size();
        seen_edge_.assign(edges, false);
        seen_crossing_.assign(s.slots.size(), false);
        std::size_t components = s.free_loops;
        for (std::uint32_t start = 0; start < edges; ++start) {
            if (!s.edge_alive[start] || seen_edge_[start]) continue;
            ++components;
            std::uint32_t e = start;
            do {
                seen_edge_[e] = true;
                const LinkState::End at = s.head[e];
                const bool over = at.slot == kOverIn;
                if (!seen_crossing_[at.crossing]) {
                    if (!over) return branch(s, at.crossing, sign, v, z);
                    seen_crossing_[at.crossing] = true;
                }
                e = s.slots[at.crossing][over ? kOverOut : kUnderOut];
            } while (e != start);
        }
        // Descending: an unlink; mu^k = z^-k sum_j C(k, j) (-1)^j v^(2j - k).
        const std::int32_t k = static_cast<std::int32_t>(components) - 1;
        std::int64_t binomial = 1;
        for (std::int32_t j = 0; j <= k; ++j) {
            add(v + 2 * j - k, z - k, j % 2 == 0 ? checked_mul(sign, binomial) : -checked_mul(sign, binomial));
            binomial = checked_mul(binomial, k - j) / (j + 1);
        }
    }

    Laurent2 result() const {
        Laurent2 p = outside_;
        for (std::int32_t a = 0; a < v_span_; ++a)
            for (std::int32_t b = 0; b < z_span_; ++b)
                if (const std::int64_t c = sums_[static_cast<std::size_t>(a * z_span_ + b)])
                    p += Laurent2::monomial(c, a - 3 * n_, b - n_);
        return p;
    }

private:
    void branch(LinkState& s, std::uint32_t c, std::int64_t sign, std::int32_t v, std::int32_t z) {
        const int crossing_sign = s.sign[c];
        LinkState smoothed = s;
        smoothed.smooth_crossing(c);
        s.switch_crossing(c);
        // P(L+) = v^2 P(L-) + v z P(L0);  P(L-) = v^-2 P(L+) - v^-1 z P(L0).
        if (crossing_sign > 0) {
            evaluate(s, sign, v + 2, z);
            evaluate(smoothed, sign, v + 1, z + 1);
        } else {
            evaluate(s, sign, v - 2, z);
            evaluate(smoothed, -sign, v - 1, z + 1);
        }
    }

    // The table holds powers of v from -3 n to 3 n and of z from -n to n: z
    // rises by one per smoothing and a leaf's mu^k lowers it by k (at most
    // the smoothings), but a crossing switched, then met first from below
    // again after a smoothing changed the walk, is switched again, so a path
    // may carry more powers of v than 2 n: those terms go to a map.
    void add(std::int32_t v, std::int32_t z, std::int64_t c) {
        if (v < -3 * n_ || v > 3 * n_ || z < -n_ || z > n_) {
            outside_ += Laurent2::monomial(c, v, z);
            return;
        }
        std::int64_t& slot = sums_[static_cast<std::size_t>((v + 3 * n_) * z_span_ + (z + n_))];
        slot = checked_add(slot, c);
    }

    std::int32_t n_, v_span_, z_span_;
    std::vector<std::int64_t> sums_;
    Laurent2 outside_;
    std::vector<bool> seen_edge_, seen_crossing_;
    std::uint64_t visited_ = 0;
};

}  // namespace

Laurent2 Laurent2::monomial(std::int64_t coefficient, std::int32_t first, std::int32_t second) {
    Laurent2 p;
    if (coefficient != 0) p.terms_[{first, second}] = coefficient;
    return p;
}

void Laurent2::add_term(const Exponents& e, std::int64_t c) {
    auto [it, added] = terms_.emplace(e, c);
    if (added) return;
    it->second = checked_add(it->second, c);
    if (it->second == 0) terms_.erase(it);
}

Laurent2& Laurent2::operator+=(const Laurent2& other) {
    for (const auto& [e, c] : other.terms_) add_term(e, c);
    return *this;
}

Laurent2 operator*(const Laurent2& a, const Laurent2& b) {
    Laurent2 p;
    for (const auto& [ea, ca] : a.terms_)
        for (const auto& [eb, cb] : b.terms_) p.add_term({ea.first + eb.first, ea.second + eb.second}, checked_mul(ca, cb));
    return p;
}

Laurent2 Laurent2::times(std::int64_t coefficient, std::int32_t first, std::int32_t second) const {
    Laurent2 p;
    if (coefficient == 0) return p;
    for (const auto& [e, c] : terms_) p.terms_[{e.first + first, e.second + second}] = checked_mul(c, coefficient);
    return p;
}

std::string Laurent2::text(const char* first, const char* second) const {
    if (terms_.empty()) return "0";
    // Ordered by the second exponent, then the first.
    std::map<std::pair<std::int32_t, std::int32_t>, std::int64_t> ordered;
    for (const auto& [e, c] : terms_) ordered[{e.second, e.first}] = c;
    std::string out;
    for (const auto& [e, c] : ordered) {
        const auto [b, a] = e;
        std::string factors;
        const auto power = [&](const char* name, std::int32_t k) {
            if (k == 0) return;
            if (!factors.empty()) factors += '*';
            factors += name;
            if (k != 1) factors += '^' + std::to_string(k);
        };
        power(first, a);
        power(second, b);
        if (c < 0) {
            out += '-';
        } else if (!out.empty()) {
            out += '+';
        }
        const std::uint64_t magnitude = c < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
        if (factors.empty()) {
            out += std::to_string(magnitude);
        } else {
            if (magnitude != 1) out += std::to_string(magnitude) + '*';
            out += factors;
        }
    }
    return out;
}

std::optional<Laurent2> parse_laurent2(std::string_view text, char first, char second) {
    Laurent2 p;
    if (text == "0") return p;
    if (text.empty()) return std::nullopt;
    std::size_t at = 0;
    const auto number = [&](std::int64_t& out) {
        const std::size_t start = at;
        out = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            if (out > (INT64_MAX - 9) / 10) return false;
            out = out * 10 + (text[at++] - '0');
        }
        return at > start;
    };
    while (at < text.size()) {
        std::int64_t sign = 1;
        if (text[at] == '+' || text[at] == '-') {
            if (text[at] == '-') sign = -1;
            else if (at == 0) return std::nullopt;
            ++at;
        } else if (at != 0) {
            return std::nullopt;
        }
        std::int64_t coefficient = 1;
        std::int32_t exponents[2] = {0, 0};
        bool any = false;
        if (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            if (!number(coefficient)) return std::nullopt;
            any = true;
            if (at < text.size() && text[at] == '*') ++at;
            else if (at < text.size() && text[at] != '+' && text[at] != '-') return std::nullopt;
        }
        while (at < text.size() && (text[at] == first || text[at] == second)) {
            const int which = text[at] == first ? 0 : 1;
            ++at;
            std::int64_t k = 1;
            if (at < text.size() && text[at] == '^') {
                ++at;
                const bool negative = at < text.size() && text[at] == '-';
                if (negative) ++at;
                if (!number(k) || k > 1000000) return std::nullopt;
                if (negative) k = -k;
            }
            exponents[which] = static_cast<std::int32_t>(k);
            any = true;
            if (at < text.size() && text[at] == '*') ++at;
        }
        if (!any || coefficient == 0) return std::nullopt;
        p += Laurent2::monomial(sign * coefficient, exponents[0], exponents[1]);
    }
    return p;
}

std::optional<Laurent2> homfly_polynomial(const KnotDiagram& diagram) {
    try {
        SkeinTree tree(diagram.crossings());
        LinkState s = link_state(diagram);
        tree.evaluate(s, 1, 0, 0);
        return tree.result();
    } catch (const std::overflow_error&) {
        return std::nullopt;
    }
}

Laurent2 mirror_homfly(const Laurent2& homfly) {
    Laurent2 p;
    for (const auto& [e, c] : homfly.terms())
        p += Laurent2::monomial(e.second % 2 == 0 ? c : -c, -e.first, e.second);
    return p;
}

Laurent2 jones_from_homfly(const Laurent2& homfly) {
    // z^2 = t - 2 + t^-1.
    Laurent2 z2 = Laurent2::monomial(1, 1, 0);
    z2 += Laurent2::monomial(-2, 0, 0);
    z2 += Laurent2::monomial(1, -1, 0);
    Laurent2 v;
    for (const auto& [e, c] : homfly.terms()) {
        if (e.second < 0 || e.second % 2 != 0)
            throw InternalError("the HOMFLY-PT polynomial of a knot has only even, nonnegative powers of z");
        Laurent2 term = Laurent2::monomial(c, e.first, 0);
        for (std::int32_t k = 0; k < e.second / 2; ++k) term = term * z2;
        v += term;
    }
    return v;
}

}  // namespace skeinlab
