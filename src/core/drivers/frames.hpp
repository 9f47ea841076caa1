// The per-frame drivers behind knot_type and knot_size: every frame is one
// work item on a worker pool, outcomes come back in frame order, and the
// lowest-numbered failing frame decides a failure.
#pragma once

#include <array>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/identify.hpp"
#include "analysis/lasso.hpp"
#include "analysis/link_identify.hpp"
#include "analysis/knotsize.hpp"
#include "analysis/knottype.hpp"
#include "analysis/spectrum.hpp"
#include "geometry/geometry.hpp"
#include "geometry/linking.hpp"
#include "invariants/alexander_table.hpp"
#include "runtime/cancel.hpp"
#include "runtime/outcome.hpp"

namespace skeinlab {

// How a call is watched while it runs: the token its work checks at its
// cancellation points, and a function the waiting caller runs about every
// 50 ms (none when empty).
struct CallControl {
    CancelToken* token = nullptr;
    std::function<void()> poll;
};

// Types every frame. `threads` absent: the shared pool; present: a dedicated
// pool of min(threads, 65535, frames) workers (0 fails with "threads must be >= 1").
Outcome<std::vector<std::string>> classify_frames(const FrameSet& frames, const AlexanderTable& table,
                                                  const KnotTypeOptions& options,
                                                  std::optional<std::uint64_t> threads,
                                                  const CallControl& control = {});

// Identifies every frame (identify_frame): one name per frame, in frame order.
Outcome<std::vector<std::string>> identify_frames(const FrameSet& frames, const KnotTypeOptions& options,
                                                  std::optional<std::uint64_t> threads,
                                                  const CallControl& control = {});

// The PD code of every frame's simplified diagram (pd_frame), in frame order.
Outcome<std::vector<std::vector<PdCrossing>>> pd_frames(const FrameSet& frames, const KnotTypeOptions& options,
                                                        std::optional<std::uint64_t> threads,
                                                        const CallControl& control = {});

// The lassos of every frame (lasso_of for each bridge, in the order given), in
// frame order; a bridge that does not fit a frame fails the call.
Outcome<std::vector<std::vector<Lasso>>> lasso_frames(const FrameSet& frames,
                                                      const std::vector<std::array<std::int64_t, 2>>& bridges,
                                                      std::optional<std::uint64_t> threads,
                                                      const CallControl& control = {});

// The name of every PD code (identify_pd_code), in order; a code that is no
// knot's planar diagram fails the call ("code {k}: {error}"), the lowest first.
Outcome<std::vector<std::string>> identify_pd_codes(const std::vector<std::vector<PdCrossing>>& codes,
                                                    std::optional<std::uint64_t> threads,
                                                    const CallControl& control = {});

// The linked pairs of every frame of several chains (linking_pairs), in frame
// order, each frame an item on the pool.
Outcome<std::vector<std::vector<LinkingPair>>> linking_frames(const std::vector<FrameSet>& frames, bool rings,
                                                              std::optional<std::uint64_t> threads,
                                                              const CallControl& control = {});

// A pair of rings that is linked (pair_link), with its linking number and
// the name of the link the two form.
struct LinkedPair {
    std::uint32_t i = 0, j = 0;
    std::int64_t linking = 0;
    // Rings that touch in every projection have no linking number.
    bool defined = true;
    std::string name;
};

// For every frame of rings, the linked pairs: non-zero linking numbers and
// pairs of linking number 0 whose boxes overlap and whose link is shown not
// split; sorted by (i, j). Every frame an item on the pool.
Outcome<std::vector<std::vector<LinkedPair>>> linked_pair_frames(const std::vector<FrameSet>& frames,
                                                                 std::optional<std::uint64_t> threads,
                                                                 const CallControl& control);

// identify_link on every frame.
Outcome<std::vector<LinkIdentity>> link_type_frames(const std::vector<FrameSet>& frames, const KnotTypeOptions& options,
                                                    std::optional<std::uint64_t> threads, const CallControl& control);

// The invariants of every frame (invariants_frame), in frame order.
Outcome<std::vector<KnotInvariants>> invariants_frames(const FrameSet& frames, const KnotTypeOptions& options,
                                                       std::optional<std::uint64_t> threads,
                                                       const CallControl& control = {});

struct KnotSizes {
    std::vector<std::string> names;
    std::vector<CoreTriple> cores;
};

// Types every frame and searches the knotted core of every knotted frame.
Outcome<KnotSizes> compute_knot_size(const FrameSet& frames, const AlexanderTable& table,
                                     const KnotTypeOptions& options, std::optional<std::uint64_t> threads,
                                     const CallControl& control = {});

// The spectrum of every frame, as Spectrum::sorted() orders it: `samples`
// typings per frame (>= 1), sample k of frame f drawn from the stream keyed by
// (seed, frame_offset + f, k), so that a trajectory typed in chunks keys its
// frames as when typed whole. Frames and blocks of samples share the pool, so one frame
// uses every worker; the counts never depend on the split.
Outcome<std::vector<std::vector<SpectrumEntry>>> compute_spectra(const FrameSet& frames, const AlexanderTable& table,
                                                                 const KnotTypeOptions& options,
                                                                 std::uint64_t samples, std::uint64_t seed,
                                                                 std::optional<std::uint64_t> threads,
                                                                 const CallControl& control = {},
                                                                 std::uint64_t frame_offset = 0);

// One window of a fingerprint and the dominant entry of its spectrum.
struct FingerprintRow {
    std::size_t start = 0;
    std::size_t end = 0;
    SpectrumEntry dominant;
};

// The fingerprint of an open chain: for every window of
// fingerprint_windows(chain.size(), step), the dominant entry of its spectrum
// as an open chain, sample k drawn from the stream keyed by (seed, start,
// end, k).
Outcome<std::vector<FingerprintRow>> compute_fingerprint(const Chain& chain, std::size_t step,
                                                         const AlexanderTable& table,
                                                         const KnotTypeOptions& options, std::uint64_t samples,
                                                         std::uint64_t seed, std::optional<std::uint64_t> threads,
                                                         const CallControl& control = {});

}  // namespace skeinlab
