#include "reduction/kmt.hpp"

#include <algorithm>
#include <cmath>

#include "reduction/kmt_chain.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {

using kmt_detail::kNone;
using kmt_detail::LinkedChain;
using kmt_detail::triangle_of;

void kmt_ring(Chain& chain) {
    if (chain.size() < 3) return;
    LinkedChain ring(std::move(chain), true);
    for (;;) {
        const std::size_t start_length = ring.size();
        std::size_t cur = ring.first_alive();
        std::size_t kept = 0;
        std::size_t steps = 0;
        while (ring.size() >= 3) {
            if (++steps % 256 == 0) cancellation_point();
            const std::size_t before = ring.prev(cur);
            const std::size_t after = ring.next(cur);
            Plane plane;
            bool blocked = false;
            if (triangle_of(ring.point(before), ring.point(cur), ring.point(after), plane)) {
                // Every segment but the two at cur and the one leaving next.
                const std::size_t skip[3] = {before, cur, after};
                blocked = ring.any_blocks(ring.point(before), ring.point(cur), ring.point(after), plane, skip);
            }
            if (blocked) {
                cur = after;
                if (++kept >= ring.size()) break;
            } else {
                ring.erase(cur);
                kept = 0;
                cur = after;  // the point that moved into this position
            }
        }
        if (ring.size() == start_length || ring.size() < 3) break;
        ring.rebuild_boxes();
    }
    chain = ring.alive_points();
}

void kmt_open_chain(Chain& chain, std::vector<KmtMove>* moves) {
    if (chain.size() < 3) return;
    const std::size_t last = chain.size() - 1;
    LinkedChain open(std::move(chain), false);
    for (;;) {
        const std::size_t start_length = open.size();
        std::size_t cur = open.next(0);
        std::size_t steps = 0;
        while (cur != last) {
            if (++steps % 256 == 0) cancellation_point();
            const std::size_t before = open.prev(cur);
            const std::size_t after = open.next(cur);
            Plane plane;
            bool blocked = false;
            const bool proper = triangle_of(open.point(before), open.point(cur), open.point(after), plane);
            if (proper) {
                // Every segment but the triangle's own two edges.
                const std::size_t skip[3] = {before, cur, kNone};
                blocked = open.any_blocks(open.point(before), open.point(cur), open.point(after), plane, skip);
            }
            if (!blocked) {
                if (moves && proper)
                    moves->push_back(
                        {open.point(before), open.point(cur), open.point(after), plane, before, cur, after});
                open.erase(cur);
            }
            cur = after;
        }
        if (open.size() == start_length || open.size() < 3) break;
        open.rebuild_boxes();
    }
    chain = open.alive_points();
}

void kmt_rings(std::vector<Chain>& rings) {
    Chain all;
    std::vector<std::size_t> ends;
    for (Chain& ring : rings) {
        drop_missing_points(ring);
        all.insert(all.end(), ring.begin(), ring.end());
        ends.push_back(all.size());
    }
    if (all.empty()) return;
    const int k = unit_exponent(all);
    scale_by_power_of_two(all, k);
    // The cautious test's tolerance: far above the rounding of the plane's
    // distances at these coordinates, far below any distance that matters.
    double largest = 0.0;
    for (const Point3& p : all) largest = std::max({largest, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    const double tolerance = std::ldexp(largest, -36), margin = 1e-9;
    LinkedChain linked(std::move(all), ends);
    std::vector<std::size_t> sizes(rings.size());
    for (std::size_t r = 0; r < rings.size(); ++r) sizes[r] = rings[r].size();
    std::size_t steps = 0;
    for (;;) {
        bool any = false;
        std::size_t start = 0;
        for (std::size_t r = 0; r < rings.size(); start = ends[r], ++r) {
            if (sizes[r] < 4) continue;
            std::size_t cur = start;
            while (!linked.alive(cur)) ++cur;
            std::size_t kept = 0;
            while (sizes[r] > 3) {
                if (++steps % 256 == 0) cancellation_point();
                const std::size_t before = linked.prev(cur);
                const std::size_t after = linked.next(cur);
                Plane plane;
                // A degenerate triangle is kept here: a segment of another
                // ring may pass through it.
                bool blocked = true;
                // The segments that share a vertex with the triangle are not
                // tested; one whose far end lies near the plane may lie in
                // the triangle: kept then.
                const auto near_plane = [&](std::size_t x) { return std::fabs(plane.signed_distance(linked.point(x))) <= tolerance; };
                if (triangle_of(linked.point(before), linked.point(cur), linked.point(after), plane) &&
                    !near_plane(linked.prev(before)) && !near_plane(linked.next(after))) {
                    const std::size_t skip[4] = {linked.prev(before), before, cur, after};
                    blocked = linked.first_blocker_cautious(linked.point(before), linked.point(cur), linked.point(after),
                                                            plane, skip, tolerance, margin) != kNone;
                }
                if (blocked) {
                    cur = after;
                    if (++kept >= sizes[r]) break;
                } else {
                    linked.erase(cur);
                    --sizes[r];
                    any = true;
                    kept = 0;
                    cur = after;
                }
            }
        }
        if (!any) break;
        linked.rebuild_boxes();
    }
    Chain left = linked.alive_points();
    scale_by_power_of_two(left, -k);
    std::size_t at = 0;
    for (std::size_t r = 0; r < rings.size(); ++r) {
        rings[r].assign(left.begin() + static_cast<std::ptrdiff_t>(at), left.begin() + static_cast<std::ptrdiff_t>(at + sizes[r]));
        at += sizes[r];
    }
}

void kmt_reduce(Chain& chain, bool ring) {
    drop_missing_points(chain);
    const int k = unit_exponent(chain);
    scale_by_power_of_two(chain, k);
    if (ring)
        kmt_ring(chain);
    else
        kmt_open_chain(chain);
    scale_by_power_of_two(chain, -k);
}

}  // namespace skeinlab
