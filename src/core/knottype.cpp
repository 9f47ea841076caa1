#include "knottype.hpp"

#include <cfloat>
#include <utility>

#include "alexander.hpp"
#include "hull.hpp"
#include "io.hpp"
#include "kmt.hpp"

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

Result<std::string> compute_knottype_from_chain(const Chain& points, const AlexanderTable& table, bool debug) {
    if (points.size() < 3) return std::string("1");
    Chain pts = points;
    choose_projection(pts);
    const AlexanderMatrix matrix = alexander_matrix(pts);
    if (matrix.crossings == 0) return std::string("1");
    const ExactPolynomial polynomial = alexander_polynomial(matrix);
    if (polynomial.small)
        if (const std::string* name = table.lookup(*polynomial.small)) return *name;
    const std::string text = polynomial.text();
    if (debug) write_debug_line("knot type not found, with polynomial as: " + text);
    return KnotError::not_found(text);
}

Result<std::string> get_knottype(const Chain& points, const AlexanderTable& table, const KnotTypeOptions& options) {
    Chain work = points;
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

Result<std::string> type_reduced_open_chain(Chain work, const AlexanderTable& table,
                                            const KnotTypeOptions& options) {
    if (work.size() > 4) {
        if (const auto ends = hull_ends(work, options.hull_tolerance, options.hull_scale)) {
            work.insert(work.begin(), ends->first);
            work.push_back(ends->second);
        } else if (options.debug) {
            write_debug_line("warning: hull_ends failed, using infinity-closure fallback (no head-tail segment)");
        }
    }
    Result<std::string> name = compute_knottype_from_chain(work, table, options.debug);
    if (name && options.debug) write_debug_line("knot type: " + name.value());
    return name;
}

}  // namespace skeinlab
