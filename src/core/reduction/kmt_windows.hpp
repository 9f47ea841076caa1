// Open-chain KMT reduction of many windows of one chain.
//
// A window is reduced by the same procedure as kmt_open_chain on a copy of
// its points, with the same result, but with less work:
// - the first pass of a window is traced, and a later window follows the
//   traces of the windows reduced just before it wherever the two keep the
//   same points: a decision there is the earlier one's, unless a passed
//   segment only the later window has, or its longer reach ahead, decides
//   otherwise;
// - any other first-pass decision tests the passed segments and takes the
//   first original segment ahead that blocks from a memo that all windows of
//   the chain (and a ring's rotations) share, which scans for it once;
// - a later pass first tries the segment that blocked the same point, with
//   the same triangle, in an earlier pass.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "geometry/geometry.hpp"
#include "reduction/ring_blockers.hpp"

namespace skeinlab {

// The first pass of a window's reduction, decision by decision, for a later
// window of the same chain to follow where the two run in step (both keep
// the same points from some point on). Positions are the chain's.
struct WindowTrace {
    enum Outcome : std::uint8_t {
        kUnseen,
        kDeleted,          // no segment of the window blocked
        kDegenerate,       // no plane
        kBlockedByPassed,  // `what`: the start of a passed segment that blocks
        kBlockedAhead,     // `what`: the first blocker ahead, x < e
        kBlockedAheadOnly  // as kBlockedAhead, and no passed segment blocks
    };
    std::size_t s = 0, e = 0;
    std::vector<std::uint32_t> anchor;  // by position - s: the point before it when decided
    std::vector<std::uint8_t> outcome;
    std::vector<std::uint32_t> what;
    std::vector<std::uint32_t> kept;  // the points the first pass kept, s first
};

class WindowReducer {
public:
    // The windows of `chain` (fewer than 2^32 - 1 points). With `ring`, the
    // chain is that ring started at position `offset` (point i is the ring's
    // point (i + offset) mod n), and the first blockers ahead are taken from
    // it, shared with the other rotations; without, from a memo of its own.
    explicit WindowReducer(Chain chain, const RingBlockers* ring = nullptr, std::size_t offset = 0);
    ~WindowReducer();
    WindowReducer(WindowReducer&&) noexcept;
    WindowReducer& operator=(WindowReducer&&) noexcept;

    // kmt_open_chain of the points [s, e] of the chain, s <= e < size. The
    // first pass follows the first of the `earlier` windows' (traced by
    // this reducer) that runs in step with it; with `record`, this window's
    // first pass is traced there.
    Chain reduce_window(std::size_t s, std::size_t e, std::span<const WindowTrace* const> earlier = {},
                        WindowTrace* record = nullptr) const;

    const Chain& chain() const { return chain_; }

    // A window that reaches at most this much further than the earlier one
    // it follows tests the segments between the two ends one by one.
    static constexpr std::size_t kFurtherByHand = 64;

private:
    // The first x, j < x < before <= size - 1, whose original segment
    // (x, x + 1) blocks the apex j of the triangle (anchor, j, j + 1), or
    // none (UINT32_MAX); remembered.
    std::uint32_t first_blocker_ahead(std::size_t anchor, std::size_t j, std::size_t before, const Plane& plane,
                                      RingBlockers::Cursor& cursor) const;
    // Whether a segment of the chain from `from` to `to` (global) blocks the
    // triangle (p, q, r) at g, by hand when they are few, else by the ring's
    // search ahead (first_blocker_ahead); returns the blocker, or what the
    // search ended on.
    std::uint32_t blocker_between(const Point3& p, const Point3& q, const Point3& r, const Plane& plane,
                                  std::size_t from, std::size_t to, std::size_t anchor, std::size_t g,
                                  RingBlockers::Cursor& fan, bool& blocked) const;

    Chain chain_;
    std::unique_ptr<RingBlockers> own_;  // when no ring was given
    const RingBlockers* ring_ = nullptr;
    std::size_t offset_ = 0;
    std::unique_ptr<kmt_detail::SegmentTree> tree_;
};

}  // namespace skeinlab
