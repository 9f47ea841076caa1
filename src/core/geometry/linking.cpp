#include "geometry/linking.hpp"

#include <algorithm>
#include <cmath>

#include "base/error.hpp"
#include "geometry/exact.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

// A segment with its box in the projection plane (the first two coordinates).
struct Segment {
    Point3 p, q;
    double lo_x, hi_x, lo_y, hi_y;
    // The chain (when several are put together) and the segment's place along it.
    std::uint32_t chain = 0, index = 0;
};

// The segments of a chain without its missing points, closed back to the
// first point for a ring, sorted by the low end of their boxes in x.
struct Segments {
    std::vector<Segment> by_x;
    double widest = 0.0;  // the largest box width in x
};

Segments segments_of(const Chain& chain, bool ring) {
    Chain points;
    for (const Point3& p : chain)
        if (!is_missing(p)) points.push_back(p);
    Segments out;
    const std::size_t n = points.size();
    const std::size_t count = n < 2 ? 0 : (ring ? n : n - 1);
    for (std::size_t k = 0; k < count; ++k) {
        const Point3& p = points[k];
        const Point3& q = points[(k + 1) % n];
        out.by_x.push_back({p, q, std::min(p.x, q.x), std::max(p.x, q.x), std::min(p.y, q.y), std::max(p.y, q.y), 0,
                            static_cast<std::uint32_t>(k)});
        out.widest = std::max(out.widest, std::max(p.x, q.x) - std::min(p.x, q.x));
    }
    std::sort(out.by_x.begin(), out.by_x.end(), [](const Segment& s, const Segment& t) { return s.lo_x < t.lo_x; });
    return out;
}

// Calls visit(a, b) for every pair of segments whose projected boxes meet;
// stops when visit returns false.
template <class Visit>
bool for_each_close_pair(const Segments& a, const Segments& b, Visit visit) {
    for (const Segment& s : a.by_x) {
        const double from = s.lo_x - b.widest;
        auto it = std::lower_bound(b.by_x.begin(), b.by_x.end(), from,
                                   [](const Segment& t, double x) { return t.lo_x < x; });
        for (; it != b.by_x.end() && it->lo_x <= s.hi_x; ++it) {
            if (it->hi_x < s.lo_x || it->hi_y < s.lo_y || it->lo_y > s.hi_y) continue;
            if (!visit(s, *it)) return false;
        }
    }
    return true;
}

// The sum of the orientations orient3d(a1, a2, b1, b2) over the pairs whose
// projections cross properly: minus twice the linking number. Nothing when a
// pair meets at an end point, overlaps in projection or meets in space.
std::optional<std::int64_t> crossing_sum(const Segments& a, const Segments& b) {
    std::int64_t sum = 0;
    const bool clean = for_each_close_pair(a, b, [&](const Segment& s, const Segment& t) {
        const int o1 = exact::orient2d(s.p, s.q, t.p), o2 = exact::orient2d(s.p, s.q, t.q);
        if (o1 == o2 && o1 != 0) return true;
        const int o3 = exact::orient2d(t.p, t.q, s.p), o4 = exact::orient2d(t.p, t.q, s.q);
        if (o3 == o4 && o3 != 0) return true;
        if (o1 == 0 || o2 == 0 || o3 == 0 || o4 == 0) return false;
        const int height = exact::orient3d(s.p, s.q, t.p, t.q);
        if (height == 0) return false;
        sum += height;
        return true;
    });
    if (!clean) return std::nullopt;
    return sum;
}

Chain turned(const Chain& chain, const Rotation& turn) {
    Chain out;
    out.reserve(chain.size());
    for (const Point3& p : chain) out.push_back(turn.apply(p));
    return out;
}

// The linking number from the segments of the projection along z, else of
// the fallback turns.
std::optional<std::int64_t> ring_linking(const Chain& a, const Chain& b, const Segments& sa, const Segments& sb) {
    std::optional<std::int64_t> sum = crossing_sum(sa, sb);
    for (std::size_t k = 0; !sum && k < fallback_turns().size(); ++k)
        sum = crossing_sum(segments_of(turned(a, fallback_turns()[k]), true),
                           segments_of(turned(b, fallback_turns()[k]), true));
    if (!sum) return std::nullopt;
    if (*sum % 2 != 0) throw InternalError("the crossings of two rings have an odd sum of signs");
    return -*sum / 2;
}

// The solid angle of segments p1-p2 and p3-p4 (Klenin and Langowski).
double solid_angle(const Point3& p1, const Point3& p2, const Point3& p3, const Point3& p4) {
    const Point3 r13 = sub(p3, p1), r14 = sub(p4, p1), r23 = sub(p3, p2), r24 = sub(p4, p2);
    const Point3 normals[4] = {cross(r13, r14), cross(r14, r24), cross(r24, r23), cross(r23, r13)};
    Point3 n[4];
    for (int k = 0; k < 4; ++k) {
        const double norm = length(normals[k]);
        if (!(norm > 0.0)) return 0.0;  // two of the points coincide or line up: no area
        n[k] = {normals[k].x / norm, normals[k].y / norm, normals[k].z / norm};
    }
    double omega = 0.0;
    for (int k = 0; k < 4; ++k) omega += std::asin(std::clamp(dot(n[k], n[(k + 1) % 4]), -1.0, 1.0));
    const double side = dot(cross(sub(p4, p3), sub(p2, p1)), r13);
    return side > 0.0 ? omega : side < 0.0 ? -omega : 0.0;
}

double gauss_of_segments(const Segments& a, const Segments& b) {
    double sum = 0.0;
    for (const Segment& s : a.by_x)
        for (const Segment& t : b.by_x) sum += solid_angle(s.p, s.q, t.p, t.q);
    return sum / (4.0 * 3.141592653589793);
}

