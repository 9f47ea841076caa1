#include "invariants/homfly_sweep.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <queue>
#include <stdexcept>
#include <utility>

#include "diagram/reidemeister.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

using Slot = OrientedDiagram::Slot;
using enum OrientedDiagram::Slot;

struct Graph {
    std::vector<std::array<std::uint32_t, 4>> edges;  // by crossing, by slot
    std::vector<std::uint32_t> tail, head;            // by edge: the crossing it leaves, the one it enters
};

// The graph of an oriented diagram; nothing unless every edge leaves exactly
// one slot and enters exactly one.
std::optional<Graph> graph_of(const OrientedDiagram& d) {
    const std::size_t m = 2 * d.crossings.size();
    Graph g;
    g.edges = d.crossings;
    g.tail.assign(m, 0);
    g.head.assign(m, 0);
    std::vector<std::uint8_t> seen(m, 0);
    for (std::uint32_t c = 0; c < d.crossings.size(); ++c) {
        for (std::uint8_t slot = 0; slot < 4; ++slot) {
            const std::uint32_t e = d.crossings[c][slot];
            const bool in = slot == kUnderIn || slot == kOverIn;
            const std::uint8_t bit = in ? 1 : 2;
            if (e >= m || (seen[e] & bit)) return std::nullopt;
            seen[e] |= bit;
            (in ? g.head : g.tail)[e] = c;
        }
    }
    return g;
}

Graph graph_of(const KnotDiagram& d) { return *graph_of(oriented_diagram(d)); }

bool has_kink(const Graph& g) {
    for (std::size_t e = 0; e < g.tail.size(); ++e)
        if (g.tail[e] == g.head[e]) return true;
    return false;
}

// The greedy order from one start, and its width and total.
std::pair<std::size_t, std::size_t> greedy_order(const Graph& g, std::uint32_t start, std::vector<std::uint32_t>& order) {
    const std::size_t n = g.edges.size();
    std::vector<bool> swept(n, false);
    // Edge ends from each unswept crossing to swept ones, and a queue of
    // (that count, -crossing) whose stale entries are skipped.
    std::vector<int> touching(n, 0);
    std::priority_queue<std::pair<int, std::int64_t>> queue;
    order.clear();
    std::size_t frontier = 0, width = 0, total = 0;
    std::uint32_t next = start;
    for (std::size_t step = 0; step < n; ++step) {
        swept[next] = true;
        order.push_back(next);
        // Each of the crossing's edges to a swept crossing leaves the
        // frontier; each to an unswept one joins it.
        for (const std::uint32_t e : g.edges[next]) {
            const std::uint32_t other = g.tail[e] == next ? g.head[e] : g.tail[e];
            if (other == next) continue;
            if (swept[other]) {
                --frontier;
            } else {
                ++frontier;
                queue.emplace(++touching[other], -std::int64_t{other});
            }
        }
        width = std::max(width, frontier);
        total += frontier;
        if (step + 1 == n) break;
        // The next crossing: the most edges to swept crossings (the fewest
        // added to the frontier), then the lowest number; a crossing not
        // joined to any swept one only when none is.
        while (!queue.empty() && (swept[static_cast<std::size_t>(-queue.top().second)] ||
                                  queue.top().first != touching[static_cast<std::size_t>(-queue.top().second)]))
            queue.pop();
        if (!queue.empty()) {
            next = static_cast<std::uint32_t>(-queue.top().second);
        } else {
            next = 0;
            while (swept[next]) ++next;
        }
    }
    return {width, total};
}

// A polynomial in v and z as sorted (key, coefficient) terms, the key packing
// the exponent of z above that of v so that a monomial factor shifts every key
// alike and keeps the order.
using Key = std::int64_t;
constexpr Key kVOffset = Key{1} << 30;
constexpr Key kZStride = Key{1} << 32;

Key key_of(std::int32_t v, std::int32_t z) { return Key{z} * kZStride + Key{v} + kVOffset; }
std::int32_t v_of(Key k) { return static_cast<std::int32_t>(((k % kZStride) + kZStride) % kZStride - kVOffset); }
std::int32_t z_of(Key k) { return static_cast<std::int32_t>((k - Key{v_of(k)} - kVOffset) / kZStride); }

