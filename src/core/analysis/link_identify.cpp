#include "analysis/link_identify.hpp"

#include "analysis/identify.hpp"
#include "diagram/link_diagram.hpp"
#include "diagram/reidemeister.hpp"
#include "invariants/homfly_sweep.hpp"
#include "invariants/link_table.hpp"

namespace skeinlab {

std::string name_link_diagram(const LinkWalks& reduced, std::optional<Laurent2>& homfly) {
    homfly = homfly_polynomial_sweep(oriented_diagram(reduced));
    const std::string unknown = "?" + std::to_string(reduced.crossings());
    if (!homfly) return unknown;
    const std::vector<TableMatch>& matches = PrimeLinkTable::builtin().lookup(*homfly);
    if (matches.empty()) return unknown;
    if (matches.size() == 1) return matches.front().name;
    std::string name = "(";
    for (std::size_t k = 0; k < matches.size(); ++k) {
        if (k) name.push_back('|');
        name.append(matches[k].name);
    }
    name.push_back(')');
    return name;
}

LinkIdentity identify_link(const std::vector<Chain>& rings, const KnotTypeOptions& options) {
    // One scale for all rings, so that they keep their places.
    Chain all;
    for (const Chain& ring : rings) all.insert(all.end(), ring.begin(), ring.end());
    const int k = unit_exponent(all);
    std::vector<Chain> scaled = rings;
    if (k != 0)
        for (Chain& ring : scaled) scale_by_power_of_two(ring, k);

    LinkIdentity out;
    KnotTypeOptions as_rings = options;
    as_rings.is_ring = true;
    for (const Chain& ring : scaled) out.knots.push_back(identify_knot(ring, as_rings).name);
    std::optional<LinkProjection> projection = link_diagram(scaled);
    if (!projection) {
        out.name = "?";
        return out;
    }
    LinkWalks reduced = std::move(projection->walks);
    reduce_link(reduced);
    for (const std::vector<std::size_t>& rings_of_part : diagram_parts(reduced)) {
        LinkPart part;
        part.rings = rings_of_part;
        if (rings_of_part.size() == 1) {
            // A ring alone: its knot (named from its own diagram, which the
            // reduced link diagram need not show simplified).
            const KnotIdentity knot = identify_knot(scaled[rings_of_part.front()], as_rings);
            part.name = knot.name;
            for (const IdentifiedFactor& f : knot.factors) part.crossings += f.crossings;
        } else {
            const LinkWalks sub = sub_diagram(reduced, rings_of_part);
            part.crossings = sub.crossings();
            part.name = name_link_diagram(sub, part.homfly);
        }
        if (!out.parts.empty()) out.name.append(" U ");
        out.name.append(part.name);
        out.parts.push_back(std::move(part));
    }
    return out;
}

Outcome<LinkIdentity> identify_link_frame(const std::vector<Chain>& rings, const KnotTypeOptions& options) {
    return identify_link(rings, options);
}

}  // namespace skeinlab
