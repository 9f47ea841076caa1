// The working representation of KMT reduction, shared by the reduction of a
// whole chain and the reduction of its windows: the chain as a doubly linked list
// over the original positions with boxes over blocks of segments.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "geometry/geometry.hpp"

namespace skeinlab::kmt_detail {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kBlock = 32;

struct Box {
    Point3 lo{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
              std::numeric_limits<double>::infinity()};
    Point3 hi{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
              -std::numeric_limits<double>::infinity()};
    bool finite = true;

    void add(const Point3& p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            finite = false;
            return;
        }
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
};

// The largest magnitude of the finite coordinates of a set of points, per axis.
struct Extent {
    double x = 0.0, y = 0.0, z = 0.0;

    void add(const Point3& p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
        x = std::max(x, std::fabs(p.x));
        y = std::max(y, std::fabs(p.y));
        z = std::max(z, std::fabs(p.z));
    }
};

// A triangle's plane, prepared for telling boxes of points within an extent
// that lie clearly on one side of it.
struct PlaneTest {
    Plane plane;
    double ax, ay, az;  // |a|, |b|, |c|
    double threshold;

    PlaneTest(const Plane& p, const Extent& extent)
        : plane(p), ax(std::fabs(p.a)), ay(std::fabs(p.b)), az(std::fabs(p.c)) {
        // The rounding of a point's distance is a few ulps of
        // |a x| + |b y| + |c z| + |d|, which `scale` bounds for every point
        // of the extent.
        const double scale = ax * extent.x + ay * extent.y + az * extent.z + std::fabs(p.d);
        // sqrt(1e-7) with a relative margin, plus a rounding allowance far
        // above the few ulps the distance evaluations can be off by.
        threshold = 3.1622777e-4 * (1.0 + 1e-6) + 1e-12 * scale;
    }

    // True when every point of the box (centre +- half) is farther than
    // sqrt(1e-7) from the plane on the same side, with room for the rounding
    // of the per-point distances; then every segment of the box fails the
    // side test. False for NaN.
    bool clearly_one_side(double cx, double cy, double cz, double hx, double hy, double hz) const {
        const double distance = plane.a * cx + plane.b * cy + plane.c * cz + plane.d;
        const double reach = ax * hx + ay * hy + az * hz;
        return std::fabs(distance) - reach > threshold;
    }

    bool clearly_one_side(const Box& box) const {
        if (!box.finite) return false;
        const Point3 c = centre_of(box), h = half_of(box);
        return clearly_one_side(c.x, c.y, c.z, h.x, h.y, h.z);
    }

    static Point3 centre_of(const Box& box) {
        return {0.5 * box.lo.x + 0.5 * box.hi.x, 0.5 * box.lo.y + 0.5 * box.hi.y, 0.5 * box.lo.z + 0.5 * box.hi.z};
    }
    static Point3 half_of(const Box& box) {
        return {0.5 * box.hi.x - 0.5 * box.lo.x, 0.5 * box.hi.y - 0.5 * box.lo.y, 0.5 * box.hi.z - 0.5 * box.lo.z};
    }
};

// The chain as a doubly linked list over the original positions, so that a
// deletion costs O(1) instead of shifting the tail. Positions in the
// reduction's own terms are the alive points in original order, and "the point
// that moves into position j after a deletion" is simply the next alive point.
//
// Segments are grouped in blocks of kBlock consecutive alive positions, as
// they were at the last rebuild (every pass rebuilds, so a reduced chain's
// blocks stay full); each block keeps a box holding both ends of every
// segment that starts in it. A block whose box lies clearly on one side of a
// triangle's plane holds no segment that the full test would count as
// blocking (the first step of the test rejects every one of them), so it is
// passed over without testing.
class LinkedChain {
public:
    // With `covering` (an extent holding every point), the extent is not
    // computed again and the boxes wait for the first rebuild_boxes(), for
    // callers that test no segment through the boxes before it.
    LinkedChain(Chain points, bool ring, const Extent* covering = nullptr) : pts_(std::move(points)) {
        const std::size_t n = pts_.size();
        next_.resize(n);
        prev_.resize(n);
        alive_.assign(n, 1);
        slot_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            next_[i] = i + 1 < n ? i + 1 : (ring ? 0 : kNone);
            prev_[i] = i > 0 ? i - 1 : (ring ? n - 1 : kNone);
        }
        size_ = n;
        if (covering) {
            extent_ = *covering;
            return;
        }
        for (const Point3& p : pts_) extent_.add(p);
        rebuild_boxes();
    }

