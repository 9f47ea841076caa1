#include "invariants/homfly_sweep.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <queue>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "diagram/reidemeister.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

// A crossing's four edges: in and out of its under strand, in and out of its
// over strand.
enum Slot : std::uint8_t { kUnderIn = 0, kUnderOut = 1, kOverIn = 2, kOverOut = 3 };

struct Graph {
    std::vector<std::array<std::uint32_t, 4>> edges;  // by crossing, by slot
    std::vector<std::uint32_t> tail, head;            // by edge: the crossing it leaves, the one it enters
};

Graph graph_of(const KnotDiagram& d) {
    const std::uint32_t m = static_cast<std::uint32_t>(d.walk.size());
    Graph g;
    g.edges.assign(d.crossings(), {});
    g.tail.assign(m, 0);
    g.head.assign(m, 0);
    // Edge e runs from passage e to passage e + 1.
    for (std::uint32_t p = 0; p < m; ++p) {
        const Passage& pass = d.walk[p];
        const std::uint32_t in = (p + m - 1) % m, out = p;
        g.edges[pass.crossing][pass.over ? kOverIn : kUnderIn] = in;
        g.edges[pass.crossing][pass.over ? kOverOut : kUnderOut] = out;
        g.head[in] = pass.crossing;
        g.tail[out] = pass.crossing;
    }
    return g;
}

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

using Terms = std::vector<std::pair<Key, std::int64_t>>;

std::int64_t checked_sum(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r)) throw std::overflow_error("coefficient beyond 64 bits");
    return r;
}

// dst += sign * v^dv * z^dz * src.
void add_shifted(Terms& dst, const Terms& src, int sign, std::int32_t dv, std::int32_t dz) {
    const Key shift = Key{dz} * kZStride + Key{dv};
    const auto coefficient = [sign](std::int64_t c) {
        if (sign > 0) return c;
        if (c == std::numeric_limits<std::int64_t>::min()) throw std::overflow_error("coefficient beyond 64 bits");
        return -c;
    };
    Terms out;
    out.reserve(dst.size() + src.size());
    std::size_t i = 0, j = 0;
    while (i < dst.size() || j < src.size()) {
        if (j == src.size() || (i < dst.size() && dst[i].first < src[j].first + shift)) {
            out.push_back(dst[i++]);
        } else if (i == dst.size() || src[j].first + shift < dst[i].first) {
            out.emplace_back(src[j].first + shift, coefficient(src[j].second));
            ++j;
        } else {
            const std::int64_t c = checked_sum(dst[i].second, coefficient(src[j].second));
            if (c != 0) out.emplace_back(dst[i].first, c);
            ++i;
            ++j;
        }
    }
    dst = std::move(out);
}

// A fragment of the walk through the swept crossings: its first edge (whose
// tail is not swept yet) and its last (whose head is not). While a crossing
// is swept, edges of the crossing not yet in a fragment stand alone as
// fragments of one edge.
struct Fragment {
    std::uint32_t in, out;
    friend bool operator==(const Fragment&, const Fragment&) = default;
};

// A state of the sweep: whether the walk's first component is already
// closed, and the components still open, in the order of the walk, each as
// its fragments in the order the walk meets them from the component's least
// edge (the fragment holding it first).
struct Layout {
    bool first_closed = false;
    std::vector<std::vector<Fragment>> components;
};

using Code = std::vector<std::uint32_t>;

Code encode(const Layout& s) {
    Code code{s.first_closed ? 1u : 0u};
    for (const auto& component : s.components) {
        code.push_back(static_cast<std::uint32_t>(component.size()));
        for (const Fragment& f : component) {
            code.push_back(f.in);
            code.push_back(f.out);
        }
    }
    return code;
}

Layout decode(const Code& code) {
    Layout s;
    s.first_closed = code[0] != 0;
    for (std::size_t at = 1; at < code.size();) {
        const std::uint32_t k = code[at++];
        std::vector<Fragment> component(k);
        for (Fragment& f : component) {
            f.in = code[at++];
            f.out = code[at++];
        }
        s.components.push_back(std::move(component));
    }
    return s;
}

struct CodeHash {
    std::size_t operator()(const Code& code) const {
        std::uint64_t h = 0x9e3779b97f4a7c15ull;
        for (const std::uint32_t w : code) h = (h ^ w) * 0x100000001b3ull + (h >> 29);
        return static_cast<std::size_t>(h);
    }
};

using States = std::unordered_map<Code, Terms, CodeHash>;

// Where a fragment sits: its component and its place in it.
struct Place {
    std::size_t component = 0, index = 0;
    bool found = false;
};

Place find_by_out(const Layout& s, std::uint32_t edge) {
    for (std::size_t c = 0; c < s.components.size(); ++c)
        for (std::size_t i = 0; i < s.components[c].size(); ++i)
            if (s.components[c][i].out == edge) return {c, i, true};
    return {};
}

