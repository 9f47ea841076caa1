#include "reduction/ring_blockers.hpp"

#include "reduction/kmt_chain.hpp"
#include "reduction/segment_tree.hpp"

namespace skeinlab {

using kmt_detail::PlaneTest;
using kmt_detail::wrap;

RingBlockers::RingBlockers(const Chain& ring) : n_(ring.size()), closed_(ring) {
    if (n_ < 3) return;
    closed_.push_back(ring.front());
    tree_ = std::make_unique<kmt_detail::SegmentTree>(closed_);
}

RingBlockers::~RingBlockers() = default;

std::atomic<std::uint64_t>* RingBlockers::block(std::size_t anchor, std::size_t index) const {
    const std::uint64_t key = (static_cast<std::uint64_t>(anchor) << 32) | static_cast<std::uint32_t>(index);
    Shard& shard = shards_[(anchor * 0x9E3779B97F4A7C15ull + index) % kShards];
    std::lock_guard<std::mutex> lock(shard.mutex);
    auto& found = shard.blocks[key];
    if (!found) {
        found = std::make_unique<std::atomic<std::uint64_t>[]>(kBlock);
        for (std::size_t i = 0; i < kBlock; ++i) found[i].store(0, std::memory_order_relaxed);
    }
    return found.get();
}

std::uint32_t RingBlockers::first_ahead(std::size_t anchor, std::size_t j, std::size_t count, const Plane& plane,
                                        Cursor& cursor) const {
    // Triangles of one anchor are numbered d = 0, 1, ... from j = anchor + 1.
    const std::size_t d = wrap(j + n_ - anchor - 1, n_);
    if (cursor.anchor_ != anchor || cursor.block_ != d / kBlock) {
        cursor.anchor_ = anchor;
        cursor.block_ = d / kBlock;
        cursor.scans_ = block(anchor, d / kBlock);
    }
    std::atomic<std::uint64_t>& word = cursor.scans_[d % kBlock];
    // Every word is written whole, so a reader sees one scan or another, each consistent.
    const std::uint64_t known = word.load(std::memory_order_relaxed);
    const std::size_t known_scanned = known >> 32;
    const std::size_t known_first = static_cast<std::uint32_t>(known);  // 0: none
    // Segments are counted from j + 1 round the ring: segment (j + 1 + k) mod n is number k.
    const auto answer = [&](std::size_t first) {
        return first != 0 && first - 1 < count ? static_cast<std::uint32_t>(wrap(j + first, n_)) : UINT32_MAX;
    };
    if (known_first != 0 || known_scanned >= count) return answer(known_first);

    const Point3 &p = closed_[anchor], &q = closed_[j], &r = closed_[j + 1];
    const PlaneTest test(plane, tree_->extent());
    std::size_t first = 0;
    const auto visit = [&](std::size_t x, double ds, double dt) {
        if (!judge_triangle(p, q, r, closed_[x], closed_[x + 1], ds, dt)) return false;
        first = wrap(x + n_ - wrap(j + 1, n_), n_) + 1;
        return true;
    };
    // Numbers known_scanned .. count - 1, as one or two ranges of positions.
    const std::size_t lo = wrap(j + 1 + known_scanned, n_);
    const std::size_t length = count - known_scanned;
    if (lo + length <= n_) {
        tree_->any_crossing(lo, lo + length - 1, test, visit);
    } else if (!tree_->any_crossing(lo, n_ - 1, test, visit)) {
        tree_->any_crossing(0, lo + length - n_ - 1, test, visit);
    }
    const std::size_t scanned = first != 0 ? first : count;
    // Another worker may have scanned further meanwhile: the word keeps the longer scan.
    const std::uint64_t mine = (static_cast<std::uint64_t>(scanned) << 32) | first;
    std::uint64_t stored = word.load(std::memory_order_relaxed);
    while ((stored >> 32) < scanned && !word.compare_exchange_weak(stored, mine, std::memory_order_relaxed)) {
    }
    return answer(first);
}

}  // namespace skeinlab
