#include "geometry/crossings.hpp"

#include <algorithm>
#include <cmath>

#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

struct SegmentBox {
    double lo_x, hi_x, lo_y, hi_y;
    std::size_t index;
};

// Whether segments P1-P2 and P3-P4, which the crossing test passed over, meet
// within its tolerance band at an end of either: their fractions, computed as
// the test computes them, lie in [-1e-6, 1 + 1e-6]. Pairs the test passes over
// as (nearly) parallel, |D| < 1e-7, are not looked at.
bool meets_near_an_end(const Point3& p1, const Point3& p2, const Point3& p3, const Point3& p4) {
    const ProjectedMeeting m = projected_meeting(p1, p2, p3, p4);
    return !m.parallel && -1e-6 <= m.s && m.s <= 1.0 + 1e-6 && -1e-6 <= m.u && m.u <= 1.0 + 1e-6;
}

void add_pair(const Chain& pts, std::size_t i, std::size_t j, std::vector<std::vector<CrossingRecord>>& rows,
              bool* dropped) {
    const Intersection ij = intersect_projected(pts[i], pts[i + 1], pts[j], pts[j + 1]);
    if (ij.crosses) rows[i].push_back({j, ij});
    const Intersection ji = intersect_projected(pts[j], pts[j + 1], pts[i], pts[i + 1]);
    if (ji.crosses) rows[j].push_back({i, ji});
    // Segments joined at a point (neighbours, a ring's last and first) always
    // touch there: only others count.
    const bool joined = pts[i + 1] == pts[j] || pts[j + 1] == pts[i];
    if (dropped && !*dropped && !ij.crosses && !joined)
        *dropped = ji.crosses || meets_near_an_end(pts[i], pts[i + 1], pts[j], pts[j + 1]);
    else if (dropped && ij.crosses != ji.crosses)
        *dropped = true;
}

}  // namespace

std::vector<std::vector<CrossingRecord>> find_crossings(const Chain& pts, bool* dropped) {
    if (dropped) *dropped = false;
    const std::size_t segments = pts.size() < 2 ? 0 : pts.size() - 1;
    std::vector<std::vector<CrossingRecord>> rows(segments);

    // A segment with a non-finite plane coordinate never crosses: its D, s or
    // u is NaN or infinite, or s is 0, so every such pair fails the test.
    std::vector<SegmentBox> boxes;
    boxes.reserve(segments);
    double longest = 0.0;    // largest projected extent of a segment
    double magnitude = 0.0;  // largest projected coordinate
    for (std::size_t i = 0; i < segments; ++i) {
        const Point3& a = pts[i];
        const Point3& b = pts[i + 1];
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) continue;
        boxes.push_back({std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y), std::max(a.y, b.y), i});
        longest = std::max({longest, std::fabs(b.x - a.x), std::fabs(b.y - a.y)});
        magnitude = std::max({magnitude, std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)});
    }

    // Rounding bound. D and both numerators are differences of two products of
    // coordinate differences; their computed values are within E_D = 1e-14 L^2
    // and E_N = 1e-14 L S of the exact ones (L the longest segment extent, S the
    // largest coordinate; a few units of 2^-53 would do). When E_D < 0.5e-7,
    // any pair that passes |D| >= 1e-7 has |D_exact| >= 0.5e-7, so an accepted
    // fraction s lies within sigma = (E_N + E_D) / 0.5e-7 of [0, 1] exactly, and
    // the lines' exact meeting point lies in both segments' boxes widened by
    // sigma * L. Boxes farther apart than that cannot hold a reported crossing.
    const double e_d = 1e-14 * longest * longest;
    const double e_n = 1e-14 * longest * magnitude;
    const double sigma = (e_n + e_d) / 0.5e-7;
    const double margin = 2.0 * sigma * longest + 1e-12 * magnitude;
    const bool prune = e_d < 0.5e-7 && std::isfinite(margin) && boxes.size() > 16;

    if (!prune) {
        for (std::size_t a = 0; a < boxes.size(); ++a) {
            if (a % 64 == 0) cancellation_point();
            for (std::size_t b = a + 1; b < boxes.size(); ++b) add_pair(pts, boxes[a].index, boxes[b].index, rows, dropped);
        }
    } else {
        for (SegmentBox& box : boxes) {
            box.lo_x -= margin;
            box.hi_x += margin;
            box.lo_y -= margin;
            box.hi_y += margin;
        }
        std::sort(boxes.begin(), boxes.end(), [](const SegmentBox& p, const SegmentBox& q) {
            return p.lo_x < q.lo_x || (p.lo_x == q.lo_x && p.index < q.index);
        });
        for (std::size_t a = 0; a < boxes.size(); ++a) {
            if (a % 64 == 0) cancellation_point();
            for (std::size_t b = a + 1; b < boxes.size() && boxes[b].lo_x <= boxes[a].hi_x; ++b) {
                if (boxes[b].lo_y > boxes[a].hi_y || boxes[a].lo_y > boxes[b].hi_y) continue;
                const std::size_t i = std::min(boxes[a].index, boxes[b].index);
                const std::size_t j = std::max(boxes[a].index, boxes[b].index);
                add_pair(pts, i, j, rows, dropped);
            }
        }
    }

    // The walk meets the crossings of a segment by their position along it;
    // equal positions keep ascending column order.
    for (auto& row : rows) {
        std::sort(row.begin(), row.end(), [](const CrossingRecord& p, const CrossingRecord& q) {
            const double mp = std::fabs(p.record.signed_position);
            const double mq = std::fabs(q.record.signed_position);
            return mp < mq || (mp == mq && p.other < q.other);
        });
    }
    return rows;
}

}  // namespace skeinlab
