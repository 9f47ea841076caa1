#include "analysis/lasso.hpp"

#include <algorithm>
#include <cmath>

#include "geometry/exact.hpp"

namespace skeinlab {
namespace {

// The loop's surface: vertex 0 the centre, then ring r (1 = the loop itself,
// up to kLassoRings + 1 = the innermost interior ring) vertex m at
// 1 + (r - 1) n + m; triangles oriented as the loop runs.
struct Surface {
    std::size_t n = 0;
    Chain vertices;
    std::vector<std::array<std::size_t, 3>> triangles;

    std::size_t at(std::size_t ring, std::size_t m) const { return 1 + (ring - 1) * n + m % n; }
};

double triangle_area(const Point3& a, const Point3& b, const Point3& c) {
    return 0.5 * length(cross(sub(b, a), sub(c, a)));
}

double surface_area(const Surface& s) {
    double area = 0.0;
    for (const auto& t : s.triangles) area += triangle_area(s.vertices[t[0]], s.vertices[t[1]], s.vertices[t[2]]);
    return area;
}

Surface spanning_surface(const Chain& loop) {
    Surface s;
    s.n = loop.size();
    const std::size_t rings = static_cast<std::size_t>(kLassoRings) + 1;  // the loop and the interior rings
    Point3 centre{0.0, 0.0, 0.0};
    for (const Point3& p : loop) centre = {centre.x + p.x, centre.y + p.y, centre.z + p.z};
    const double count = static_cast<double>(loop.size());
    centre = {centre.x / count, centre.y / count, centre.z / count};
    s.vertices.push_back(centre);
    for (std::size_t r = 1; r <= rings; ++r) {
        // Interior rings start as the loop shrunk towards the centre.
        const double f = 1.0 - static_cast<double>(r - 1) / static_cast<double>(rings);
        for (const Point3& p : loop)
            s.vertices.push_back({centre.x + f * (p.x - centre.x), centre.y + f * (p.y - centre.y),
                                  centre.z + f * (p.z - centre.z)});
    }
    for (std::size_t r = 1; r < rings; ++r)
        for (std::size_t m = 0; m < s.n; ++m) {
            s.triangles.push_back({s.at(r, m), s.at(r, m + 1), s.at(r + 1, m + 1)});
            s.triangles.push_back({s.at(r, m), s.at(r + 1, m + 1), s.at(r + 1, m)});
        }
    for (std::size_t m = 0; m < s.n; ++m) s.triangles.push_back({s.at(rings, m), s.at(rings, m + 1), 0});

    // Discrete minimal-surface steps: every interior vertex to the mean of
    // its neighbours, in a fixed order, each step using the vertices moved
    // before it in that step (Gauss-Seidel: it settles in fewer steps than
    // moving all at once), until the area settles.
    double area = surface_area(s);
    for (int step = 0; step < kLassoMaxSteps; ++step) {
        Chain& next = s.vertices;
        for (std::size_t r = 2; r <= rings; ++r)
            for (std::size_t m = 0; m < s.n; ++m) {
                const Point3 a = s.vertices[s.at(r, m + s.n - 1)], b = s.vertices[s.at(r, m + 1)];
                const Point3 c = s.vertices[s.at(r - 1, m)];
                const Point3 d = r == rings ? s.vertices[0] : s.vertices[s.at(r + 1, m)];
                next[s.at(r, m)] = {(a.x + b.x + c.x + d.x) / 4.0, (a.y + b.y + c.y + d.y) / 4.0,
                                    (a.z + b.z + c.z + d.z) / 4.0};
            }
        Point3 mean{0.0, 0.0, 0.0};
        for (std::size_t m = 0; m < s.n; ++m) {
            const Point3& p = s.vertices[s.at(rings, m)];
            mean = {mean.x + p.x, mean.y + p.y, mean.z + p.z};
        }
        next[0] = {mean.x / count, mean.y / count, mean.z / count};
        const double now = surface_area(s);
        const bool settled = std::fabs(area - now) <= kLassoAreaTolerance * now;
        area = now;
        if (settled) break;
    }
    return s;
}

// The crossings of segment (a, b) with the surface, as signs ordered along
// the segment; a point where it meets two triangles (an edge) counts once.
// Axis-aligned boxes: a segment is tested only against triangles whose box its
// own box meets (a cheap rejection before the exact predicates).
struct Box {
    Point3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
    void add(const Point3& p) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    bool meets(const Box& o) const {
        return lo.x <= o.hi.x && o.lo.x <= hi.x && lo.y <= o.hi.y && o.lo.y <= hi.y && lo.z <= o.hi.z && o.lo.z <= hi.z;
    }
};

std::vector<Box> triangle_boxes(const Surface& s) {
    std::vector<Box> boxes(s.triangles.size());
    for (std::size_t k = 0; k < s.triangles.size(); ++k)
        for (const std::size_t v : s.triangles[k]) boxes[k].add(s.vertices[v]);
    return boxes;
}

std::vector<char> crossings_of(const Surface& s, const std::vector<Box>& boxes, const Box& whole, const Point3& a,
                               const Point3& b) {
    std::vector<std::pair<double, char>> found;
    Box segment;
    segment.add(a);
    segment.add(b);
    if (!segment.meets(whole)) return {};
    for (std::size_t k = 0; k < s.triangles.size(); ++k) {
        if (!segment.meets(boxes[k])) continue;
        const auto& t = s.triangles[k];
        const Point3 &p = s.vertices[t[0]], &q = s.vertices[t[1]], &r = s.vertices[t[2]];
        // A point exactly in the triangle's plane counts as on the side opposite
        // the normal (a fixed tie-break), so that a tail through the surface at
        // one of its own points crosses it in exactly one of its two segments.
        int sa = exact::orient3d(p, q, r, a), sb = exact::orient3d(p, q, r, b);
        if (sa == 0) sa = 1;
        if (sb == 0) sb = 1;
        if (sa == sb) continue;
        const int e1 = exact::orient3d(a, b, p, q), e2 = exact::orient3d(a, b, q, r), e3 = exact::orient3d(a, b, r, p);
        const bool inside = (e1 >= 0 && e2 >= 0 && e3 >= 0) || (e1 <= 0 && e2 <= 0 && e3 <= 0);
        if (!inside) continue;
        const Point3 normal = cross(sub(q, p), sub(r, p));
        const double da = dot(sub(a, p), normal), db = dot(sub(b, p), normal);
        const double where = da / (da - db);
        // orient3d(p, q, r, x) > 0 puts x on the side opposite the normal.
        found.emplace_back(where, sa > 0 ? '+' : '-');
    }
    std::sort(found.begin(), found.end());
    std::vector<char> out;
    for (std::size_t k = 0; k < found.size(); ++k) {
        if (k > 0 && std::fabs(found[k].first - found[k - 1].first) < 1e-9 && found[k].second == found[k - 1].second)
            continue;
        out.push_back(found[k].second);
    }
    return out;
}

std::string signed_count(const std::vector<LassoPiercing>& tail) {
    return std::string(1, tail.front().sign) + std::to_string(tail.size());
}

}  // namespace

std::vector<LassoPiercing> reduced_piercings(std::vector<LassoPiercing> crossings, std::int64_t bridge,
                                             std::int64_t free_end) {
    constexpr std::int64_t kNearEnd = 3, kCancelWithin = 10;
    for (bool changed = true; changed;) {
        changed = false;
        const auto near = [&](const LassoPiercing& p) {
            return std::llabs(p.index - bridge) <= kNearEnd || std::llabs(p.index - free_end) <= kNearEnd;
        };
        const auto end = std::remove_if(crossings.begin(), crossings.end(), near);
        if (end != crossings.end()) {
            crossings.erase(end, crossings.end());
            changed = true;
        }
        for (std::size_t k = 0; k + 1 < crossings.size(); ++k) {
            if (crossings[k].sign != crossings[k + 1].sign &&
                std::llabs(crossings[k + 1].index - crossings[k].index) < kCancelWithin) {
                crossings.erase(crossings.begin() + static_cast<std::ptrdiff_t>(k),
                                crossings.begin() + static_cast<std::ptrdiff_t>(k + 2));
                changed = true;
                break;
            }
        }
    }
    return crossings;
}

std::string lasso_name(const std::vector<LassoPiercing>& n_tail, const std::vector<LassoPiercing>& c_tail) {
    // Names are appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
    // "L" + a string once the two are inlined together.
    if (n_tail.empty() && c_tail.empty()) return "L0";
    std::string name = "L";
    if (!n_tail.empty() && !c_tail.empty()) {
        name += "L";
        name += signed_count(n_tail);
        name += ",";
        name += signed_count(c_tail);
        return name;
    }
    const std::vector<LassoPiercing>& tail = n_tail.empty() ? c_tail : n_tail;
    bool alternating = true;
    for (std::size_t k = 0; k + 1 < tail.size(); ++k) alternating = alternating && tail[k].sign != tail[k + 1].sign;
    if (alternating) {
        name += signed_count(tail);
    } else {
        name += "S";
        name += std::to_string(tail.size());
        for (const LassoPiercing& p : tail) name.push_back(p.sign);
    }
    name += n_tail.empty() ? "C" : "N";
    return name;
}

namespace {

Status check_bridge(const Chain& chain, std::int64_t i, std::int64_t j) {
    const std::string bridge = "bridge " + std::to_string(i) + "-" + std::to_string(j);
    const auto n = static_cast<std::int64_t>(chain.size());
    if (i >= j) return KnotError::data_parse(bridge + ": i must be below j");
    if (i < 0 || j >= n) return KnotError::data_parse(bridge + ": beyond the chain's " + std::to_string(n) + " points");
    if (j - i < 2) return KnotError::data_parse(bridge + ": a loop needs at least 3 points");
    for (const Point3& p : chain)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return KnotError::data_parse(bridge + ": the chain has missing points");
    return ok_status();
}

}  // namespace

Result<LassoSurface> lasso_surface(const Chain& chain, std::int64_t i, std::int64_t j) {
    if (Status s = check_bridge(chain, i, j); !s) return s.error();
    Surface surface = spanning_surface(Chain(chain.begin() + i, chain.begin() + j + 1));
    return LassoSurface{std::move(surface.vertices), std::move(surface.triangles)};
}

Result<Lasso> lasso_of(const Chain& chain, std::int64_t i, std::int64_t j) {
    if (Status s = check_bridge(chain, i, j); !s) return s.error();
    const auto n = static_cast<std::int64_t>(chain.size());
    const Chain loop(chain.begin() + i, chain.begin() + j + 1);
    const Surface surface = spanning_surface(loop);
    Lasso out;
    out.bridge = {i, j};
    out.area = surface_area(surface);
    // The N tail: segments between points below i; the C tail: above j.
    std::vector<LassoPiercing> n_tail, c_tail;
    const std::vector<Box> boxes = triangle_boxes(surface);
    Box whole;
    for (const Point3& v : surface.vertices) whole.add(v);
    const auto tail = [&](std::int64_t first, std::int64_t last, std::vector<LassoPiercing>& found) {
        for (std::int64_t k = first; k + 1 <= last; ++k)
            for (const char sign : crossings_of(surface, boxes, whole, chain[static_cast<std::size_t>(k)],
                                                chain[static_cast<std::size_t>(k + 1)]))
                found.push_back({k, sign});
    };
    tail(0, i - 1, n_tail);
    tail(j + 1, n - 1, c_tail);
    out.n_tail = reduced_piercings(std::move(n_tail), i, 0);
    out.c_tail = reduced_piercings(std::move(c_tail), j, n - 1);
    out.name = lasso_name(out.n_tail, out.c_tail);
    return out;
}

}  // namespace skeinlab