// Coefficients of 128 bits: a leaf of c components adds mu^(c - 1), whose
// binomial coefficients cancel only in the sum, so partial sums of a
// diagram of a hundred crossings outgrow 64 bits long before its polynomial.
__extension__ typedef __int128 Coefficient;
using Terms = std::vector<std::pair<Key, Coefficient>>;

Coefficient checked_sum(Coefficient a, Coefficient b) {
    Coefficient r;
    if (__builtin_add_overflow(a, b, &r)) throw std::overflow_error("coefficient beyond 128 bits");
    return r;
}

Coefficient checked_product(Coefficient a, std::int64_t b) {
    Coefficient r;
    if (__builtin_mul_overflow(a, Coefficient{b}, &r)) throw std::overflow_error("coefficient beyond 128 bits");
    return r;
}

// dst += factor * v^dv * z^dz * src, merged through `scratch` (whose buffer
// is swapped with dst's, so that buffers are reused rather than allocated).
void add_scaled(Terms& dst, const Terms& src, std::int64_t factor, std::int32_t dv, std::int32_t dz, Terms& scratch) {
    const Key shift = Key{dz} * kZStride + Key{dv};
    if (dst.empty()) {
        dst.resize(src.size());
        for (std::size_t j = 0; j < src.size(); ++j) dst[j] = {src[j].first + shift, checked_product(src[j].second, factor)};
        return;
    }
    scratch.clear();
    std::size_t i = 0, j = 0;
    while (i < dst.size() || j < src.size()) {
        if (j == src.size() || (i < dst.size() && dst[i].first < src[j].first + shift)) {
            scratch.push_back(dst[i++]);
        } else if (i == dst.size() || src[j].first + shift < dst[i].first) {
            scratch.emplace_back(src[j].first + shift, checked_product(src[j].second, factor));
            ++j;
        } else {
            const Coefficient c = checked_sum(dst[i].second, checked_product(src[j].second, factor));
            if (c != 0) scratch.emplace_back(dst[i].first, c);
            ++i;
            ++j;
        }
    }
    dst.swap(scratch);
}

// A fragment of the walk through the swept crossings: its first edge (whose
// tail is not swept yet) and its last (whose head is not). While a crossing
// is swept, edges of the crossing not yet in a fragment stand alone as
// fragments of one edge.
struct Fragment {
    std::uint32_t in, out;
};

// Where a fragment sits: its component and its place in it.
struct Place {
    std::size_t component = 0, index = 0;
    bool found = false;
};

// A state of the sweep: whether the walk's first component is already
// closed, and the components still open, in the order of the walk, each as
// its fragments in the order the walk meets them from the component's least
// edge (the fragment holding it first). Fixed capacity, no allocation.
constexpr std::size_t kMaxFragments = 24;

struct Layout {
    bool first_closed = false;
    std::size_t components = 0, fragments = 0;
    // By component its size, and the components' fragments one after
    // another (left uninitialised beyond the counts).
    std::array<std::uint8_t, kMaxFragments> size;
    std::array<Fragment, kMaxFragments> at;

    std::size_t begin(std::size_t c) const {
        std::size_t b = 0;
        for (std::size_t k = 0; k < c; ++k) b += size[k];
        return b;
    }
    Fragment& fragment(std::size_t c, std::size_t i) { return at[begin(c) + i]; }

    void insert(std::size_t c, std::size_t i, const Fragment* f, std::size_t count) {
        if (fragments + count > kMaxFragments) throw std::length_error("sweep state");
        const std::size_t p = begin(c) + i;
        std::copy_backward(at.begin() + static_cast<std::ptrdiff_t>(p), at.begin() + static_cast<std::ptrdiff_t>(fragments),
                           at.begin() + static_cast<std::ptrdiff_t>(fragments + count));
        std::copy(f, f + count, at.begin() + static_cast<std::ptrdiff_t>(p));
        fragments += count;
        size[c] = static_cast<std::uint8_t>(size[c] + count);
    }
    void erase(std::size_t c, std::size_t i) {
        const std::size_t p = begin(c) + i;
        std::copy(at.begin() + static_cast<std::ptrdiff_t>(p + 1), at.begin() + static_cast<std::ptrdiff_t>(fragments),
                  at.begin() + static_cast<std::ptrdiff_t>(p));
        --fragments;
        --size[c];
    }
    // Removes component c (of one fragment).
    void erase_component(std::size_t c) {
        erase(c, 0);
        std::copy(size.begin() + static_cast<std::ptrdiff_t>(c + 1), size.begin() + static_cast<std::ptrdiff_t>(components),
                  size.begin() + static_cast<std::ptrdiff_t>(c));
        --components;
    }
    void push_component(const Fragment* f, std::size_t count) {
        if (components == kMaxFragments) throw std::length_error("sweep state");
        size[components++] = 0;
        insert(components - 1, 0, f, count);
    }

