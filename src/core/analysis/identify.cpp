#include "analysis/identify.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <tuple>

#include "diagram/connected_sum.hpp"
#include "diagram/knot_diagram.hpp"
#include "diagram/simplify.hpp"
#include "invariants/alexander.hpp"
#include "invariants/homfly_sweep.hpp"
#include "invariants/knot_census.hpp"
#include "invariants/knot_table.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab {
namespace {

// The seed of the Reidemeister search: fixed, so that a chain always gets
// the same diagram.
constexpr std::uint64_t kDiagramSeed = 0;

// The chain as knot typing closes it, or nothing for a chain that cannot be
// knotted (no points, or an open chain whose points lie in one plane).
std::optional<Chain> closed_chain(const Chain& points, const KnotTypeOptions& options) {
    Chain work = points;
    drop_missing_points(work);
    if (options.is_ring) {
        if (options.use_kmt) kmt_ring(work);
        if (work.empty()) return std::nullopt;
        work.push_back(work.front());
        return work;
    }
    if (options.use_kmt) kmt_open_chain(work);
    if (!close_open_chain(work, options)) return std::nullopt;
    return work;
}

// The chain seen with `height` as the third coordinate, by a rotation (a
// cyclic exchange of the axes), so that chirality is kept: swapping two axes
// would mirror the knot.
Chain with_height(const Chain& chain, int height) {
    Chain out = chain;
    if (height == 0)
        for (Point3& p : out) p = {p.y, p.z, p.x};
    else if (height == 1)
        for (Point3& p : out) p = {p.z, p.x, p.y};
    return out;
}

// The axis of strictly smallest extent, as choose_projection picks it (2, z,
// on a tie).
int least_extent_axis(const Chain& chain) {
    Point3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
    for (const Point3& p : chain) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const double ex = hi.x - lo.x, ey = hi.y - lo.y, ez = hi.z - lo.z;
    if (ex < ey && ex < ez) return 0;
    if (ey < ex && ey < ez) return 1;
    return 2;
}

// The planar diagram of the projection along the axis of least extent, else
// of the first that gives one of: heights along z, x and y, then the eight
// fixed turns of knot typing. Every projection is a rotation of the chain.
std::optional<KnotDiagram> planar_diagram(const Chain& closed) {
    std::vector<Chain> projections{with_height(closed, least_extent_axis(closed))};
    for (const int axis : {2, 0, 1}) projections.push_back(with_height(closed, axis));
    for (const Rotation& turn : fallback_turns()) {
        Chain turned;
        turned.reserve(closed.size());
        for (const Point3& p : closed) turned.push_back(turn.apply(p));
        projections.push_back(std::move(turned));
    }
    for (const Chain& projection : projections)
        if (std::optional<KnotDiagram> d = diagram_of_projection(projection); d && is_planar(*d)) return d;
    return std::nullopt;
}

// A summand's HOMFLY-PT polynomial: the skein tree on small diagrams, the
// sweep on larger ones; nothing beyond the sweep's limits.
std::optional<Laurent2> summand_homfly(const KnotDiagram& d, const SweepLimits& limits = {}) {
    return d.crossings() <= kSkeinTreeCrossings ? homfly_polynomial(d) : homfly_polynomial_sweep(d, limits);
}

// The sweep's limits for a polynomial that only adds to the evidence (a
// summand the Alexander polynomial already shows to be outside the table):
// a fifth of the states, so that a sweep that cannot finish gives up sooner.
constexpr SweepLimits kEvidenceLimits{.max_width = SweepLimits{}.max_width, .max_states = SweepLimits{}.max_states / 5};

// Whether summand_homfly may finish: small enough for the skein tree, or
// narrow enough for the sweep.
bool homfly_within_reach(const KnotDiagram& d) {
    return d.crossings() <= kSkeinTreeCrossings || sweep_order(d).width <= SweepLimits{}.max_width;
}

struct NamedFactor {
    IdentifiedFactor factor;
    KnotDiagram diagram;
    // Order of the name: known factors by their first match's table position
    // and chirality, then unknown ones by crossings.
    std::tuple<bool, std::size_t, char> order;
};

NamedFactor name_factor(const KnotDiagram& d) {
    NamedFactor f;
    f.diagram = d;
    f.factor.crossings = d.crossings();
    f.order = {true, d.crossings(), 0};
    f.factor.name.assign(1, '?').append(std::to_string(d.crossings()));
    if (!homfly_within_reach(d)) return f;
    const PrimeKnotTable& table = PrimeKnotTable::builtin();
    const KnotCensus& census = KnotCensus::builtin();
    const std::size_t c = d.crossings();
    // The Alexander polynomial costs little and rules out most summands
    // that are not table knots before the HOMFLY-PT polynomial is computed;
    // a summand the census may hold (up to 15 crossings) gets its HOMFLY-PT
    // polynomial anyway.
    f.factor.alexander = alexander_polynomial(alexander_matrix(d));
    if (c > census.max_crossings() && !table.has_alexander(f.factor.alexander->text())) return f;
    f.factor.homfly = summand_homfly(d);
    if (!f.factor.homfly) return f;
    // The knots the polynomial may be, in table then census order, and only
    // those a diagram of c crossings can be (crossing number at most c).
    struct Candidate {
        std::size_t order;
        char chirality;
        std::string name;
    };
    std::vector<Candidate> candidates;
    for (const TableMatch& m : table.lookup(*f.factor.homfly))
        if (table.crossings(m.index) <= c) candidates.push_back({m.index, m.chirality, m.name});
    if (c >= census.min_crossings())
        for (CensusMatch& m : census.lookup(*f.factor.homfly))
            if (m.crossings <= c) candidates.push_back({table.size() + m.index, m.chirality, std::move(m.name)});
    if (candidates.empty()) return f;
    // A diagram larger than the census's knots may be a knot beyond it with
    // the polynomial of one in it: the name says so ("(+12a_307|?16)").
    const bool beyond = c > census.max_crossings();
    if (candidates.size() == 1 && !beyond) {
        f.factor.name = candidates.front().name;
    } else {
        f.factor.name.assign(1, '(');
        for (std::size_t k = 0; k < candidates.size(); ++k) {
            if (k) f.factor.name.push_back('|');
            f.factor.name.append(candidates[k].name);
        }
        if (beyond) f.factor.name.append("|?").append(std::to_string(c));
        f.factor.name.push_back(')');
    }
    // Within one knot: no sign first, then '+', then '-'.
    f.order = {false, candidates.front().order, candidates.front().chirality};
    return f;
}

}  // namespace

