#include "kmt_windows.hpp"

#include "cancel.hpp"
#include "kmt_chain.hpp"
#include "segment_tree.hpp"

namespace skeinlab {

using kmt_detail::kNone;
using kmt_detail::LinkedChain;
using kmt_detail::PlaneTest;
using kmt_detail::triangle_of;
using kmt_detail::wrap;

KmtReference::~KmtReference() = default;
KmtReference::KmtReference(KmtReference&&) noexcept = default;
KmtReference& KmtReference::operator=(KmtReference&&) noexcept = default;

KmtReference::KmtReference(Chain chain, const RingBlockers* ring, std::size_t offset)
    : chain_(std::move(chain)), ring_(ring), offset_(offset) {
    const std::size_t n = chain_.size();
    if (n < 3) return;
    if (!ring_) {
        own_ = std::make_unique<RingBlockers>(chain_);
        ring_ = own_.get();
    }
    offset_ %= ring_->size();
    tree_ = std::make_unique<kmt_detail::SegmentTree>(chain_);
    // The same loop as kmt_open_chain, collecting every blocker of a kept vertex.
    const std::size_t last = n - 1;
    LinkedChain open(chain_, false);
    kmt_detail::PassedSegments passed;
    RingBlockers::Cursor fan;
    for (std::uint32_t pass = 0;; ++pass) {
        const std::size_t start_length = open.size();
        std::size_t cur = open.next(0);
        std::size_t steps = 0;
        while (cur != last) {
            if (++steps % 256 == 0) cancellation_point();
            const std::size_t before = open.prev(cur);
            const std::size_t after = open.next(cur);
            Step step;
            step.cur = static_cast<std::uint32_t>(cur);
            step.pass = pass;
            step.blockers_begin = static_cast<std::uint32_t>(blockers_.size());
            bool blocked = false;
            Plane plane;
            if (triangle_of(open.point(before), open.point(cur), open.point(after), plane)) {
                const std::size_t skip[3] = {before, cur, kNone};
                std::size_t found = 0;
                if (pass == 0) {
                    const Point3 &p = open.point(before), &q = open.point(cur), &r = open.point(after);
                    const auto collect = [&](std::size_t x, double ds, double dt) {
                        if (!judge_triangle(p, q, r, open.point(x), open.point(open.next(x)), ds, dt)) return false;
                        blockers_.push_back(static_cast<std::uint32_t>(x));
                        return ++found > kMaxBlockers;
                    };
                    // The passed segments, then the original ones ahead (x, x + 1)
                    // from the first that blocks, which the shared memo knows.
                    if (!passed.any(plane, collect)) {
                        const std::uint32_t first = first_blocker_ahead(before, cur, last, plane, fan);
                        if (first != UINT32_MAX)
                            tree_->any_crossing(first, last - 1, PlaneTest(plane, tree_->extent()), collect);
                    }
                } else {
                    found = open.collect_blockers(open.point(before), open.point(cur), open.point(after), plane,
                                                  skip, blockers_, kMaxBlockers);
                }
                blocked = found > 0;
                step.complete = found <= kMaxBlockers;
            } else {
                step.degenerate = true;
            }
            step.blockers_end = static_cast<std::uint32_t>(blockers_.size());
            step.deleted = !blocked;
            steps_.push_back(step);
            if (!blocked) open.erase(cur);
            else if (pass == 0) passed.append(before, open.point(before), open.point(cur));
            cur = after;
        }
        if (open.size() == start_length || open.size() < 3) break;
        open.rebuild_boxes();
    }
}

namespace {

// The reference's state during a replay: the whole chain as a linked list,
// advanced one recorded step at a time.
struct ReferenceState {
    std::vector<std::uint32_t> next, prev;
    std::vector<std::uint8_t> alive;

    explicit ReferenceState(std::size_t n) : next(n), prev(n), alive(n, 1) {
        for (std::size_t i = 0; i < n; ++i) {
            next[i] = static_cast<std::uint32_t>(i + 1);
            prev[i] = static_cast<std::uint32_t>(i - 1);  // never read for the first point
        }
    }
};

// The window's segments (x, next(x)) that the reference does not have at the
// moment: x alive in the window and either deleted in the reference or
// joined there to another point. Kept as flags and a list without repeats.
class Differences {
public:
    explicit Differences(std::size_t m) : flag_(m, 0), listed_(m, 0) {}

    std::size_t count() const { return count_; }
    bool has(std::size_t x) const { return flag_[x] != 0; }