    template <class Match>
    Place find(Match match) const {
        std::size_t p = 0;
        for (std::size_t c = 0; c < components; ++c)
            for (std::size_t i = 0; i < size[c]; ++i, ++p)
                if (match(at[p])) return {c, i, true};
        return {};
    }
    Place find_by_out(std::uint32_t edge) const {
        return find([edge](const Fragment& f) { return f.out == edge; });
    }
    Place find_by_in(std::uint32_t edge) const {
        return find([edge](const Fragment& f) { return f.in == edge; });
    }

    // As words: the flag and the counts, each component's size, each
    // fragment's two edges.
    std::size_t encode(std::uint32_t* words) const {
        std::size_t n = 0;
        words[n++] = (first_closed ? 1u : 0u) | static_cast<std::uint32_t>(components << 1);
        for (std::size_t c = 0; c < components; ++c) words[n++] = static_cast<std::uint32_t>(size[c]);
        for (std::size_t p = 0; p < fragments; ++p) {
            words[n++] = at[p].in;
            words[n++] = at[p].out;
        }
        return n;
    }
    static Layout decode(const std::uint32_t* words) {
        Layout s;
        s.first_closed = (words[0] & 1u) != 0;
        s.components = words[0] >> 1;
        std::size_t n = 1;
        for (std::size_t c = 0; c < s.components; ++c) {
            s.size[c] = static_cast<std::uint8_t>(words[n++]);
            s.fragments += s.size[c];
        }
        for (std::size_t p = 0; p < s.fragments; ++p) {
            s.at[p].in = words[n++];
            s.at[p].out = words[n++];
        }
        return s;
    }
};

constexpr std::size_t kMaxWords = 1 + 3 * kMaxFragments;

// The states of one step: their codes, one after another, and polynomials,
// found by an open-addressing hash table. Cleared without freeing, so that
// the polynomials' buffers serve again.
class StateTable {
public:
    std::size_t size() const { return count_; }
    const std::uint32_t* code(std::size_t k) const { return words_.data() + start_[k]; }
    Terms& terms(std::size_t k) { return terms_[k]; }

    Terms& find_or_add(const std::uint32_t* code, std::size_t length) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t h = hash(code, length) & mask;; h = (h + 1) & mask) {
            const std::int64_t k = slots_[h];
            if (k < 0) {
                slots_[h] = static_cast<std::int64_t>(count_);
                return add(code, length);
            }
            const std::size_t at = start_[static_cast<std::size_t>(k)];
            if (start_[static_cast<std::size_t>(k) + 1] - at == length &&
                std::equal(code, code + length, words_.begin() + static_cast<std::ptrdiff_t>(at)))
                return terms_[static_cast<std::size_t>(k)];
        }
    }

    void clear() {
        words_.clear();
        start_.assign(1, 0);
        std::fill(slots_.begin(), slots_.end(), -1);
        for (std::size_t k = 0; k < count_; ++k) terms_[k].clear();
        count_ = 0;
    }