KnotIdentity identify_diagram(const KnotDiagram& diagram) {
    KnotIdentity identity;
    std::vector<NamedFactor> named;
    for (const KnotDiagram& summand : diagram_summands(diagram, kDiagramSeed)) named.push_back(name_factor(summand));
    std::stable_sort(named.begin(), named.end(),
                     [](const NamedFactor& a, const NamedFactor& b) { return a.order < b.order; });
    if (named.empty()) return identity;
    identity.name.clear();
    for (NamedFactor& f : named) {
        if (!identity.name.empty()) identity.name += '#';
        identity.name += f.factor.name;
        identity.factors.push_back(std::move(f.factor));
        identity.diagrams.push_back(std::move(f.diagram));
    }
    return identity;
}

KnotIdentity identify_knot(const Chain& points, const KnotTypeOptions& options) {
    const std::optional<Chain> closed = closed_chain(points, options);
    if (!closed || closed->size() < 3) return KnotIdentity{};
    const std::optional<KnotDiagram> diagram = planar_diagram(*closed);
    if (!diagram) return KnotIdentity{};
    return identify_diagram(*diagram);
}

namespace {

std::vector<BigInteger> big_coefficients(const ExactPolynomial& p) {
    if (!p.small) return p.big;
    std::vector<BigInteger> out;
    for (const std::int64_t c : p.small->coeffs) {
        BigInteger b;
        b.negative = c < 0;
        b.magnitude = BigUnsigned(c < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c));
        out.push_back(std::move(b));
    }
    return out;
}

std::vector<BigInteger> product(const std::vector<BigInteger>& a, const std::vector<BigInteger>& b) {
    std::vector<BigInteger> out(a.size() + b.size() - 1);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j) out[i + j] = out[i + j] + a[i] * b[j];
    return out;
}