    // Several rings in one: ring k holds points [ends[k - 1], ends[k]) (from
    // 0), each closed on itself, every segment of every ring an obstacle.
    LinkedChain(Chain points, const std::vector<std::size_t>& ends) : LinkedChain(std::move(points), true) {
        std::size_t start = 0;
        for (const std::size_t end : ends) {
            for (std::size_t i = start; i < end; ++i) {
                next_[i] = i + 1 < end ? i + 1 : start;
                prev_[i] = i > start ? i - 1 : end - 1;
            }
            start = end;
        }
        rebuild_boxes();
    }

    std::size_t size() const { return size_; }
    std::size_t next(std::size_t i) const { return next_[i]; }
    std::size_t prev(std::size_t i) const { return prev_[i]; }
    const Point3& point(std::size_t i) const { return pts_[i]; }
    std::size_t first_alive() const {
        for (std::size_t i = 0; i < alive_.size(); ++i)
            if (alive_[i]) return i;
        return kNone;
    }

    void erase(std::size_t i) {
        const std::size_t p = prev_[i];
        const std::size_t q = next_[i];
        if (p != kNone) next_[p] = q;
        if (q != kNone) prev_[q] = p;
        alive_[i] = 0;
        --size_;
        // The segment that started at p now ends at q.
        if (p != kNone && q != kNone && !boxes_.empty()) boxes_[slot_[p] / kBlock].add(pts_[q]);
    }

    void rebuild_boxes() {
        order_.clear();
        for (std::size_t i = 0; i < pts_.size(); ++i) {
            if (!alive_[i]) continue;
            slot_[i] = static_cast<std::uint32_t>(order_.size());
            order_.push_back(static_cast<std::uint32_t>(i));
        }
        boxes_.assign((order_.size() + kBlock - 1) / kBlock, Box{});
        for (std::size_t k = 0; k < order_.size(); ++k) {
            const std::size_t i = order_[k];
            Box& box = boxes_[k / kBlock];
            box.add(pts_[i]);
            if (next_[i] != kNone) box.add(pts_[next_[i]]);
        }
    }

    bool alive(std::size_t i) const { return alive_[i] != 0; }

    const Extent& extent() const { return extent_; }

    // True when some segment (x, next(x)) with x alive and x not in `skip`
    // blocks the apex of triangle (p, q, r).
    bool any_blocks(const Point3& p, const Point3& q, const Point3& r, const Plane& plane,
                    const std::size_t (&skip)[3]) const {
        return first_blocker(p, q, r, plane, skip) != kNone;
    }

    // The first such x in the blocks' order, or kNone.
    std::size_t first_blocker(const Point3& p, const Point3& q, const Point3& r, const Plane& plane,
                              const std::size_t (&skip)[3]) const {
        const PlaneTest test(plane, extent_);
        for (std::size_t b = 0; b < boxes_.size(); ++b) {
            if (test.clearly_one_side(boxes_[b])) continue;
            const std::size_t end = std::min(order_.size(), (b + 1) * kBlock);
            // Consecutive segments share a point: its plane distance is
            // computed once and reused for the side test, which is the first
            // step of judge_triangle evaluated the same way, so only segments
            // that pass it get the full test.
            std::size_t known = kNone;
            double known_distance = 0.0;
            for (std::size_t k = b * kBlock; k < end; ++k) {
                const std::size_t x = order_[k];
                if (!alive_[x] || next_[x] == kNone) continue;
                if (x == skip[0] || x == skip[1] || x == skip[2]) continue;
                const std::size_t y = next_[x];
                const double ds = known == x ? known_distance : plane.signed_distance(pts_[x]);
                const double dt = plane.signed_distance(pts_[y]);
                known = y;
                known_distance = dt;
                if (judge_triangle(p, q, r, pts_[x], pts_[y], ds, dt)) return x;
            }
        }
        return kNone;
    }