private:
    static std::size_t hash(const std::uint32_t* code, std::size_t length) {
        std::uint64_t h = 0x9e3779b97f4a7c15ull;
        for (std::size_t k = 0; k < length; ++k) h = (h ^ code[k]) * 0xff51afd7ed558ccdull;
        return static_cast<std::size_t>(h ^ (h >> 31));
    }

    Terms& add(const std::uint32_t* code, std::size_t length) {
        words_.insert(words_.end(), code, code + length);
        start_.push_back(static_cast<std::uint32_t>(words_.size()));
        if (terms_.size() == count_) terms_.emplace_back();
        return terms_[count_++];
    }

    void grow() {
        slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), -1);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t k = 0; k < count_; ++k) {
            std::size_t h = hash(code(k), start_[k + 1] - start_[k]) & mask;
            while (slots_[h] >= 0) h = (h + 1) & mask;
            slots_[h] = static_cast<std::int64_t>(k);
        }
    }

    std::vector<std::uint32_t> words_;
    std::vector<std::uint32_t> start_{0};
    std::vector<Terms> terms_;
    std::vector<std::int64_t> slots_;
    std::size_t count_ = 0;
};

using Paths = std::array<std::pair<std::uint32_t, std::uint32_t>, 2>;

class Sweep {
public:
    Sweep(const Graph& g, const std::vector<std::int8_t>& signs, std::vector<std::uint32_t> order,
          const SweepLimits& limits)
        : g_(g), signs_(signs), order_(std::move(order)), limits_(limits), swept_(g.edges.size(), false) {}

    std::optional<Terms> run() {
        StateTable states, next;
        std::uint32_t words[kMaxWords];
        states.find_or_add(words, Layout{}.encode(words)).push_back({key_of(0, 0), 1});
        for (const std::uint32_t x : order_) {
            next.clear();
            for (std::size_t k = 0; k < states.size(); ++k) {
                if (++visited_ % 256 == 0) cancellation_point();
                step(Layout::decode(states.code(k)), states.terms(k), x, next);
                if (next.size() > limits_.max_states) return std::nullopt;
            }
            swept_[x] = true;
            std::swap(states, next);
        }
        Terms result;
        for (std::size_t k = 0; k < states.size(); ++k) {
            const Layout s = Layout::decode(states.code(k));
            if (s.components != 0 || !s.first_closed)
                throw InternalError("the HOMFLY-PT sweep ended with a component open");
            add_scaled(result, states.terms(k), 1, 0, 0, scratch_);
        }
        return result;
    }

private:
    // Sweeps crossing x in state s: both ways of passing it (kept, smoothed),
    // every place the walk may give the fragments that start at it.
    void step(const Layout& s, const Terms& terms, std::uint32_t x, StateTable& next) {
        const auto& e = g_.edges[x];
        for (const bool smoothed : {false, true}) {
            // The two paths through x: in-edge to out-edge, the under strand's
            // in-edge first.
            const Paths paths = smoothed ? Paths{{{e[kUnderIn], e[kOverOut]}, {e[kOverIn], e[kUnderOut]}}}
                                         : Paths{{{e[kUnderIn], e[kUnderOut]}, {e[kOverIn], e[kOverOut]}}};
            Layout base = s;
            // Fragments of one edge: an in-edge from an unswept crossing, an
            // out-edge to one. One joined to a fragment already there sits
            // next to it; a path of two new edges is a new fragment to place.
            std::array<std::pair<std::uint32_t, std::uint32_t>, 2> loose;
            std::size_t loose_count = 0;
            for (const auto& [in, out] : paths) {
                const bool in_new = !swept_[g_.tail[in]], out_new = !swept_[g_.head[out]];
                if (in_new && out_new) {
                    loose[loose_count++] = {in, out};
                } else if (in_new) {
                    // Before the fragment that goes on from x (at the end when
                    // that fragment is its component's first).
                    const Place p = base.find_by_in(out);
                    const Fragment stub{in, in};
                    base.insert(p.component, p.index == 0 ? base.size[p.component] : p.index, &stub, 1);
                } else if (out_new) {
                    const Place p = base.find_by_out(in);
                    const Fragment stub{out, out};
                    base.insert(p.component, p.index + 1, &stub, 1);
                }
            }
            place(base, loose, loose_count, 0, s.components, terms, paths, smoothed, signs_[x], next);
        }
    }

