#include "analysis/link_identify.hpp"

#include <stdexcept>

#include "analysis/identify.hpp"
#include "diagram/link_diagram.hpp"
#include "diagram/reidemeister.hpp"
#include "invariants/homfly_sweep.hpp"
#include "invariants/link_table.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab {

std::string name_link_diagram(const LinkWalks& reduced, std::optional<Laurent2>& homfly, const SweepLimits& limits) {
    homfly = homfly_polynomial_sweep(oriented_diagram(reduced), limits);
    std::string unknown(1, '?');
    unknown.append(std::to_string(reduced.crossings()));
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

namespace {

// The rings scaled together into the unit range, so that they keep their places.
std::vector<Chain> scaled_together(const std::vector<Chain>& rings) {
    Chain all;
    for (const Chain& ring : rings) all.insert(all.end(), ring.begin(), ring.end());
    const int k = unit_exponent(all);
    std::vector<Chain> scaled = rings;
    if (k != 0)
        for (Chain& ring : scaled) scale_by_power_of_two(ring, k);
    return scaled;
}

// The rings turned so that z is their axis of least spread (a rotation: the
// link and its chirality are kept), where their diagram has fewest crossings
// in the common cases (a closed braid, rings lying flat).
std::vector<Chain> flattest_view(const std::vector<Chain>& rings) {
    Chain all;
    for (const Chain& ring : rings) all.insert(all.end(), ring.begin(), ring.end());
    const Rotation turn = principal_axes_rotation(all);
    std::vector<Chain> out(rings.size());
    for (std::size_t r = 0; r < rings.size(); ++r)
        for (const Point3& p : rings[r]) out[r].push_back(turn.apply(p));
    return out;
}

// The sweep's limits for the pairs of a melt.
constexpr SweepLimits kPairLimits{.max_width = SweepLimits{}.max_width, .max_states = SweepLimits{}.max_states / 5};

// The HOMFLY-PT polynomial of one component of a reduced diagram, alone.
std::optional<Laurent2> component_homfly(const LinkWalks& link, std::size_t component) {
    LinkWalks alone = sub_diagram(link, {component});
    reduce_link(alone);
    if (alone.crossings() == 0) return Laurent2::monomial(1, 0, 0);
    return homfly_polynomial_sweep(oriented_diagram(alone), kPairLimits);
}

}  // namespace

PairLink pair_link(const Chain& a, const Chain& b, std::int64_t lk) {
    PairLink out;
    out.linked = lk != 0;
    std::vector<Chain> rings = scaled_together({a, b});
    kmt_rings(rings);
    std::optional<LinkProjection> projection = link_diagram(flattest_view(rings));
    // (Names built as new strings: GCC 12 warns wrongly on assigning a literal here.)
    if (!projection) return PairLink{out.linked, std::string("?")};
    LinkWalks reduced = std::move(projection->walks);
    reduce_link(reduced);
    if (split_sublinks(reduced).size() > 1) return PairLink{out.linked, std::string("split")};
    std::optional<Laurent2> homfly;
    out.name = name_link_diagram(reduced, homfly, kPairLimits);
    if (out.linked || !homfly) return out;
    const std::optional<Laurent2> first = component_homfly(reduced, 0), second = component_homfly(reduced, 1);
    if (!first || !second) return out;
    try {
        Laurent2 mu = Laurent2::monomial(1, -1, -1);
        mu += Laurent2::monomial(-1, 1, -1);
        out.linked = *homfly != mu * *first * *second;
    } catch (const std::overflow_error&) {
    }
    return out;
}

LinkIdentity identify_link(const std::vector<Chain>& rings, const KnotTypeOptions& options) {
    const std::vector<Chain> scaled = scaled_together(rings);

    LinkIdentity out;
    KnotTypeOptions as_rings = options;
    as_rings.is_ring = true;
    for (const Chain& ring : scaled) out.knots.push_back(identify_knot(ring, as_rings).name);
    // Reduced together first (a triangle pierced by no ring), unless KMT is off.
    std::vector<Chain> reduced_rings = scaled;
    if (options.use_kmt) kmt_rings(reduced_rings);
    std::optional<LinkProjection> projection = link_diagram(flattest_view(reduced_rings));
    if (!projection) {
        out.name = std::string(1, '?');
        return out;
    }
    LinkWalks reduced = std::move(projection->walks);
    reduce_link(reduced);
    for (const std::vector<std::size_t>& rings_of_sublink : split_sublinks(reduced)) {
        Sublink sublink;
        sublink.rings = rings_of_sublink;
        if (rings_of_sublink.size() == 1) {
            // A ring alone: its knot (named from its own diagram, which the
            // reduced link diagram need not show simplified).
            const KnotIdentity knot = identify_knot(scaled[rings_of_sublink.front()], as_rings);
            sublink.name = knot.name;
            for (const IdentifiedFactor& f : knot.factors) sublink.crossings += f.crossings;
        } else {
            const LinkWalks sub = sub_diagram(reduced, rings_of_sublink);
            sublink.crossings = sub.crossings();
            sublink.name = name_link_diagram(sub, sublink.homfly);
        }
        if (!out.sublinks.empty()) out.name.append(" U ");
        out.name.append(sublink.name);
        out.sublinks.push_back(std::move(sublink));
    }
    return out;
}

Outcome<LinkIdentity> identify_link_frame(const std::vector<Chain>& rings, const KnotTypeOptions& options) {
    return identify_link(rings, options);
}

}  // namespace skeinlab