Place find_by_in(const Layout& s, std::uint32_t edge) {
    for (std::size_t c = 0; c < s.components.size(); ++c)
        for (std::size_t i = 0; i < s.components[c].size(); ++i)
            if (s.components[c][i].in == edge) return {c, i, true};
    return {};
}

class Sweep {
public:
    Sweep(const Graph& g, const std::vector<std::int8_t>& signs, std::vector<std::uint32_t> order,
          const SweepLimits& limits)
        : g_(g), signs_(signs), order_(std::move(order)), limits_(limits), swept_(g.edges.size(), false) {}

    std::optional<Terms> run() {
        States states;
        states.emplace(encode(Layout{}), Terms{{key_of(0, 0), 1}});
        for (const std::uint32_t x : order_) {
            States next;
            for (const auto& [code, terms] : states) {
                if (++visited_ % 256 == 0) cancellation_point();
                step(decode(code), terms, x, next);
                if (next.size() > limits_.max_states) return std::nullopt;
            }
            swept_[x] = true;
            states = std::move(next);
        }
        Terms result;
        for (const auto& [code, terms] : states) {
            const Layout s = decode(code);
            if (!s.components.empty() || !s.first_closed)
                throw InternalError("the HOMFLY-PT sweep ended with a component open");
            add_shifted(result, terms, 1, 0, 0);
        }
        return result;
    }

private:
    // Sweeps crossing x in state s: both ways of passing it (kept, smoothed),
    // every place the walk may give the fragments that start at it.
    void step(const Layout& s, const Terms& terms, std::uint32_t x, States& next) {
        const auto& e = g_.edges[x];
        const int sign = signs_[x];
        for (const bool smoothed : {false, true}) {
            // The two paths through x: in-edge to out-edge.
            const std::array<std::pair<std::uint32_t, std::uint32_t>, 2> paths =
                smoothed ? std::array<std::pair<std::uint32_t, std::uint32_t>, 2>{{{e[kUnderIn], e[kOverOut]},
                                                                                  {e[kOverIn], e[kUnderOut]}}}
                         : std::array<std::pair<std::uint32_t, std::uint32_t>, 2>{{{e[kUnderIn], e[kUnderOut]},
                                                                                  {e[kOverIn], e[kOverOut]}}};
            Layout base = s;
            // Fragments of one edge: an in-edge from an unswept crossing, an
            // out-edge to one. One joined to a fragment already there sits
            // next to it; a path of two new edges is a new fragment to place.
            std::vector<std::pair<std::uint32_t, std::uint32_t>> loose;
            for (const auto& [in, out] : paths) {
                const bool in_new = !swept_[g_.tail[in]], out_new = !swept_[g_.head[out]];
                if (in_new && out_new) {
                    loose.emplace_back(in, out);
                } else if (in_new) {
                    const Place p = find_by_in(base, out);
                    auto& component = base.components[p.component];
                    component.insert(component.begin() + static_cast<std::ptrdiff_t>(p.index == 0 ? component.size() : p.index),
                                     Fragment{in, in});
                } else if (out_new) {
                    const Place p = find_by_out(base, in);
                    auto& component = base.components[p.component];
                    component.insert(component.begin() + static_cast<std::ptrdiff_t>(p.index + 1), Fragment{out, out});
                }
            }
            place(base, loose, 0, s.components.size(), terms, x, paths, smoothed, sign, next);
        }
    }

    // Places loose[k..] in every gap of the open components (not between a
    // fragment ending at x and its continuation) or in a component of its own.
    void place(const Layout& s, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& loose, std::size_t k,
               std::size_t existing, const Terms& terms, std::uint32_t x,
               const std::array<std::pair<std::uint32_t, std::uint32_t>, 2>& paths, bool smoothed, int sign,
               States& next) {
        if (k == loose.size()) return finish(s, existing, terms, paths, smoothed, sign, next);
        const auto [in, out] = loose[k];
        const Fragment block[2] = {{in, in}, {out, out}};
        for (std::size_t c = 0; c < s.components.size(); ++c) {
            const auto& component = s.components[c];
            for (std::size_t i = 0; i < component.size(); ++i) {
                const std::uint32_t last = component[i].out;
                if (last == paths[0].first || last == paths[1].first) continue;
                Layout t = s;
                auto& target = t.components[c];
                target.insert(target.begin() + static_cast<std::ptrdiff_t>(i + 1), block, block + 2);
                place(t, loose, k + 1, existing, terms, x, paths, smoothed, sign, next);
            }
        }
        Layout t = s;
        t.components.push_back({block[0], block[1]});
        place(t, loose, k + 1, existing, terms, x, paths, smoothed, sign, next);
    }