    // Places loose[k..] in every gap of the open components (not between a
    // fragment ending at x and its continuation) or in a component of its own.
    void place(const Layout& s, const std::array<std::pair<std::uint32_t, std::uint32_t>, 2>& loose,
               std::size_t loose_count, std::size_t k, std::size_t existing, const Terms& terms, const Paths& paths,
               bool smoothed, int sign, StateTable& next) {
        if (k == loose_count || k == loose.size()) return finish(s, existing, terms, paths, smoothed, sign, next);
        const Fragment block[2] = {{loose[k].first, loose[k].first}, {loose[k].second, loose[k].second}};
        std::size_t p = 0;
        for (std::size_t c = 0; c < s.components; ++c) {
            for (std::size_t i = 0; i < s.size[c]; ++i, ++p) {
                const std::uint32_t last = s.at[p].out;
                if (last == paths[0].first || last == paths[1].first) continue;
                Layout t = s;
                t.insert(c, i + 1, block, 2);
                place(t, loose, loose_count, k + 1, existing, terms, paths, smoothed, sign, next);
            }
        }
        Layout t = s;
        t.push_component(block, 2);
        place(t, loose, loose_count, k + 1, existing, terms, paths, smoothed, sign, next);
    }

    // With every fragment placed: orders the new components, compares when
    // the walk meets x from below and from above, joins the fragments through
    // x and records the state with its skein factor.
    void finish(Layout s, std::size_t existing, const Terms& terms, const Paths& paths, bool smoothed, int sign,
                StateTable& next) {
        // A new component starts from its least edge: all its edges are new at
        // this step, ordered by number. New components (at most two) follow
        // the old ones, by least edge.
        for (std::size_t c = existing; c < s.components; ++c) {
            const auto first = s.at.begin() + static_cast<std::ptrdiff_t>(s.begin(c));
            const auto last = first + static_cast<std::ptrdiff_t>(s.size[c]);
            std::rotate(first, std::min_element(first, last, [](const Fragment& a, const Fragment& b) { return a.in < b.in; }),
                        last);
        }
        if (s.components == existing + 2 && s.fragment(existing + 1, 0).in < s.fragment(existing, 0).in) {
            const std::size_t b = s.begin(existing);
            std::rotate(s.at.begin() + static_cast<std::ptrdiff_t>(b),
                        s.at.begin() + static_cast<std::ptrdiff_t>(b + s.size[existing]),
                        s.at.begin() + static_cast<std::ptrdiff_t>(s.fragments));
            std::swap(s.size[existing], s.size[existing + 1]);
        }
        // The under strand's in-edge is paths[0].first, the over strand's is
        // paths[1].first: each is the last edge of its fragment.
        const Place under = s.find_by_out(paths[0].first), over = s.find_by_out(paths[1].first);
        const bool under_first = std::pair{under.component, under.index} < std::pair{over.component, over.index};
        if (smoothed && !under_first) return;
        // Skein factors: P(L+) = v^2 P(L-) + v z P(L0), P(L-) = v^-2 P(L+) - v^-1 z P(L0).
        std::int64_t factor = 1;
        std::int32_t dv = 0, dz = 0;
        if (smoothed) {
            dv = sign > 0 ? 1 : -1;
            dz = 1;
            factor = sign > 0 ? 1 : -1;
        } else if (under_first) {
            dv = sign > 0 ? 2 : -2;
        }
        // The joins through x: the fragment ending on a path's in-edge goes on
        // with the one starting on its out-edge, which must follow it in the
        // walk (or be itself, closing a component that has no other fragment).
        int mu_powers = 0;
        for (const auto& [in, out] : paths) {
            const Place a = s.find_by_out(in), b = s.find_by_in(out);
            if (!a.found || !b.found) throw InternalError("the HOMFLY-PT sweep lost a fragment");
            const std::size_t size = s.size[a.component];
            if (a.component == b.component && a.index == b.index) {
                if (size != 1) return;
                // The walk's first component closing has P = 1; every other
                // adds a factor mu = (v^-1 - v) / z.
                if (a.component == 0 && !s.first_closed)
                    s.first_closed = true;
                else
                    ++mu_powers;
                s.erase_component(a.component);
                continue;
            }
            if (a.component != b.component || b.index != (a.index + 1) % size) return;
            if (b.index == 0) {
                s.fragment(a.component, 0).in = s.fragment(a.component, a.index).in;
                s.erase(a.component, a.index);
            } else {
                s.fragment(a.component, a.index).out = s.fragment(a.component, b.index).out;
                s.erase(a.component, b.index);
            }
        }
        std::uint32_t words[kMaxWords];
        Terms& target = next.find_or_add(words, s.encode(words));
        // mu^k = z^-k sum_j C(k, j) (-1)^j v^(2j - k), k at most 2.
        static constexpr std::int64_t kBinomial[3][3] = {{1, 0, 0}, {1, 1, 0}, {1, 2, 1}};
        for (int j = 0; j <= mu_powers; ++j)
            add_scaled(target, terms, (j % 2 == 0 ? factor : -factor) * kBinomial[mu_powers][j], dv + 2 * j - mu_powers,
                       dz - mu_powers, scratch_);
    }