    // first_blocker for moves among several rings (judge_triangle_cautious
    // with the given tolerance and margin), every segment tested but those in
    // `skip`: the triangle's own two, and the two that share a vertex with
    // it along the ring (before's and after's other segments).
    std::size_t first_blocker_cautious(const Point3& p, const Point3& q, const Point3& r, const Plane& plane,
                                       const std::size_t (&skip)[4], double tolerance, double margin) const {
        for (std::size_t b = 0; b < boxes_.size(); ++b) {
            const Box& box = boxes_[b];
            // A block clearly beyond the tolerance on one side holds no blocker.
            const Point3 c = PlaneTest::centre_of(box), h = PlaneTest::half_of(box);
            const double reach = std::fabs(plane.a) * h.x + std::fabs(plane.b) * h.y + std::fabs(plane.c) * h.z;
            if (std::fabs(plane.signed_distance(c)) > reach * (1.0 + 1e-9) + 2.0 * tolerance) continue;
            const std::size_t end = std::min(order_.size(), (b + 1) * kBlock);
            for (std::size_t k = b * kBlock; k < end; ++k) {
                const std::size_t x = order_[k];
                if (!alive_[x] || next_[x] == kNone) continue;
                if (x == skip[0] || x == skip[1] || x == skip[2] || x == skip[3]) continue;
                const std::size_t y = next_[x];
                if (judge_triangle_cautious(p, q, r, pts_[x], pts_[y], plane.signed_distance(pts_[x]),
                                            plane.signed_distance(pts_[y]), tolerance, margin))
                    return x;
            }
        }
        return kNone;
    }

    Chain alive_points() const {
        Chain out;
        out.reserve(size_);
        for (std::size_t i = 0; i < pts_.size(); ++i)
            if (alive_[i]) out.push_back(pts_[i]);
        return out;
    }

private:
    Chain pts_;
    std::vector<std::size_t> next_;
    std::vector<std::size_t> prev_;
    std::vector<std::uint8_t> alive_;
    // The alive positions at the last rebuild, in order, and each one's slot
    // in that list; block b holds slots [b kBlock, (b + 1) kBlock).
    std::vector<std::uint32_t> order_;
    std::vector<std::uint32_t> slot_;
    std::vector<Box> boxes_;
    std::size_t size_ = 0;
    Extent extent_;
};

// The segments that the first pass over a chain has already passed: final
// for the rest of the pass, and each starting where the one before ends (at
// the points the pass keeps), so they are kept as a polyline, coordinate by
// coordinate, and a plane's distance is computed once for each point.
class PassedSegments {
public:
    std::size_t size() const { return starts_.size(); }

    // The segment from position x, from a to b (b: where the next one starts).
    void append(std::size_t x, const Point3& a, const Point3& b) {
        if (starts_.empty()) push(a);
        starts_.push_back(static_cast<std::uint32_t>(x));
        push(b);
    }

    // Calls visit(x, ds, dt) for the segments that do not fail the side test
    // of judge_triangle (ds and dt are the plane distances of their ends, as
    // Plane::signed_distance computes them), in order, until visit returns
    // true; returns whether it did.
    // Only the first `limit` segments are asked for when it is given.
    template <class Visit>
    bool any(const Plane& plane, Visit visit, std::size_t limit = SIZE_MAX) const {
        const std::size_t count = std::min(starts_.size(), limit);
        if (count == 0) return false;
        distance_.resize(count + 1);
        const double *px = px_.data(), *py = py_.data(), *pz = pz_.data();
        double* d = distance_.data();
        for (std::size_t i = 0; i <= count; ++i) d[i] = plane.a * px[i] + plane.b * py[i] + plane.c * pz[i] + plane.d;
        for (std::size_t i = 0; i < count; ++i) {
            // Written as a rejection, so that NaN goes on to the whole test.
            if (d[i] * d[i + 1] > kKmtEpsilon) continue;
            if (visit(starts_[i], d[i], d[i + 1])) return true;
        }
        return false;
    }

private:
    void push(const Point3& p) {
        px_.push_back(p.x);
        py_.push_back(p.y);
        pz_.push_back(p.z);
    }

    std::vector<std::uint32_t> starts_;
    std::vector<double> px_, py_, pz_;
    mutable std::vector<double> distance_;
};

// The triangle of cur; returns false when it is degenerate (|N| < 1e-7).
inline bool triangle_of(const Point3& prev, const Point3& cur, const Point3& next, Plane& plane) {
    const Point3 normal = cross(sub(cur, prev), sub(next, prev));
    const double len = length(normal);
    if (len < kKmtEpsilon) return false;  // a NaN normal is not degenerate
    plane = triangle_plane(prev, normal, len);
    return true;
}

}  // namespace skeinlab::kmt_detail
