#include "knottype.hpp"

#include <algorithm>
#include <cfloat>
#include <unordered_map>

#include "crossings.hpp"
#include "hull.hpp"
#include "io.hpp"
#include "kmt.hpp"
#include "polynomial.hpp"

namespace skeinlab {
namespace {

struct CrossingEntry {
    std::size_t number;
    std::int32_t sign;
};

inline std::uint64_t pair_key(std::size_t i, std::size_t j) {
    const std::size_t lo = std::min(i, j);
    const std::size_t hi = std::max(i, j);
    return (static_cast<std::uint64_t>(lo) << 32) | static_cast<std::uint64_t>(hi);
}

// Exchanges coordinates so that the axis of strictly smallest extent becomes
// the height; on a tie the projection stays along z.
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

const Polynomial kT{{0, 1}};
const Polynomial kOneMinusT{{1, -1}};
const Polynomial kMinusOne{{-1}};

}  // namespace

Result<std::string> compute_knottype_from_chain(const Chain& points, const AlexanderTable& table, bool debug) {
    if (points.size() < 3) return std::string("1");
    Chain pts = points;
    choose_projection(pts);
    const std::vector<std::vector<CrossingRecord>> rows = find_crossings(pts);

    // Walk: number the crossings in the order they are first met, take each
    // crossing's sign from that first record, and list the under-passages.
    std::unordered_map<std::uint64_t, CrossingEntry> crossings;
    std::vector<std::size_t> under;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (const CrossingRecord& rec : rows[i]) {
            const std::uint64_t key = pair_key(i, rec.other);
            if (crossings.find(key) == crossings.end()) {
                const std::int32_t sign = rec.record.signed_position > 0.0 ? 1 : -1;
                crossings.emplace(key, CrossingEntry{crossings.size(), sign});
            }
            if (!rec.record.is_over) under.push_back(i);
        }
    }
    const std::size_t g = crossings.size();
    if (g == 0) return std::string("1");

    // Arcs run from one under-passage to the next, modulo g, so the stretch
    // after the last under-passage and the one before the first are one arc.
    std::vector<std::vector<Polynomial>> matrix(g, std::vector<Polynomial>(g));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].empty()) continue;
        const std::size_t base =
            static_cast<std::size_t>(std::lower_bound(under.begin(), under.end(), i) - under.begin());
        std::size_t k = 0;
        for (const CrossingRecord& rec : rows[i]) {
            const CrossingEntry& entry = crossings.at(pair_key(i, rec.other));
            std::vector<Polynomial>& row = matrix[entry.number];
            const std::size_t a = (base + k) % g;
            const std::size_t b = (base + k + 1) % g;
            if (rec.record.is_over) {
                row[a] = add(row[a], kOneMinusT);
            } else {
                if (entry.sign == 1) {
                    row[a] = add(row[a], kMinusOne);
                    row[b] = add(row[b], kT);
                } else {
                    row[a] = add(row[a], kT);
                    row[b] = add(row[b], kMinusOne);
                }
                ++k;
            }
        }
    }

    // The minor without the last row and column: determinant() reads the first
    // g - 1 entries of each of the g - 1 remaining rows.
    matrix.pop_back();
    const Polynomial polynomial = normalize(determinant(matrix));
    if (const std::string* name = table.lookup(polynomial)) return *name;
    const std::string text = fmt(polynomial);
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