    const Graph& g_;
    const std::vector<std::int8_t>& signs_;
    std::vector<std::uint32_t> order_;
    SweepLimits limits_;
    std::vector<bool> swept_;
    std::uint64_t visited_ = 0;
    Terms scratch_;
};

}  // namespace

namespace {

SweepOrder order_of(const Graph& g) {
    SweepOrder best;
    const std::size_t n = g.edges.size();
    if (n == 0) return best;
    // At most 16 starts, spread over the crossings.
    const std::size_t starts = std::min<std::size_t>(n, 16);
    std::size_t best_total = 0;
    std::vector<std::uint32_t> order;
    for (std::size_t k = 0; k < starts; ++k) {
        const auto start = static_cast<std::uint32_t>(k * n / starts);
        const auto [width, total] = greedy_order(g, start, order);
        if (best.crossings.empty() || width < best.width || (width == best.width && total < best_total)) {
            best.crossings = order;
            best.width = width;
            best_total = total;
        }
    }
    return best;
}

}  // namespace

SweepOrder sweep_order(const KnotDiagram& diagram) { return order_of(graph_of(diagram)); }

std::optional<Laurent2> homfly_polynomial_sweep(const KnotDiagram& diagram, const SweepLimits& limits) {
    KnotDiagram d = diagram;
    if (has_kink(graph_of(d))) reduce_diagram(d);
    if (d.crossings() == 0) return Laurent2::monomial(1, 0, 0);
    return homfly_polynomial_sweep(oriented_diagram(d), limits);
}

std::optional<Laurent2> homfly_polynomial_sweep(const OrientedDiagram& d, const SweepLimits& limits) {
    if (d.crossings.empty() || d.signs.size() != d.crossings.size()) return std::nullopt;
    const std::optional<Graph> graph = graph_of(d);
    if (!graph || has_kink(*graph)) return std::nullopt;
    const Graph& g = *graph;
    try {
        SweepOrder order = order_of(g);
        // A state holds at most half the width's fragments, plus four of one
        // edge while a crossing is swept.
        if (order.width > limits.max_width || order.width / 2 + 4 > kMaxFragments) return std::nullopt;
        Sweep sweep(g, d.signs, std::move(order.crossings), limits);
        const std::optional<Terms> terms = sweep.run();
        if (!terms) return std::nullopt;
        Laurent2 p;
        for (const auto& [key, c] : *terms) {
            if (c > INT64_MAX || c < INT64_MIN) return std::nullopt;
            p += Laurent2::monomial(static_cast<std::int64_t>(c), v_of(key), z_of(key));
        }
        return p;
    } catch (const std::overflow_error&) {
        return std::nullopt;
    }
}

std::optional<Laurent2> link_homfly(const LinkProjection& projection, const SweepLimits& limits) {
    Laurent2 mu = Laurent2::monomial(1, -1, -1);
    mu += Laurent2::monomial(-1, 1, -1);
    std::optional<Laurent2> p = Laurent2::monomial(1, 0, 0);
    std::size_t factors = projection.free_components;
    if (projection.diagram.crossings.empty()) {
        if (factors > 0) --factors;
    } else {
        p = homfly_polynomial_sweep(projection.diagram, limits);
    }
    try {
        for (std::size_t k = 0; p && k < factors; ++k) p = *p * mu;
    } catch (const std::overflow_error&) {
        return std::nullopt;
    }
    return p;
}

}  // namespace skeinlab