KnotInvariants invariants_of(const KnotIdentity& identity) {
    KnotInvariants inv;
    inv.name = identity.name;
    std::vector<BigInteger> alexander{BigInteger{false, BigUnsigned(1)}};
    std::optional<Laurent2> homfly = Laurent2::monomial(1, 0, 0);
    for (std::size_t k = 0; k < identity.factors.size(); ++k) {
        const KnotDiagram& d = identity.diagrams[k];
        SummandInvariants s;
        s.name = identity.factors[k].name;
        s.crossings = identity.factors[k].crossings;
        const ExactPolynomial a = identity.factors[k].alexander ? *identity.factors[k].alexander
                                                                : alexander_polynomial(alexander_matrix(d));
        s.alexander = a.text();
        alexander = product(alexander, big_coefficients(a));
        s.homfly = identity.factors[k].homfly;
        if (!s.homfly) s.homfly = summand_homfly(d, kEvidenceLimits);
        // The Jones polynomial of a large summand may need more than 64 bits
        // where its HOMFLY-PT polynomial does not: then it has none.
        try {
            if (s.homfly) s.jones = jones_from_homfly(*s.homfly);
        } catch (const std::overflow_error&) {
        }
        try {
            if (homfly && s.homfly) homfly = *homfly * *s.homfly;
            else homfly.reset();
        } catch (const std::overflow_error&) {
            homfly.reset();
        }
        inv.crossings += s.crossings;
        inv.summands.push_back(std::move(s));
    }
    // Each factor is normalized (highest coefficient positive), so the product
    // is; written as knot_type writes polynomials, small ones by fmt.
    ExactPolynomial whole;
    Polynomial small;
    for (const BigInteger& c : alexander) {
        const std::optional<std::int64_t> v = c.to_i64();
        if (!v) break;
        small.coeffs.push_back(*v);
    }
    if (small.coeffs.size() == alexander.size())
        whole.small = std::move(small);
    else
        whole.big = alexander;
    inv.alexander = whole.text();
    BigInteger at_minus_one;
    for (std::size_t i = 0; i < alexander.size(); ++i) {
        BigInteger term = alexander[i];
        if (i % 2 == 1) term.negative = !term.negative && !term.is_zero();
        at_minus_one = at_minus_one + term;
    }
    at_minus_one.negative = false;
    inv.determinant = at_minus_one.decimal();
    inv.homfly = homfly;
    if (homfly) {
        try {
            inv.jones = jones_from_homfly(*homfly);
        } catch (const std::overflow_error&) {
        }
    }
    return inv;
}

}  // namespace

Outcome<KnotInvariants> invariants_frame(const Chain& chain, const KnotTypeOptions& options) {
    const int k = unit_exponent(chain);
    if (k == 0) return invariants_of(identify_knot(chain, options));
    Chain scaled = chain;
    scale_by_power_of_two(scaled, k);
    return invariants_of(identify_knot(scaled, options));
}

Outcome<std::vector<PdCrossing>> pd_frame(const Chain& chain, const KnotTypeOptions& options) {
    Chain scaled = chain;
    scale_by_power_of_two(scaled, unit_exponent(chain));
    const std::optional<Chain> closed = closed_chain(scaled, options);
    if (!closed || closed->size() < 3) return std::vector<PdCrossing>{};
    std::optional<KnotDiagram> diagram = planar_diagram(*closed);
    if (!diagram) return std::vector<PdCrossing>{};
    simplify_diagram(*diagram, kDiagramSeed);
    if (diagram->crossings() == 0) return std::vector<PdCrossing>{};
    return pd_code(*diagram);
}

Result<std::string> identify_pd_code(const std::vector<PdCrossing>& pd) {
    if (pd.empty()) return std::string("1");
    Result<KnotDiagram> diagram = diagram_from_pd(pd);
    if (!diagram) return diagram.error();
    return identify_diagram(diagram.value()).name;
}

Outcome<std::string> identify_frame(const Chain& chain, const KnotTypeOptions& options) {
    const int k = unit_exponent(chain);
    if (k == 0) return identify_knot(chain, options).name;
    Chain scaled = chain;
    scale_by_power_of_two(scaled, k);
    return identify_knot(scaled, options).name;
}

}  // namespace skeinlab
