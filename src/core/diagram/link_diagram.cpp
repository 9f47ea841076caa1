#include "diagram/link_diagram.hpp"

#include <unordered_map>

#include "geometry/crossings.hpp"

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

std::optional<LinkProjection> link_diagram_of_projection(const std::vector<Chain>& rings) {
    // All rings in one polyline, each closed, separated by a missing point
    // (a segment with a non-finite end never crosses anything).
    Chain all;
    std::vector<std::pair<std::size_t, std::size_t>> spans;  // segments [first, last) of each ring
    for (const Chain& ring : rings) {
        const std::size_t start = all.size();
        for (const Point3& p : ring)
            if (!is_missing(p)) all.push_back(p);
        if (all.size() - start < 2) {
            all.resize(start);
            continue;
        }
        all.push_back(all[start]);
        spans.emplace_back(start, all.size() - 1);
        all.push_back({NAN, NAN, NAN});
    }
    bool dropped = false;
    const std::vector<std::vector<CrossingRecord>> records = find_crossings(all, &dropped);
    if (dropped) return std::nullopt;
    // The passages of each ring in order, crossings numbered as first met.
    std::unordered_map<std::uint64_t, std::uint32_t> numbers;
    const auto key = [](std::size_t i, std::size_t j) {
        return (static_cast<std::uint64_t>(std::min(i, j)) << 32) | static_cast<std::uint64_t>(std::max(i, j));
    };
    LinkProjection out;
    std::vector<std::vector<Passage>> walks;
    for (const auto& [first, last] : spans) {
        std::vector<Passage> walk;
        for (std::size_t i = first; i < last; ++i) {
            for (const CrossingRecord& rec : records[i]) {
                const auto [it, added] = numbers.emplace(key(i, rec.other), static_cast<std::uint32_t>(numbers.size()));
                // As in diagram_of_projection: the record's sign is the
                // opposite of the crossing's handedness.
                if (added) out.diagram.signs.push_back(rec.record.signed_position > 0.0 ? -1 : 1);
                walk.push_back({it->second, rec.record.is_over});
            }
        }
        if (walk.empty())
            ++out.free_components;
        else
            walks.push_back(std::move(walk));
    }
    // Edges: one after each passage, to the next passage of the same ring.
    out.diagram.crossings.assign(numbers.size(), {UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX});
    std::uint32_t edge = 0;
    for (const std::vector<Passage>& walk : walks) {
        const std::uint32_t base = edge;
        const auto m = static_cast<std::uint32_t>(walk.size());
        for (std::uint32_t p = 0; p < m; ++p) {
            auto& slots = out.diagram.crossings[walk[p].crossing];
            const std::uint32_t in = base + (p + m - 1) % m, out_edge = base + p;
            std::uint32_t& in_slot = slots[walk[p].over ? 2 : 0];
            std::uint32_t& out_slot = slots[walk[p].over ? 3 : 1];
            // A crossing met twice from the same side: equal heights.
            if (in_slot != UINT32_MAX) return std::nullopt;
            in_slot = in;
            out_slot = out_edge;
        }
        edge += m;
    }
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
