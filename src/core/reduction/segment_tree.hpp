// The tree of a fixed chain's segments that the first pass of KMT reduction
// searches for the segments ahead of a triangle that may block it.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "reduction/kmt_chain.hpp"

namespace skeinlab::kmt_detail {

// A fixed chain's segments (x, x + 1) in leaves of kLeaf, and levels of boxes
// over kFan leaves or boxes of the level below, for finding the segments of
// an index range that cross a triangle's plane without visiting the others.
// A leaf is bounded by its chord (from its first point to its last) and the
// largest distance of its points from the chord, which for a smooth stretch
// is far tighter than its box. Bounds and points are kept coordinate by
// coordinate, so that a plane is tested against a group of them in one loop.
class SegmentTree {
public:
    static constexpr std::size_t kLeaf = 8;
    static constexpr std::size_t kFan = 16;

    explicit SegmentTree(const Chain& pts) {
        for (const Point3& p : pts) extent_.add(p);
        segments_ = pts.size() > 1 ? pts.size() - 1 : 0;
        if (segments_ == 0) return;
        const auto padded = [](std::size_t count) { return (count + kFan - 1) / kFan * kFan; };
        std::vector<Box> boxes(padded((segments_ + kLeaf - 1) / kLeaf));
        for (std::size_t x = 0; x < segments_; ++x) {
            boxes[x / kLeaf].add(pts[x]);
            boxes[x / kLeaf].add(pts[x + 1]);
        }
        leaves_of(pts, boxes.size());
        for (std::size_t span = kLeaf;; span *= kFan) {
            levels_.push_back(level_of(boxes, span));
            if (boxes.size() == kFan) break;
            std::vector<Box> above(padded(boxes.size() / kFan));
            for (std::size_t i = 0; i < boxes.size(); ++i) above[i / kFan] = merged(above[i / kFan], boxes[i]);
            boxes = std::move(above);
        }
        const std::size_t points = levels_.front().cx.size() * kLeaf + 1;
        px_.assign(points, 0.0);
        py_.assign(points, 0.0);
        pz_.assign(points, 0.0);
        for (std::size_t i = 0; i < pts.size(); ++i) {
            px_[i] = pts[i].x;
            py_[i] = pts[i].y;
            pz_[i] = pts[i].z;
        }
    }

    const Extent& extent() const { return extent_; }

    // Calls visit(x, ds, dt) for the segments x in [lo, hi], in increasing
    // x, that do not fail the side test of judge_triangle (ds and dt are the
    // plane distances of points x and x + 1, as Plane::signed_distance
    // computes them), until visit returns true; returns whether it did.
    template <class Visit>
    bool any_crossing(std::size_t lo, std::size_t hi, const PlaneTest& test, Visit visit) const {
        if (segments_ == 0 || lo >= segments_ || lo > hi) return false;
        return descend(levels_.size() - 1, 0, lo, std::min(hi, segments_ - 1), test, visit);
    }

private:
    struct Level {
        std::vector<double> cx, cy, cz, hx, hy, hz;
        std::size_t span = 0;  // segments per box
    };

    // The chords' ends (point kLeaf i, or the chain's last point) and the
    // leaves' reach from their chords, with room for rounding; a leaf with a
    // missing point reaches everywhere, padding reaches NaN.
    void leaves_of(const Chain& pts, std::size_t count) {
        const std::size_t last = pts.size() - 1;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (std::size_t i = 0; i <= count; ++i) {
            const Point3& p = pts[std::min(i * kLeaf, last)];
            ex_.push_back(p.x);
            ey_.push_back(p.y);
            ez_.push_back(p.z);
        }
        const double allowance = 1e-12 * (extent_.x + extent_.y + extent_.z);
        reach_.assign(count, nan);
        for (std::size_t i = 0; i * kLeaf < last; ++i) {
            const Point3& a = pts[i * kLeaf];
            const Point3& b = pts[std::min((i + 1) * kLeaf, last)];
            const Point3 ab = sub(b, a);
            const double ab2 = dot(ab, ab);
            double reach = 0.0;
            for (std::size_t k = i * kLeaf; k <= std::min((i + 1) * kLeaf, last); ++k) {
                if (is_missing(pts[k])) {
                    reach = std::numeric_limits<double>::infinity();
                    break;
                }
                // The distance to the nearest point of the chord.
                const Point3 ap = sub(pts[k], a);
                const double t = ab2 > 0.0 ? std::clamp(dot(ap, ab) / ab2, 0.0, 1.0) : 0.0;
                reach = std::max(reach, length(sub(ap, {t * ab.x, t * ab.y, t * ab.z})));
            }
            reach_[i] = reach * (1.0 + 1e-9) + allowance;
        }
    }

