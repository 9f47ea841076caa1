#include "analysis/knottype.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>
#include <vector>
#include <utility>

#include "arithmetic/bigint.hpp"
#include "diagram/knot_diagram.hpp"
#include "diagram/reidemeister.hpp"
#include "diagram/simplify.hpp"
#include "geometry/hull.hpp"
#include "invariants/alexander.hpp"
#include "io/xyz.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab {
void choose_projection(Chain& pts) {
    Point3 lo{DBL_MAX, DBL_MAX, DBL_MAX};
    Point3 hi{-DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (const Point3& p : pts) {
        if (p.x < lo.x) lo.x = p.x;
        if (p.y < lo.y) lo.y = p.y;
        if (p.z < lo.z) lo.z = p.z;
        if (p.x > hi.x) hi.x = p.x;
        if (p.y > hi.y) hi.y = p.y;
        if (p.z > hi.z) hi.z = p.z;
    }
    const double ex = hi.x - lo.x;
    const double ey = hi.y - lo.y;
    const double ez = hi.z - lo.z;
    if (ex < ey && ex < ez) {
        for (Point3& p : pts) std::swap(p.x, p.z);
    } else if (ey < ex && ey < ez) {
        for (Point3& p : pts) std::swap(p.y, p.z);
    }
}

void simplify_for_determinant(KnotDiagram& d) {
    reduce_diagram(d);
    simplify_diagram(d, kSimplifySeed, kSimplifyPatience);
}

ExactPolynomial simplified_polynomial(KnotDiagram& d, std::size_t ahead_crossings) {
    reduce_diagram(d);
    pass_strands_until_stable(d, kStrandPassShare);
    std::shared_ptr<ImagesAhead> ahead;
    if (d.crossings() >= ahead_crossings) ahead = alexander_images_ahead(d);
    r3_search(d, kSimplifySeed, kSimplifyPatience);
    return alexander_polynomial(alexander_matrix(d), nullptr, kDenseMinorLimit, KrylovImages::automatic,
                                std::move(ahead));
}

namespace {

// True when |P(1)| = 1 and the coefficients read the same backwards, as for
// the Alexander polynomial of every knot (symmetric, with value +-1 at 1); a
// diagram that is not a knot diagram (a crossing lost at a sample point, two
// strands meeting) can give anything else.
bool knot_like(const ExactPolynomial& p) {
    std::vector<BigInteger> coeffs;
    if (p.small) {
        for (const std::int64_t c : p.small->coeffs) {
            BigInteger term;
            term.negative = c < 0;
            term.magnitude = BigUnsigned(c < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(c)
                                               : static_cast<std::uint64_t>(c));
            coeffs.push_back(term);
        }
    } else {
        coeffs = p.big;
    }
    std::size_t lo = 0, hi = coeffs.size();
    while (lo < hi && coeffs[lo].is_zero()) ++lo;
    while (hi > lo && coeffs[hi - 1].is_zero()) --hi;
    BigInteger sum;
    for (std::size_t i = lo; i < hi; ++i) {
        if (!(coeffs[i] - coeffs[lo + hi - 1 - i]).is_zero()) return false;
        sum = sum + coeffs[i];
    }
    const std::optional<std::int64_t> value = sum.to_i64();
    return value && (*value == 1 || *value == -1);
}

}  // namespace

std::vector<Chain> fallback_projections(const Chain& points) {
    std::vector<Chain> out;
    out.push_back(points);
    Chain x_height = points, y_height = points;
    for (Point3& p : x_height) std::swap(p.x, p.z);
    for (Point3& p : y_height) std::swap(p.y, p.z);
    out.push_back(std::move(x_height));
    out.push_back(std::move(y_height));
    for (const Rotation& turn : fallback_turns()) {
        Chain turned;
        turned.reserve(points.size());
        for (const Point3& p : points) turned.push_back(turn.apply(p));
        out.push_back(std::move(turned));
    }
    return out;
}

Result<std::string> compute_knottype_from_chain(const Chain& points, const AlexanderTable& table, bool debug) {
    if (points.size() < 3) return std::string("1");
    Chain pts = points;
    choose_projection(pts);
    AlexanderMatrix matrix = alexander_matrix(pts);
    if (matrix.crossings == 0 && !matrix.dropped_crossing) return std::string("1");
    // A projection without crossings has the polynomial 1.
    const auto polynomial_of = [](const AlexanderMatrix& m, const Chain& projection) {
        ExactPolynomial one;
        one.small = Polynomial{{1}};
        if (m.crossings == 0) return one;
        if (m.crossings >= kSimplifiedCrossings && !m.dropped_crossing) {
            // A large diagram is simplified first (Reidemeister moves keep the
            // knot, so the polynomial): the determinant's cost grows much
            // faster than the crossings.
            if (std::optional<KnotDiagram> d = diagram_of_projection(projection)) return simplified_polynomial(*d);
        }
        return alexander_polynomial(m);
    };
    // A projection that may lack a crossing is a last resort: its polynomial
    // is computed only when no fallback projection is a clean knot diagram.
    std::optional<ExactPolynomial> first;
    if (!matrix.dropped_crossing) first = polynomial_of(matrix, pts);
    if (matrix.dropped_crossing || !knot_like(*first)) {
        // Not a knot diagram, or one that may lack a crossing put on a vertex:
        // the first fallback projection that is a knot diagram as far as can
        // be told (knot-like, no crossing on a vertex). When none is: for a
        // projection that may lack a crossing, its own polynomial; otherwise
        // the first knot-like fallback, or the unknot when a fallback has no
        // crossings or none is knot-like (a chain that passes through itself
        // has no knot type). Projections that may lack a crossing get their
        // polynomial only when no clean one is found (then in order, as
        // needed): a dense chain's may take long.
        // (Their matrices are built again then rather than kept.)
        const std::vector<Chain> projections = fallback_projections(points);
        std::vector<std::optional<ExactPolynomial>> polynomials(projections.size());
        std::vector<std::size_t> crossings;
        std::optional<ExactPolynomial> clean;
        for (std::size_t i = 0; i < projections.size() && !clean; ++i) {
            const AlexanderMatrix m = alexander_matrix(projections[i]);
            crossings.push_back(m.crossings);
            if (m.dropped_crossing) continue;
            polynomials[i] = polynomial_of(m, projections[i]);
            if (knot_like(*polynomials[i])) clean = polynomials[i];
        }
        std::optional<ExactPolynomial> first_knot_like;
        bool unknot_first = false;
        for (std::size_t i = 0; i < crossings.size() && !clean && !first_knot_like && !unknot_first; ++i) {
            if (crossings[i] == 0) {
                unknot_first = true;
                continue;
            }
            if (!polynomials[i]) polynomials[i] = polynomial_of(alexander_matrix(projections[i]), projections[i]);
            if (knot_like(*polynomials[i])) first_knot_like = polynomials[i];
        }
        if (clean) {
            first = std::move(*clean);
        } else {
            if (!first) first = polynomial_of(matrix, pts);
            if (!knot_like(*first)) {
                if (unknot_first || !first_knot_like) return std::string("1");
                first = std::move(*first_knot_like);
            }
        }
    }
    const ExactPolynomial& polynomial = *first;
    if (polynomial.small)
        if (const std::string* name = table.lookup(*polynomial.small)) return *name;
    const std::string text = polynomial.text();
    if (debug) write_debug_line("knot type not found, with polynomial as: " + text);
    return KnotError::not_found(text);
}

Result<std::string> get_knottype(const Chain& points, const AlexanderTable& table, const KnotTypeOptions& options) {
    Chain work = points;
    drop_missing_points(work);
    if (options.is_ring) {
        if (options.use_kmt) kmt_ring(work);
        if (work.empty()) return std::string("1");
        work.push_back(work.front());
        Result<std::string> name = compute_knottype_from_chain(work, table, options.debug);
        if (name && options.debug && name.value() != "1") write_debug_line("ring knot type: " + name.value());
        return name;
    }

    if (options.use_kmt) {
        kmt_open_chain(work);
        if (options.debug)
            for (const Point3& p : work) write_debug_line(format_xyz_point_line(p));
    }
    return type_reduced_open_chain(std::move(work), table, options);
}

bool close_open_chain(Chain& work, const KnotTypeOptions& options) {
    if (work.size() <= 4) return true;
    if (const auto ends = hull_ends(work, options.hull_tolerance, options.hull_scale)) {
        work.insert(work.begin(), ends->first);
        work.push_back(ends->second);
        return true;
    }
    // Finite points without a hull lie in one plane (decided exactly): such a
    // chain cannot be knotted.
    const bool finite = std::all_of(work.begin(), work.end(), [](const Point3& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
    if (options.debug)
        write_debug_line("warning: hull_ends failed, using infinity-closure fallback (no head-tail segment)");
    return !(finite && !build_hull(work));
}

Result<std::string> type_reduced_open_chain(Chain work, const AlexanderTable& table,
                                            const KnotTypeOptions& options) {
    if (!close_open_chain(work, options)) {
        if (options.debug) write_debug_line("knot type: 1");
        return std::string("1");
    }
    Result<std::string> name = compute_knottype_from_chain(work, table, options.debug);
    if (name && options.debug) write_debug_line("knot type: " + name.value());
    return name;
}

Outcome<std::string> classify_frame(const Chain& chain, const AlexanderTable& table,
                                    const KnotTypeOptions& options) {
    const int k = unit_exponent(chain);
    Chain scaled;
    if (k != 0) {
        scaled = chain;
        scale_by_power_of_two(scaled, k);
    }
    Result<std::string> name = get_knottype(k != 0 ? scaled : chain, table, options);
    if (name) return std::move(name).value();
    if (name.error().kind() == KnotError::Kind::NotFound) return name.error().message();
    return Failure{name.error().display()};
}

}  // namespace skeinlab