    // With every fragment placed: orders the new components, compares when
    // the walk meets x from below and from above, joins the fragments through
    // x and records the state with its skein factor.
    void finish(Layout s, std::size_t existing, const Terms& terms,
                const std::array<std::pair<std::uint32_t, std::uint32_t>, 2>& paths, bool smoothed, int sign,
                States& next) const {
        // A new component starts from its least edge: all its edges are new at
        // this step, ordered by number. New components follow the old ones,
        // by least edge.
        const auto least = [](std::vector<Fragment>& component) {
            return std::min_element(component.begin(), component.end(),
                                    [](const Fragment& a, const Fragment& b) { return a.in < b.in; });
        };
        for (std::size_t c = existing; c < s.components.size(); ++c) {
            auto& component = s.components[c];
            std::rotate(component.begin(), least(component), component.end());
        }
        std::sort(s.components.begin() + static_cast<std::ptrdiff_t>(existing), s.components.end(),
                  [](const auto& a, const auto& b) { return a.front().in < b.front().in; });
        // The under strand's in-edge is paths[0].first, the over strand's is
        // paths[1].first: each is the last edge of its fragment.
        const Place under = find_by_out(s, paths[0].first), over = find_by_out(s, paths[1].first);
        const bool under_first = std::pair{under.component, under.index} < std::pair{over.component, over.index};
        if (smoothed && !under_first) return;
        // Skein factors: P(L+) = v^2 P(L-) + v z P(L0), P(L-) = v^-2 P(L+) - v^-1 z P(L0).
        int factor_sign = 1;
        std::int32_t dv = 0, dz = 0;
        if (smoothed) {
            dv = sign > 0 ? 1 : -1;
            dz = 1;
            factor_sign = sign > 0 ? 1 : -1;
        } else if (under_first) {
            dv = sign > 0 ? 2 : -2;
        }
        // The joins through x: the fragment ending on a path's in-edge goes on
        // with the one starting on its out-edge, which must follow it in the
        // walk (or be itself, closing a component that has no other fragment).
        int mu_powers = 0;
        for (const auto& [in, out] : paths) {
            const Place a = find_by_out(s, in), b = find_by_in(s, out);
            if (!a.found || !b.found) throw InternalError("the HOMFLY-PT sweep lost a fragment");
            auto& component = s.components[a.component];
            if (a.component == b.component && a.index == b.index) {
                if (component.size() != 1) return;
                // The walk's first component closing has P = 1; every other
                // adds a factor mu = (v^-1 - v) / z.
                if (a.component == 0 && !s.first_closed)
                    s.first_closed = true;
                else
                    ++mu_powers;
                s.components.erase(s.components.begin() + static_cast<std::ptrdiff_t>(a.component));
                continue;
            }
            if (a.component != b.component || b.index != (a.index + 1) % component.size()) return;
            if (b.index == 0) {
                component[0].in = component[a.index].in;
                component.erase(component.begin() + static_cast<std::ptrdiff_t>(a.index));
            } else {
                component[a.index].out = component[b.index].out;
                component.erase(component.begin() + static_cast<std::ptrdiff_t>(b.index));
            }
        }
        Terms product;
        add_shifted(product, terms, factor_sign, dv, dz);
        for (int k = 0; k < mu_powers; ++k) {
            Terms times_mu;
            add_shifted(times_mu, product, 1, -1, -1);
            add_shifted(times_mu, product, -1, 1, -1);
            product = std::move(times_mu);
        }
        add_shifted(next[encode(s)], product, 1, 0, 0);
    }

    const Graph& g_;
    const std::vector<std::int8_t>& signs_;
    std::vector<std::uint32_t> order_;
    SweepLimits limits_;
    std::vector<bool> swept_;
    std::uint64_t visited_ = 0;
};

}  // namespace

SweepOrder sweep_order(const KnotDiagram& diagram) {
    SweepOrder best;
    const Graph g = graph_of(diagram);
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

std::optional<Laurent2> homfly_polynomial_sweep(const KnotDiagram& diagram, const SweepLimits& limits) {
    KnotDiagram d = diagram;
    if (has_kink(graph_of(d))) reduce_diagram(d);
    if (d.crossings() == 0) return Laurent2::monomial(1, 0, 0);
    const Graph g = graph_of(d);
    try {
        Sweep sweep(g, d.signs, sweep_order(d).crossings, limits);
        const std::optional<Terms> terms = sweep.run();
        if (!terms) return std::nullopt;
        Laurent2 p;
        for (const auto& [key, c] : *terms) p += Laurent2::monomial(c, v_of(key), z_of(key));
        return p;
    } catch (const std::overflow_error&) {
        return std::nullopt;
    }
}

}  // namespace skeinlab