    static Box merged(const Box& a, const Box& b) {
        Box m;
        m.finite = a.finite && b.finite;
        m.lo = {std::min(a.lo.x, b.lo.x), std::min(a.lo.y, b.lo.y), std::min(a.lo.z, b.lo.z)};
        m.hi = {std::max(a.hi.x, b.hi.x), std::max(a.hi.y, b.hi.y), std::max(a.hi.z, b.hi.z)};
        return m;
    }

    static Level level_of(const std::vector<Box>& boxes, std::size_t span) {
        Level level;
        level.span = span;
        const double inf = std::numeric_limits<double>::infinity();
        for (const Box& box : boxes) {
            // A box with a missing point is never clearly on one side: an
            // infinite half makes its reach infinite (or NaN). An empty box
            // (padding) has a NaN centre.
            const Point3 c = PlaneTest::centre_of(box);
            const Point3 h = box.finite ? PlaneTest::half_of(box) : Point3{inf, inf, inf};
            level.cx.push_back(c.x);
            level.cy.push_back(c.y);
            level.cz.push_back(c.z);
            level.hx.push_back(h.x);
            level.hy.push_back(h.y);
            level.hz.push_back(h.z);
        }
        return level;
    }

    // The boxes first .. first + kFan - 1 of level k, in order.
    template <class Visit>
    bool descend(std::size_t k, std::size_t first, std::size_t lo, std::size_t hi, const PlaneTest& test,
                 Visit& visit) const {
        const Level& level = levels_[k];
        // As PlaneTest::clearly_one_side, for the whole group at once: the
        // least distance from the plane, on one side, of the points of each
        // leaf (between its chord's ends, give or take its reach) or box.
        const Plane& pl = test.plane;
        double clearance[kFan];
        if (k == 0) {
            const double *ex = &ex_[first], *ey = &ey_[first], *ez = &ez_[first], *reach = &reach_[first];
            double end[kFan + 1];
            for (std::size_t i = 0; i <= kFan; ++i) end[i] = pl.a * ex[i] + pl.b * ey[i] + pl.c * ez[i] + pl.d;
            // A leaf whose chord ends on both sides has no clearance; one
            // with a missing end reaches infinitely far, padding NaN far.
            for (std::size_t i = 0; i < kFan; ++i)
                clearance[i] = std::max(std::min(end[i], end[i + 1]), -std::max(end[i], end[i + 1])) - reach[i];
        } else {
            const double *cx = &level.cx[first], *cy = &level.cy[first], *cz = &level.cz[first];
            const double *hx = &level.hx[first], *hy = &level.hy[first], *hz = &level.hz[first];
            for (std::size_t i = 0; i < kFan; ++i) {
                const double distance = pl.a * cx[i] + pl.b * cy[i] + pl.c * cz[i] + pl.d;
                const double reach = test.ax * hx[i] + test.ay * hy[i] + test.az * hz[i];
                clearance[i] = std::fabs(distance) - reach;
            }
        }
        // The boxes that hold segments of [lo, hi] and are not clearly on one side.
        const std::size_t from = std::max(lo / level.span, first) - first;
        const std::size_t to = std::min(hi / level.span, first + kFan - 1) - first;
        std::uint32_t open = 0;
        for (std::size_t i = 0; i < kFan; ++i)
            open |= static_cast<std::uint32_t>(!(clearance[i] > test.threshold)) << i;
        open &= ((2u << to) - 1) & ~((1u << from) - 1);
        while (open != 0) {
            const std::size_t b = first + static_cast<std::size_t>(std::countr_zero(open));
            open &= open - 1;
            if (k == 0 ? leaf(b * kLeaf, lo, hi, test, visit) : descend(k - 1, b * kFan, lo, hi, test, visit))
                return true;
        }
        return false;
    }

    // The segments of the leaf that starts at segment x0.
    template <class Visit>
    bool leaf(std::size_t x0, std::size_t lo, std::size_t hi, const PlaneTest& test, Visit& visit) const {
        const Plane& pl = test.plane;
        double d[kLeaf + 1];
        for (std::size_t i = 0; i <= kLeaf; ++i)
            d[i] = pl.a * px_[x0 + i] + pl.b * py_[x0 + i] + pl.c * pz_[x0 + i] + pl.d;
        const std::size_t end = std::min(hi, x0 + kLeaf - 1);
        for (std::size_t x = std::max(lo, x0); x <= end; ++x) {
            const double ds = d[x - x0], dt = d[x - x0 + 1];
            // Written as a rejection, so that NaN goes on to the whole test.
            if (ds * dt > kKmtEpsilon) continue;
            if (visit(x, ds, dt)) return true;
        }
        return false;
    }

    std::size_t segments_ = 0;
    std::vector<Level> levels_;  // leaves first; the last has kFan boxes
    std::vector<double> px_, py_, pz_;
    std::vector<double> ex_, ey_, ez_, reach_;  // leaves' chords
    Extent extent_;
};

}  // namespace skeinlab::kmt_detail