    void set(std::size_t x, bool differs) {
        if (differs == (flag_[x] != 0)) return;
        flag_[x] = differs;
        if (differs) {
            ++count_;
            if (!listed_[x]) {
                listed_[x] = 1;
                list_.push_back(static_cast<std::uint32_t>(x));
            }
        } else {
            --count_;
        }
    }

    // Calls f(x) for every flagged x until f returns true; drops unflagged entries.
    template <class F>
    bool any(F f) {
        if (list_.size() > 2 * count_ + 16) {
            std::size_t kept = 0;
            for (const std::uint32_t x : list_) {
                if (flag_[x]) list_[kept++] = x;
                else listed_[x] = 0;
            }
            list_.resize(kept);
        }
        for (const std::uint32_t x : list_)
            if (flag_[x] && f(x)) return true;
        return false;
    }

private:
    std::vector<std::uint8_t> flag_, listed_;
    std::vector<std::uint32_t> list_;
    std::size_t count_ = 0;
};

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
        if (!earlier_) return;
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

}  // namespace

std::uint32_t KmtReference::first_blocker_ahead(std::size_t anchor, std::size_t j, std::size_t before,
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

Chain KmtReference::reduce_window(std::size_t s, std::size_t e, std::span<const WindowTrace* const> earlier,
                                  WindowTrace* record) const {
    Chain window(chain_.begin() + static_cast<std::ptrdiff_t>(s), chain_.begin() + static_cast<std::ptrdiff_t>(e) + 1);
    const std::size_t m = window.size();
    if (m < 3) return window;
    const std::size_t last = m - 1;
    LinkedChain w(std::move(window), false, &tree_->extent());
    ReferenceState ref(chain_.size());
    Differences differs(m);
    kmt_detail::PassedSegments passed;
    RingBlockers::Cursor fan;

    // This window's first pass (its kept points at least), and whether it
    // runs in step with the previous window's.
    WindowTrace own;
    WindowTrace& trace = record ? *record : own;
    trace.s = s;
    trace.e = e;
    trace.kept.assign(1, static_cast<std::uint32_t>(s));
    if (record) {
        trace.anchor.assign(m, UINT32_MAX);
        trace.outcome.assign(m, WindowTrace::kUnseen);
        trace.what.assign(m, 0);
    }
    std::vector<InStep> in_step(earlier.begin(), earlier.end());
    for (InStep& other : in_step) other.kept(trace.kept);

    // Window positions are local (0 .. m-1); the reference's are global.
    const auto in_window = [&](std::size_t g) { return g >= s && g <= e; };
    const auto refresh = [&](std::size_t x) {
        bool differ = false;
        if (w.alive(x) && x != last) {
            const std::size_t g = s + x;
            differ = !ref.alive[g] || ref.next[g] != s + w.next(x);
        }
        differs.set(x, differ);
    };
    const auto apply = [&](const Step& step) {
        if (!step.deleted) return;
        const std::uint32_t g = step.cur;
        const std::uint32_t p = ref.prev[g];
        const std::uint32_t q = ref.next[g];
        ref.next[p] = q;
        ref.prev[q] = p;
        ref.alive[g] = 0;
        if (in_window(g)) refresh(g - s);
        if (in_window(p)) refresh(p - s);
    };

    // Per point of the window, the triangle it had and the segment that
    // blocked it, when a later pass found one.
    struct Blocking {
        std::size_t before = kNone, after = kNone, x = kNone, next = kNone;
    };
    std::vector<Blocking> blocking;

    std::size_t t = 0;
    for (std::uint32_t pass = 0;; ++pass) {
        const std::size_t start_length = w.size();
        while (t < steps_.size() && steps_[t].pass < pass) apply(steps_[t++]);
        std::size_t cur = w.next(0);
        std::size_t steps = 0;
        while (cur != last) {
            if (++steps % 256 == 0) cancellation_point();
            const std::size_t g = s + cur;
            while (t < steps_.size() && steps_[t].pass == pass && steps_[t].cur < g) apply(steps_[t++]);
            const Step* step =
                t < steps_.size() && steps_[t].pass == pass && steps_[t].cur == g ? &steps_[t] : nullptr;
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
            if (step && ref.prev[g] == s + before && ref.next[g] == s + after &&
                differs.count() <= std::max(kMaxDifferences, w.size() / 2)) {
                // The same triangle as the reference's (degenerate there, so
                // here). A recorded blocker that the window has unchanged
                // blocks here too.
                decided = step->degenerate;
                for (std::uint32_t k = step->blockers_begin; k < step->blockers_end && !blocked; ++k) {
                    const std::size_t b = blockers_[k];
                    blocked = in_window(b) && b != e && w.alive(b - s) && !differs.has(b - s);
                }
                // Otherwise every unchanged segment is known not to block;
                // only the changed ones are tested, against the plane.
                if (!decided && (blocked || step->deleted || step->complete)) {
                    if (!blocked && differs.count() > 0 && triangle_of(p, q, r, plane)) {
                        if (pass == 0 && 4 * differs.count() > passed.size()) {
                            // In the first pass the segments ahead are the
                            // reference's too, so the changed ones are passed
                            // ones: when they are many, their plane distances
                            // come in one loop over the passed segments.
                            blocked = passed.any(plane, [&](std::size_t x, double ds, double dt) {
                                if (!differs.has(x) || !judge_triangle(p, q, r, w.point(x), w.point(w.next(x)), ds, dt))
                                    return false;
                                outcome = WindowTrace::kBlockedByPassed;
                                what = static_cast<std::uint32_t>(s + x);
                                return true;
                            });
                        } else {
                            blocked = differs.any([&](std::size_t x) {
                                if (x == before || x == cur || !w.segment_blocks(x, p, q, r, plane)) return false;
                                outcome = WindowTrace::kBlockedByPassed;
                                what = static_cast<std::uint32_t>(s + x);
                                return true;
                            });
                        }
                    }
                    decided = true;
                }
            }
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
            if (decided && pass == 0) {
                if (step->degenerate) {
                    outcome = WindowTrace::kDegenerate;
                } else if (blocked && outcome == WindowTrace::kDeleted) {
                    // By a recorded blocker (the first listed that the window has).
                    for (std::uint32_t k = step->blockers_begin; k < step->blockers_end; ++k) {
                        const std::size_t b = blockers_[k];
                        if (in_window(b) && b != e && w.alive(b - s) && !differs.has(b - s)) {
                            outcome = b < g ? WindowTrace::kBlockedByPassed : WindowTrace::kBlockedAhead;
                            what = static_cast<std::uint32_t>(b);
                            break;
                        }
                    }
                }
            }
            // An earlier window in step with this one, with the same triangle.
            const WindowTrace* previous = nullptr;
            std::size_t own_segments = SIZE_MAX, here = 0;
            if (!decided && pass == 0) {
                for (const InStep& other : in_step) {
                    const WindowTrace& then = *other.earlier();
                    if (other.own_segments() == SIZE_MAX || g <= then.s || g >= then.e ||
                        then.anchor[g - then.s] != s + before)
                        continue;
                    previous = &then;
                    own_segments = other.own_segments();
                    here = g - then.s;
                    break;
                }
            }
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
                    // previous end (the first blocker ahead, if any, lies
                    // beyond this window's end): the window's own passed
                    // segments, then what lies ahead between the two ends.
                    decided = true;
                    blocked = blocking_passed(own_segments);
                    if (!blocked && e > previous->e) {
                        if (e - previous->e <= kMaxDifferences) {
                            for (std::size_t x = previous->e; x < e && !blocked; ++x) {
                                const Point3 &a = chain_[x], &b = chain_[x + 1];
                                blocked = judge_triangle(p, q, r, a, b, plane.signed_distance(a),
                                                         plane.signed_distance(b));
                                what = static_cast<std::uint32_t>(x);
                            }
                        } else {
                            what = first_blocker_ahead(s + before, g, e, plane, fan);
                            blocked = what < e;
                        }
                        if (blocked) outcome = WindowTrace::kBlockedAheadOnly;
                    }
                }
            }
            if (!decided && triangle_of(p, q, r, plane)) {
                const std::size_t skip[3] = {before, cur, kNone};
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
                    // The segment that blocked this point in an earlier pass
                    // blocks it again while the triangle and that segment
                    // are the same.
                    if (blocking.empty()) blocking.assign(m, Blocking{});
                    Blocking& known = blocking[cur];
                    blocked = known.before == before && known.after == after && known.x != kNone &&
                              w.alive(known.x) && w.next(known.x) == known.next;
                    if (!blocked) {
                        const std::size_t x = w.first_blocker(p, q, r, plane, skip);
                        blocked = x != kNone;
                        known = blocked ? Blocking{before, after, x, w.next(x)} : Blocking{};
                    }
                }
            } else if (!decided && pass == 0) {
                outcome = WindowTrace::kDegenerate;
            }
            if (record && pass == 0) {
                trace.anchor[cur] = static_cast<std::uint32_t>(s + before);
                trace.outcome[cur] = outcome;
                trace.what[cur] = what;
            }
            if (step) apply(steps_[t++]);
            if (!blocked) {
                w.erase(cur);
                differs.set(cur, false);
                refresh(before);
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
