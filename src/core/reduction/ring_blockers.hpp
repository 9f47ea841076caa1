// First blockers ahead of the triangles of first-pass fans, remembered and
// shared by the reductions of all windows of one chain, and of a ring's
// rotations.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "geometry/geometry.hpp"

namespace skeinlab {
namespace kmt_detail {
class SegmentTree;

// i mod n for i < 2 n, without dividing.
inline std::size_t wrap(std::size_t i, std::size_t n) { return i >= n ? i - n : i; }
}  // namespace kmt_detail

// The first blockers ahead of triangles of a ring, in the ring's own
// positions, shared by the window reducers of its rotations: a rotation's chain
// has the same points, so its triangles and the segments ahead of them are
// the ring's, up to where the rotation cuts the ring. An open chain is taken
// as the ring of its points; its reducers never ask past its last segment.
class RingBlockers {
public:
    explicit RingBlockers(const Chain& ring);
    ~RingBlockers();

    // What a caller asking for the triangles of one fan (one anchor, j =
    // anchor + 1, anchor + 2, ...) keeps between calls: the block of
    // remembered scans it is in.
    class Cursor {
        friend class RingBlockers;
        std::size_t anchor_ = SIZE_MAX, block_ = SIZE_MAX;
        std::atomic<std::uint64_t>* scans_ = nullptr;
    };

    // The first of the `count` segments k = j + 1, j + 2, ... round the ring
    // (from point k to point k + 1 mod n) that blocks the apex j of triangle
    // (anchor, j, j + 1); UINT32_MAX when none does. What is scanned is
    // remembered: a later call for the same triangle scans only further.
    std::uint32_t first_ahead(std::size_t anchor, std::size_t j, std::size_t count, const Plane& plane,
                              Cursor& cursor) const;

    std::size_t size() const { return n_; }

private:
    // Per triangle, one word: the segments numbered 0 .. scanned - 1 from
    // j + 1 are scanned, and the first blocker among them has number
    // first - 1 (first = 0: none). Words of one anchor come in blocks of
    // kBlock triangles, made when first asked for.
    static constexpr std::size_t kBlock = 64;
    std::atomic<std::uint64_t>* block(std::size_t anchor, std::size_t index) const;

    std::size_t n_ = 0;
    Chain closed_;  // the ring and its first point again
    std::unique_ptr<kmt_detail::SegmentTree> tree_;
    // Blocks by (anchor, index), in shards so that workers on different
    // rotations rarely wait for one another.
    struct Shard {
        std::mutex mutex;
        std::unordered_map<std::uint64_t, std::unique_ptr<std::atomic<std::uint64_t>[]>> blocks;
    };
    static constexpr std::size_t kShards = 64;
    mutable std::array<Shard, kShards> shards_;
};

}  // namespace skeinlab
