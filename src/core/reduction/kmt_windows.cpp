#include "reduction/kmt_windows.hpp"

#include <algorithm>

#include "reduction/kmt_chain.hpp"
#include "reduction/segment_tree.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {

using kmt_detail::kNone;
using kmt_detail::LinkedChain;
using kmt_detail::triangle_of;
using kmt_detail::wrap;

WindowReducer::~WindowReducer() = default;
WindowReducer::WindowReducer(WindowReducer&&) noexcept = default;
WindowReducer& WindowReducer::operator=(WindowReducer&&) noexcept = default;

WindowReducer::WindowReducer(Chain chain, const RingBlockers* ring, std::size_t offset)
    : chain_(std::move(chain)), ring_(ring), offset_(offset) {
    if (chain_.size() < 3) return;
    if (!ring_) {
        own_ = std::make_unique<RingBlockers>(chain_);
        ring_ = own_.get();
    }
    offset_ %= ring_->size();
    tree_ = std::make_unique<kmt_detail::SegmentTree>(chain_);
}

namespace {

// Whether a window's first pass runs in step with an earlier window's: the
// two have kept the same points, up to the window's last kept point, since
// some point. Then the window's passed segments are the earlier one's but
// for the first few, which are its own.
class InStep {
public:
    explicit InStep(const WindowTrace* earlier) : earlier_(earlier) {}

    const WindowTrace* earlier() const { return earlier_; }

    // After the window has kept the points `kept` (its start first).
    void kept(const std::vector<std::uint32_t>& kept) {
        const std::vector<std::uint32_t>& theirs = earlier_->kept;
        const std::size_t k = kept.size() - 1;
        const auto found = std::lower_bound(theirs.begin(), theirs.end(), kept[k]);
        if (found == theirs.end() || *found != kept[k]) {
            own_ = SIZE_MAX;
            return;
        }
        const std::size_t at = static_cast<std::size_t>(found - theirs.begin());
        if (own_ != SIZE_MAX && k > 0 && at > 0 && theirs[at - 1] == kept[k - 1]) return;  // still in step
        std::size_t i = k, j = at;
        while (i > 0 && j > 0 && kept[i - 1] == theirs[j - 1]) --i, --j;
        own_ = i;
    }

    // How many of the window's passed segments, from the first, the earlier
    // window lacks (the others it has too); SIZE_MAX when not in step.
    std::size_t own_segments() const { return own_; }

private:
    const WindowTrace* earlier_;
    std::size_t own_ = SIZE_MAX;
};

// An earlier window in step with this one whose first pass had the same
// triangle at global point g (the same anchor before it): its trace, how
// many of this window's passed segments it lacks, and g's place in it.
struct EarlierTriangle {
    const WindowTrace* trace = nullptr;
    std::size_t own_segments = SIZE_MAX;
    std::size_t here = 0;
};

EarlierTriangle earlier_triangle(const std::vector<InStep>& in_step, std::size_t g, std::size_t anchor) {
    for (const InStep& other : in_step) {
        const WindowTrace& then = *other.earlier();
        if (other.own_segments() == SIZE_MAX || g <= then.s || g >= then.e || then.anchor[g - then.s] != anchor)
            continue;
        return {&then, other.own_segments(), g - then.s};
    }
    return {};
}

// A window's trace before its first pass: only its start kept; with `full`,
// every point unseen.
void start_trace(WindowTrace& trace, std::size_t s, std::size_t e, bool full) {
    trace.s = s;
    trace.e = e;
    trace.kept.assign(1, static_cast<std::uint32_t>(s));
    if (!full) return;
    const std::size_t m = e - s + 1;
    trace.anchor.assign(m, UINT32_MAX);
    trace.outcome.assign(m, WindowTrace::kUnseen);
    trace.what.assign(m, 0);
}

// Per point of a window, the triangle it had in a later pass and the segment
// that blocked it there.
struct Blocking {
    std::size_t before = kNone, after = kNone, x = kNone, next = kNone;
};

// In a later pass: whether the triangle (before, cur, after) is blocked. The
// segment that blocked it in an earlier pass blocks it again while the
// triangle and that segment are the same; else the chain is searched.
bool blocked_again(const LinkedChain& w, std::vector<Blocking>& blocking, std::size_t points, std::size_t before,
                   std::size_t cur, std::size_t after, const Plane& plane) {
    if (blocking.empty()) blocking.assign(points, Blocking{});
    Blocking& known = blocking[cur];
    if (known.before == before && known.after == after && known.x != kNone && w.alive(known.x) &&
        w.next(known.x) == known.next)
        return true;
    const std::size_t skip[3] = {before, cur, kNone};
    const std::size_t x = w.first_blocker(w.point(before), w.point(cur), w.point(after), plane, skip);
    known = x != kNone ? Blocking{before, after, x, w.next(x)} : Blocking{};
    return x != kNone;
}

}  // namespace

