// Knot spectra: a chain typed under many random rotations (and, for an open
// chain, random closures through one far point), and how often each name
// comes out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/knottype.hpp"
#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "invariants/alexander_table.hpp"
#include "reduction/kmt.hpp"
#include "runtime/random.hpp"

namespace skeinlab {

// A rotation uniform over all rotations: a uniform unit quaternion by
// Marsaglia's method (rejection sampling in two discs; only arithmetic and
// square roots, so every machine draws the same matrix).
Rotation random_rotation(Stream& stream);

// A direction uniform on the unit sphere (Marsaglia 1972).
Point3 random_direction(Stream& stream);

// The mean of the points and the largest distance of a point from it (NaN
// distances passed over).
struct ChainExtent {
    Point3 centre;
    double radius = 0.0;
};
ChainExtent chain_extent(const Chain& chain);

// centre + direction * (reach * radius).
Point3 far_point(const ChainExtent& extent, const Point3& direction, double reach);

// A chain made ready for sampling.
//
// A sample rotates the chain by a random rotation and, when it is open, closes
// it through the far point P = far_point(extent, u, options.hull_scale) in a
// random direction u (both drawn from the sample's stream, the rotation
// first); the result is typed as a ring by get_knottype. P is placed in the
// chain's own frame and rotated with it: u being uniform and independent of
// the rotation, that is a uniform direction in the rotated frame.
//
// The chain's missing points (is_missing) are dropped first.
//
// KMT deletions are geometric tests that a rotation does not change, so the
// chain is reduced once here instead of once per sample. A ring keeps its
// reduction for every sample. An open chain is reduced as an open chain and
// its deletions are kept in order; a sample replays them on the chain closed
// through P. A deletion recorded as valid stays valid on the closed polygon
// unless a segment the record did not have blocks its triangle: the closing
// segments (last point to P, P to first point) and the segments at vertices
// whose deletion the replay has skipped. A deletion is skipped when one of
// them blocks it or when its neighbours are no longer those recorded; after
// kMaxSkipped skips the replay stops. The chain the replay leaves, closed
// through P, is typed as a ring.
class SampledChain {
public:
    SampledChain(Chain chain, bool is_ring, const KnotTypeOptions& options);

    // The name of one sample, by the options' invariant: knot_type's name (a
    // polynomial missing from the table comes back as the NotFound error) or
    // knot_identify's.
    Result<std::string> sample(Stream stream, const AlexanderTable& table) const;

    // The polygon one sample types (before get_knottype's own reduction), and
    // how many of the recorded deletions it applied.
    Chain sample_polygon(Stream& stream, std::size_t* applied = nullptr) const;

    std::size_t deletions() const { return moves_.size(); }

    static constexpr std::size_t kMaxSkipped = 64;

private:
    // The open chain after replaying the recorded deletions with the closing
    // segments through `far` in place.
    Chain replay(const Point3& far, std::size_t* applied) const;

    Chain original_;  // open chains only
    Chain reduced_;
    std::vector<KmtMove> moves_;
    ChainExtent extent_;
    bool is_ring_;
    KnotTypeOptions options_;
};

struct SpectrumEntry {
    std::string name;
    std::uint64_t count = 0;
    // False for a polynomial text that the table does not name.
    bool named = true;
};

// How often each name came out, in the order a spectrum is reported:
// decreasing count; ties by the table's order ("1" first, then table names
// by crossing number and index, then polynomial texts).
class Spectrum {
public:
    void add(const std::string& name, bool named, std::uint64_t count = 1);
    void merge(const Spectrum& other);
    std::vector<SpectrumEntry> sorted() const;
    std::uint64_t total() const;

private:
    std::vector<SpectrumEntry> entries_;
};

// Types samples [first, last) of one chain; sample k uses the stream keyed by
// key followed by k. Errors other than NotFound end the count.
Result<Spectrum> sample_spectrum(const SampledChain& chain, const std::vector<std::uint64_t>& key,
                                 std::uint64_t first, std::uint64_t last, const AlexanderTable& table);

// The windows [start, end] of a fingerprint: start and end on the grid 0,
// step, 2 step, ... with the last index n - 1 always on it, end - start >= 4,
// ordered by start, then end. step must be >= 1.
std::vector<std::array<std::size_t, 2>> fingerprint_windows(std::size_t n, std::size_t step);

}  // namespace skeinlab