struct Box {
    Point3 lo, hi;
    bool empty = true;
};

Box box_of(const Chain& chain) {
    Box box;
    for (const Point3& p : chain) {
        if (is_missing(p)) continue;
        if (box.empty) {
            box.lo = box.hi = p;
            box.empty = false;
            continue;
        }
        box.lo = {std::min(box.lo.x, p.x), std::min(box.lo.y, p.y), std::min(box.lo.z, p.z)};
        box.hi = {std::max(box.hi.x, p.x), std::max(box.hi.y, p.y), std::max(box.hi.z, p.z)};
    }
    return box;
}

}  // namespace

std::optional<std::int64_t> linking_number(const Chain& a, const Chain& b) {
    const Segments sa = segments_of(a, true), sb = segments_of(b, true);
    if (sa.by_x.empty() || sb.by_x.empty()) return std::int64_t{0};
    return ring_linking(a, b, sa, sb);
}

std::optional<std::size_t> proper_crossings(const std::vector<Chain>& rings) {
    Segments all;
    std::vector<std::uint32_t> counts;
    for (std::size_t r = 0; r < rings.size(); ++r) {
        Segments ring = segments_of(rings[r], true);
        counts.push_back(static_cast<std::uint32_t>(ring.by_x.size()));
        for (Segment& s : ring.by_x) {
            s.chain = static_cast<std::uint32_t>(r);
            all.by_x.push_back(s);
        }
        all.widest = std::max(all.widest, ring.widest);
    }
    std::sort(all.by_x.begin(), all.by_x.end(), [](const Segment& s, const Segment& t) {
        return s.lo_x < t.lo_x || (s.lo_x == t.lo_x && (s.chain < t.chain || (s.chain == t.chain && s.index < t.index)));
    });
    std::size_t crossings = 0;
    std::uint64_t visited = 0;
    const bool generic = for_each_close_pair(all, all, [&](const Segment& s, const Segment& t) {
        // Each pair once, in (chain, index) order.
        if (s.chain > t.chain || (s.chain == t.chain && s.index >= t.index)) return true;
        if (++visited % 4096 == 0) cancellation_point();
        const std::uint32_t n = counts[s.chain];
        const bool neighbours = s.chain == t.chain && (t.index == s.index + 1 || (s.index == 0 && t.index + 1 == n));
        const int o1 = exact::orient2d(s.p, s.q, t.p), o2 = exact::orient2d(s.p, s.q, t.q);
        if (neighbours) {
            // Joined at a point: they must not lie on one line in projection.
            return n < 3 || o1 != 0 || o2 != 0;
        }
        if (o1 == o2 && o1 != 0) return true;
        const int o3 = exact::orient2d(t.p, t.q, s.p), o4 = exact::orient2d(t.p, t.q, s.q);
        if (o3 == o4 && o3 != 0) return true;
        if (o1 == 0 || o2 == 0 || o3 == 0 || o4 == 0) return false;
        if (exact::orient3d(s.p, s.q, t.p, t.q) == 0) return false;
        ++crossings;
        return true;
    });
    if (!generic) return std::nullopt;
    return crossings;
}

double gauss_linking_integral(const Chain& a, const Chain& b) {
    return gauss_of_segments(segments_of(a, false), segments_of(b, false));
}

std::vector<LinkingPair> linking_pairs(const std::vector<Chain>& chains, bool rings, bool with_zero) {
    std::vector<Box> boxes;
    std::vector<Segments> segments;
    boxes.reserve(chains.size());
    segments.reserve(chains.size());
    for (const Chain& c : chains) {
        boxes.push_back(box_of(c));
        segments.push_back(segments_of(c, rings));
    }
    std::vector<std::uint32_t> order;
    for (std::uint32_t k = 0; k < chains.size(); ++k)
        if (!boxes[k].empty && !segments[k].by_x.empty()) order.push_back(k);
    std::sort(order.begin(), order.end(), [&](std::uint32_t p, std::uint32_t q) {
        return boxes[p].lo.x < boxes[q].lo.x || (boxes[p].lo.x == boxes[q].lo.x && p < q);
    });
    std::vector<LinkingPair> out;
    std::uint64_t visited = 0;
    for (std::size_t u = 0; u < order.size(); ++u) {
        const Box& bu = boxes[order[u]];
        for (std::size_t v = u + 1; v < order.size() && boxes[order[v]].lo.x <= bu.hi.x; ++v) {
            const Box& bv = boxes[order[v]];
            if (bv.lo.y > bu.hi.y || bu.lo.y > bv.hi.y || bv.lo.z > bu.hi.z || bu.lo.z > bv.hi.z) continue;
            if (++visited % 256 == 0) cancellation_point();
            const std::uint32_t i = std::min(order[u], order[v]), j = std::max(order[u], order[v]);
            LinkingPair pair{i, j, 0.0, true};
            if (rings) {
                const std::optional<std::int64_t> lk = ring_linking(chains[i], chains[j], segments[i], segments[j]);
                pair.defined = lk.has_value();
                pair.value = lk ? static_cast<double>(*lk) : 0.0;
            } else {
                pair.value = gauss_of_segments(segments[i], segments[j]);
            }
            if (with_zero || pair.value != 0.0 || !pair.defined) out.push_back(pair);
        }
    }
    std::sort(out.begin(), out.end(),
              [](const LinkingPair& p, const LinkingPair& q) { return p.i < q.i || (p.i == q.i && p.j < q.j); });
    return out;
}

}  // namespace skeinlab
