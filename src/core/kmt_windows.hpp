// Open-chain KMT reduction of many windows of one chain.
//
// The reduction of the whole chain as an open chain is recorded once: every
// decision in order, and for a kept vertex the segments that blocked it. A
// window is then reduced by the same procedure as kmt_open_chain, replayed
// against that record. At each decision the window's state and the
// reference's state at the same decision differ only in a few segments (near
// the window's ends, and wherever the two runs decided differently): when
// the triangle is the same in both, a recorded blocker that the window also
// has decides "kept", and otherwise only the window's segments that the
// reference did not have need testing. A window's first pass is traced too,
// and a later window follows the traces of the ones before it in the same
// way where they keep the same points. Any other decision is computed in
// full, with the first blocker ahead from the memo the references share.
// The result is exactly kmt_open_chain applied to a copy of the window.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "geometry.hpp"
#include "ring_blockers.hpp"

namespace skeinlab {

// The first pass of a window's reduction, decision by decision, for a later
// window of the same reference to follow where the two run in step (both
// keep the same points from some point on): a decision there is the same
// unless a segment that only the later window has, or its longer reach
// ahead, decides otherwise. Positions are the reference's.
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

class KmtReference {
public:
    // Records the reduction of `chain` (fewer than 2^32 - 1 points). With
    // `ring`, the chain is that ring started at position `offset` (point i is
    // the ring's point (i + offset) mod n), and the first blockers ahead are
    // taken from it, shared with the other rotations; without, from the
    // reference's own.
    explicit KmtReference(Chain chain, const RingBlockers* ring = nullptr, std::size_t offset = 0);
    ~KmtReference();
    KmtReference(KmtReference&&) noexcept;
    KmtReference& operator=(KmtReference&&) noexcept;

    // kmt_open_chain of the points [s, e] of the chain, s <= e < size. The
    // first pass follows the first of the `earlier` windows' (traced by
    // this reference) that runs in step with it; with `record`, this
    // window's first pass is traced there.
    Chain reduce_window(std::size_t s, std::size_t e, std::span<const WindowTrace* const> earlier = {},
                        WindowTrace* record = nullptr) const;

    const Chain& chain() const { return chain_; }

    // Recorded blockers kept per decision; a decision with more is marked
    // incomplete and decides "kept" in a window only through a listed one.
    static constexpr std::size_t kMaxBlockers = 16;
    // A window whose segments differ from the reference's in more places
    // than this, and than half its own segments, takes its decisions in full
    // (testing the differences one by one would cost more).
    static constexpr std::size_t kMaxDifferences = 64;

private:
    // The first x, j < x < before <= size - 1, whose original segment
    // (x, x + 1) blocks the apex j of the triangle (anchor, j, j + 1), or
    // none (UINT32_MAX); remembered.
    std::uint32_t first_blocker_ahead(std::size_t anchor, std::size_t j, std::size_t before, const Plane& plane,
                                      RingBlockers::Cursor& cursor) const;

    struct Step {
        std::uint32_t cur = 0;
        std::uint32_t pass = 0;
        std::uint32_t blockers_begin = 0;
        std::uint32_t blockers_end = 0;
        bool deleted = false;
        bool complete = true;
        bool degenerate = false;  // no plane: deleted without a test
    };

    Chain chain_;
    std::unique_ptr<RingBlockers> own_;  // when no ring was given
    const RingBlockers* ring_ = nullptr;
    std::size_t offset_ = 0;
    std::unique_ptr<kmt_detail::SegmentTree> tree_;
    std::vector<Step> steps_;
    std::vector<std::uint32_t> blockers_;
};

}  // namespace skeinlab
