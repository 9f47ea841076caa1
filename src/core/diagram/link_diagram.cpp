#include "diagram/link_diagram.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "geometry/crossings.hpp"
#include "geometry/linking.hpp"

namespace skeinlab {

OrientedDiagram oriented_diagram(const KnotDiagram& d) {
    const std::uint32_t m = static_cast<std::uint32_t>(d.walk.size());
    OrientedDiagram out;
    out.crossings.assign(d.crossings(), {});
    out.signs = d.signs;
    // Edge e runs from passage e to passage e + 1.
    for (std::uint32_t p = 0; p < m; ++p) {
        const Passage& pass = d.walk[p];
        out.crossings[pass.crossing][pass.over ? 2 : 0] = (p + m - 1) % m;
        out.crossings[pass.crossing][pass.over ? 3 : 1] = p;
    }
    return out;
}

namespace {

// The oriented diagram of walks; nothing when a crossing is met twice from
// the same side (strands of equal heights in a projection).
std::optional<OrientedDiagram> oriented_of(const LinkWalks& link) {
    OrientedDiagram out;
    out.signs = link.signs;
    out.crossings.assign(link.crossings(), {UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX});
    std::uint32_t edge = 0;
    for (const std::vector<Passage>& walk : link.walks) {
        const std::uint32_t base = edge;
        const auto m = static_cast<std::uint32_t>(walk.size());
        for (std::uint32_t p = 0; p < m; ++p) {
            auto& slots = out.crossings[walk[p].crossing];
            std::uint32_t& in_slot = slots[walk[p].over ? 2 : 0];
            std::uint32_t& out_slot = slots[walk[p].over ? 3 : 1];
            if (in_slot != UINT32_MAX) return std::nullopt;
            in_slot = base + (p + m - 1) % m;
            out_slot = base + p;
        }
        edge += m;
    }
    return out;
}

}  // namespace

OrientedDiagram oriented_diagram(const LinkWalks& link) { return oriented_of(link).value(); }

Result<LinkWalks> link_from_pd(const std::vector<PdCrossing>& pd) {
    const std::size_t n = pd.size(), edges = 2 * n;
    // Where each edge occurs: (crossing, slot) twice.
    std::vector<std::vector<std::pair<std::uint32_t, int>>> at(edges + 1);
    for (std::uint32_t c = 0; c < n; ++c)
        for (int s = 0; s < 4; ++s) {
            const std::uint32_t e = pd[c][static_cast<std::size_t>(s)];
            if (e < 1 || e > edges) return KnotError::data_parse("PD code: edges are not numbered 1 to " + std::to_string(edges));
            at[e].emplace_back(c, s);
        }
    for (std::uint32_t e = 1; e <= edges; ++e)
        if (at[e].size() != 2)
            return KnotError::data_parse("PD code: edge " + std::to_string(e) + " occurs " + std::to_string(at[e].size()) +
                                         " times");
    // Each edge's head: the (crossing, slot) it enters. The under strand
    // enters on slot 0 and leaves on 2; an edge's two ends are its tail and
    // head, so the direction spreads along each component from its under
    // passages.
    std::vector<int> head_slot(edges + 1, -1);  // index into at[e] of the head, -1 unknown
    std::vector<std::uint32_t> stack;
    const auto set_head = [&](std::uint32_t e, std::size_t which) -> bool {
        if (head_slot[e] >= 0) return head_slot[e] == static_cast<int>(which);
        head_slot[e] = static_cast<int>(which);
        stack.push_back(e);
        return true;
    };
    for (std::uint32_t e = 1; e <= edges; ++e)
        for (std::size_t w = 0; w < 2; ++w) {
            const int s = at[e][w].second;
            if (s == 0 && !set_head(e, w)) return KnotError::data_parse("PD code: the strands are not consistently oriented at crossing " + std::to_string(at[e][w].first + 1));
            if (s == 2 && !set_head(e, 1 - w)) return KnotError::data_parse("PD code: the strands are not consistently oriented at crossing " + std::to_string(at[e][w].first + 1));
        }
    // Through an over passage (slots 1 and 3), the edge entering on one
    // slot leaves on the other.
    while (!stack.empty()) {
        const std::uint32_t e = stack.back();
        stack.pop_back();
        for (std::size_t w = 0; w < 2; ++w) {
            const auto [c, s] = at[e][w];
            if (s != 1 && s != 3) continue;
            const bool enters = static_cast<int>(w) == head_slot[e];
            const std::uint32_t other = pd[c][static_cast<std::size_t>(s ^ 2)];
            // The other edge at the other slot of the same strand.
            std::size_t ow = at[other][0].first == c && at[other][0].second == (s ^ 2) ? 0 : 1;
            // It leaves here when e enters, and enters when e leaves.
            if (!set_head(other, enters ? 1 - ow : ow))
                return KnotError::data_parse("PD code: the strands are not consistently oriented at crossing " +
                                             std::to_string(c + 1));
        }
    }
    for (std::uint32_t e = 1; e <= edges; ++e)
        if (head_slot[e] < 0) return KnotError::data_parse("PD code: a component passes over everything (its direction is not given)");
    // The edge leaving each (crossing, slot) it enters, and the walks.
    const auto next_edge = [&](std::uint32_t e) {
        const auto [c, s] = at[e][static_cast<std::size_t>(head_slot[e])];
        return pd[c][static_cast<std::size_t>(s ^ 2)];
    };
    LinkWalks out;
    std::vector<std::uint32_t> number(n, UINT32_MAX);
    std::vector<bool> walked(edges + 1, false);
    for (std::uint32_t first = 1; first <= edges; ++first) {
        if (walked[first]) continue;
        std::vector<Passage>& walk = out.walks.emplace_back();
        std::uint32_t e = first;
        do {
            walked[e] = true;
            const auto [c, s] = at[e][static_cast<std::size_t>(head_slot[e])];
            if (number[c] == UINT32_MAX) {
                number[c] = static_cast<std::uint32_t>(out.signs.size());
                // Positive when the over strand comes in on slot 3 (l).
                const std::uint32_t l = pd[c][3];
                const bool over_in_on_l = at[l][static_cast<std::size_t>(head_slot[l])] == std::pair<std::uint32_t, int>{c, 3};
                out.signs.push_back(over_in_on_l ? 1 : -1);
            }
            walk.push_back({number[c], s == 1 || s == 3});
            e = next_edge(e);
        } while (e != first);
    }
    return out;
}

LinkWalks mirror_image(LinkWalks link) {
    for (std::vector<Passage>& walk : link.walks)
        for (Passage& p : walk) p.over = !p.over;
    for (std::int8_t& s : link.signs) s = static_cast<std::int8_t>(-s);
    return link;
}

std::vector<std::vector<std::size_t>> split_sublinks(const LinkWalks& link) {
    const std::size_t k = link.walks.size();
    std::vector<std::size_t> parent(k);
    for (std::size_t i = 0; i < k; ++i) parent[i] = i;
    const auto find = [&](std::size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    std::vector<std::size_t> first_component(link.crossings(), SIZE_MAX);
    for (std::size_t i = 0; i < k; ++i)
        for (const Passage& p : link.walks[i]) {
            std::size_t& f = first_component[p.crossing];
            if (f == SIZE_MAX) {
                f = i;
            } else {
                const std::size_t a = find(f), b = find(i);
                if (a != b) parent[std::max(a, b)] = std::min(a, b);
            }
        }
    std::vector<std::vector<std::size_t>> sublinks;
    std::vector<std::size_t> sublink_of(k, SIZE_MAX);
    for (std::size_t i = 0; i < k; ++i) {
        const std::size_t root = find(i);
        if (sublink_of[root] == SIZE_MAX) {
            sublink_of[root] = sublinks.size();
            sublinks.emplace_back();
        }
        sublinks[sublink_of[root]].push_back(i);
    }
    return sublinks;
}

LinkWalks sub_diagram(const LinkWalks& link, const std::vector<std::size_t>& components) {
    // Crossings met twice by the chosen components are kept; the others
    // (with components left out) go with those components.
    std::vector<std::uint8_t> met(link.crossings(), 0);
    for (const std::size_t i : components)
        for (const Passage& p : link.walks[i]) ++met[p.crossing];
    LinkWalks out;
    std::vector<std::uint32_t> number(link.crossings(), UINT32_MAX);
    for (const std::size_t i : components) {
        std::vector<Passage>& walk = out.walks.emplace_back();
        for (const Passage& p : link.walks[i]) {
            if (met[p.crossing] != 2) continue;
            if (number[p.crossing] == UINT32_MAX) {
                number[p.crossing] = static_cast<std::uint32_t>(out.signs.size());
                out.signs.push_back(link.signs[p.crossing]);
            }
            walk.push_back({number[p.crossing], p.over});
        }
    }
    return out;
}

std::optional<LinkProjection> link_diagram_of_projection(const std::vector<Chain>& rings) {
    // All rings in one polyline, each closed, separated by a missing point
    // (a segment with a non-finite end never crosses anything).
    Chain all;
    std::vector<std::array<std::size_t, 3>> spans;  // each ring's number and segments [first, last)
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const Chain& ring = rings[r];
        const std::size_t start = all.size();
        for (const Point3& p : ring)
            if (!is_missing(p)) all.push_back(p);
        if (all.size() - start < 2) {
            all.resize(start);
            continue;
        }
        all.push_back(all[start]);
        spans.push_back({r, start, all.size() - 1});
        all.push_back({NAN, NAN, NAN});
    }
    // The projection must be generic, and the crossing search must find
    // every crossing the exact count finds.
    const std::optional<std::size_t> exact_count = proper_crossings(rings);
    if (!exact_count) return std::nullopt;
    bool dropped = false;
    const std::vector<std::vector<CrossingRecord>> records = find_crossings(all, &dropped);
    if (dropped) return std::nullopt;
    // The passages of each ring in order, crossings numbered as first met.
    std::unordered_map<std::uint64_t, std::uint32_t> numbers;
    const auto key = [](std::size_t i, std::size_t j) {
        return (static_cast<std::uint64_t>(std::min(i, j)) << 32) | static_cast<std::uint64_t>(std::max(i, j));
    };
    LinkProjection out;
    out.walks.walks.resize(rings.size());
    for (const auto& [ring, first, last] : spans) {
        std::vector<Passage>& walk = out.walks.walks[ring];
        for (std::size_t i = first; i < last; ++i) {
            for (const CrossingRecord& rec : records[i]) {
                const auto [it, added] = numbers.emplace(key(i, rec.other), static_cast<std::uint32_t>(numbers.size()));
                // As in diagram_of_projection: the record's sign is the
                // opposite of the crossing's handedness.
                if (added) out.walks.signs.push_back(rec.record.signed_position > 0.0 ? -1 : 1);
                walk.push_back({it->second, rec.record.is_over});
            }
        }
        if (walk.empty()) ++out.free_components;
    }
    if (out.walks.crossings() != *exact_count) return std::nullopt;
    std::optional<OrientedDiagram> oriented = oriented_of(out.walks);
    if (!oriented) return std::nullopt;
    out.diagram = std::move(*oriented);
    return out;
}

std::optional<LinkProjection> link_diagram(const std::vector<Chain>& rings) {
    if (std::optional<LinkProjection> d = link_diagram_of_projection(rings)) return d;
    for (const Rotation& turn : fallback_turns()) {
        std::vector<Chain> turned(rings.size());
        for (std::size_t k = 0; k < rings.size(); ++k)
            for (const Point3& p : rings[k]) turned[k].push_back(turn.apply(p));
        if (std::optional<LinkProjection> d = link_diagram_of_projection(turned)) return d;
    }
    return std::nullopt;
}

}  // namespace skeinlab