std::uint32_t WindowReducer::blocker_between(const Point3& p, const Point3& q, const Point3& r, const Plane& plane,
                                             std::size_t from, std::size_t to, std::size_t anchor, std::size_t g,
                                             RingBlockers::Cursor& fan, bool& blocked) const {
    blocked = false;
    if (to - from > kFurtherByHand) {
        const std::uint32_t what = first_blocker_ahead(anchor, g, to, plane, fan);
        blocked = what < to;
        return what;
    }
    std::uint32_t what = 0;
    for (std::size_t x = from; x < to && !blocked; ++x) {
        const Point3 &a = chain_[x], &b = chain_[x + 1];
        blocked = judge_triangle(p, q, r, a, b, plane.signed_distance(a), plane.signed_distance(b));
        what = static_cast<std::uint32_t>(x);
    }
    return what;
}

std::uint32_t WindowReducer::first_blocker_ahead(std::size_t anchor, std::size_t j, std::size_t before,
                                                 const Plane& plane, RingBlockers::Cursor& cursor) const {
    // The ring's first blocker from j + 1 round to the anchor, among the
    // segments before `before` (this chain's segment n - 1 would join its
    // last point to its first). Nothing blocks before the ring's answer, so
    // a later one means none here.
    const std::size_t n = ring_->size();
    if (j + 1 >= before) return UINT32_MAX;
    const std::uint32_t k =
        ring_->first_ahead(wrap(anchor + offset_, n), wrap(j + offset_, n), before - 1 - j, plane, cursor);
    return k == UINT32_MAX ? k : static_cast<std::uint32_t>(wrap(k + n - offset_, n));
}

Chain WindowReducer::reduce_window(std::size_t s, std::size_t e, std::span<const WindowTrace* const> earlier,
                                   WindowTrace* record) const {
    Chain window(chain_.begin() + static_cast<std::ptrdiff_t>(s), chain_.begin() + static_cast<std::ptrdiff_t>(e) + 1);
    const std::size_t m = window.size();
    if (m < 3) return window;
    const std::size_t last = m - 1;
    // Window positions are local (0 .. m-1); the chain's are global.
    LinkedChain w(std::move(window), false, &tree_->extent());
    kmt_detail::PassedSegments passed;
    RingBlockers::Cursor fan;

    // This window's first pass (its kept points at least), and whether it
    // runs in step with the earlier windows'.
    WindowTrace own;
    WindowTrace& trace = record ? *record : own;
    start_trace(trace, s, e, record != nullptr);
    std::vector<InStep> in_step(earlier.begin(), earlier.end());
    for (InStep& other : in_step) other.kept(trace.kept);

    std::vector<Blocking> blocking;  // for the later passes

    for (std::uint32_t pass = 0;; ++pass) {
        const std::size_t start_length = w.size();
        std::size_t cur = w.next(0);
        std::size_t steps = 0;
        while (cur != last) {
            if (++steps % 256 == 0) cancellation_point();
            const std::size_t g = s + cur;
            const std::size_t before = w.prev(cur);
            const std::size_t after = w.next(cur);
            const Point3& p = w.point(before);
            const Point3& q = w.point(cur);
            const Point3& r = w.point(after);
            Plane plane;
            bool blocked = false;
            bool decided = false;
            // What the first pass records of this decision.
            WindowTrace::Outcome outcome = WindowTrace::kDeleted;
            std::uint32_t what = 0;
            const auto blocking_passed = [&](std::size_t limit) {
                return passed.any(
                    plane,
                    [&](std::size_t x, double ds, double dt) {
                        if (!judge_triangle(p, q, r, w.point(x), w.point(w.next(x)), ds, dt)) return false;
                        outcome = WindowTrace::kBlockedByPassed;
                        what = static_cast<std::uint32_t>(s + x);
                        return true;
                    },
                    limit);
            };

            // An earlier window in step with this one, with the same triangle.
            const EarlierTriangle earlier_one = pass == 0 ? earlier_triangle(in_step, g, s + before) : EarlierTriangle{};
            const WindowTrace* previous = earlier_one.trace;
            const std::size_t own_segments = earlier_one.own_segments, here = earlier_one.here;
            if (previous) {
                const std::uint8_t then = previous->outcome[here];
                const std::uint32_t then_what = previous->what[here];
                const bool shared = then == WindowTrace::kBlockedByPassed && then_what >= trace.kept[own_segments];
                const bool ahead = then == WindowTrace::kBlockedAhead || then == WindowTrace::kBlockedAheadOnly;
                if (then == WindowTrace::kDegenerate) {
                    decided = true;
                    outcome = WindowTrace::kDegenerate;
                } else if (shared || (ahead && then_what < e)) {
                    // A passed segment both have, or the first blocker ahead within this window.
                    decided = blocked = true;
                    outcome = shared ? WindowTrace::kBlockedByPassed : WindowTrace::kBlockedAhead;
                    what = then_what;
                } else if ((then == WindowTrace::kDeleted || then == WindowTrace::kBlockedAheadOnly) &&
                           triangle_of(p, q, r, plane)) {
                    // No segment both have blocks, nor one ahead before the
                    // earlier end (the first blocker ahead, if any, lies
                    // beyond this window's end): the window's own passed
                    // segments, then what lies ahead between the two ends.
                    decided = true;
                    blocked = blocking_passed(own_segments);
                    if (!blocked && e > previous->e) {
                        what = blocker_between(p, q, r, plane, previous->e, e, s + before, g, fan, blocked);
                        if (blocked) outcome = WindowTrace::kBlockedAheadOnly;
                    }
                }
            }
            if (!decided && triangle_of(p, q, r, plane)) {
                if (pass == 0) {
                    // The passed segments, then the first blocker among the
                    // original segments ahead, if it lies in the window.
                    blocked = blocking_passed(SIZE_MAX);
                    if (!blocked) {
                        what = first_blocker_ahead(s + before, g, e, plane, fan);
                        blocked = what < e;
                        if (blocked) outcome = WindowTrace::kBlockedAheadOnly;
                    }
                } else {
                    blocked = blocked_again(w, blocking, m, before, cur, after, plane);
                }
            } else if (!decided) {
                outcome = WindowTrace::kDegenerate;
            }
            if (record && pass == 0) {
                trace.anchor[cur] = static_cast<std::uint32_t>(s + before);
                trace.outcome[cur] = outcome;
                trace.what[cur] = what;
            }
            if (!blocked) {
                w.erase(cur);
            } else if (pass == 0) {
                passed.append(before, p, q);
                trace.kept.push_back(static_cast<std::uint32_t>(g));
                for (InStep& other : in_step) other.kept(trace.kept);
            }
            cur = after;
        }
        if (w.size() == start_length || w.size() < 3) break;
        w.rebuild_boxes();
    }
    return w.alive_points();
}

}  // namespace skeinlab
