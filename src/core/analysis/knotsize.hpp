// The knot core of a chain: the shortest window of consecutive points that,
// typed on its own as an open chain, still carries the chain's knot, found by
// binary searches over window bounds whose every probe is a full typing of a
// window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "analysis/knottype.hpp"
#include "geometry/geometry.hpp"
#include "invariants/alexander_table.hpp"
#include "runtime/outcome.hpp"

namespace skeinlab {

// Core triple of a frame: start, end, length; (-1, -1, 0) when there is none.
using CoreTriple = std::array<std::int32_t, 3>;
inline constexpr CoreTriple kNoCore{-1, -1, 0};

struct KnotCore {
    bool found = false;
    std::int32_t start = -1;
    std::int32_t end = -1;
    std::int32_t length = 0;
    std::string name;
};

// True when s <= e < n and the window [s, e], typed with `options`, is named
// exactly `target`. A failed typing is false.
bool window_is_type(const Chain& chain, std::int32_t s, std::int32_t e, const std::string& target,
                    const AlexanderTable& table, const KnotTypeOptions& options);

// The name of the window [s, e] typed as an open chain, or "" when the window
// is outside the chain or the typing fails.
std::string window_knottype_open(const Chain& chain, std::int32_t s, std::int32_t e, const AlexanderTable& table,
                                 const KnotTypeOptions& options);

// The core of `target` in the chain. Rings try options.ring_rotations
// rotated starting points and report start and end in the chain's own
// numbering (end < start when the core runs across the first point).
//
// Every probe types a window as window_is_type does. With `replay`, the
// windows' KMT reductions are made by a WindowReducer of the working chain,
// which gives the same reductions faster; without it every probe reduces its
// window from scratch. Called on a pool
// worker, the independent pieces of the search (the rotations of a ring, the
// two bisections of each pair) run at once on that pool; the probes and the
// result are the same as in order. `typed_as_target` says that the caller has
// just typed the whole chain with these options and got `target`: a ring's
// first rotation (the chain itself) then skips that same typing, unless
// diagnostics are on (they write its lines).
Result<KnotCore> find_knot_core(const Chain& chain, const std::string& target, const AlexanderTable& table,
                                const KnotTypeOptions& options, bool replay = true, bool typed_as_target = false);

// One frame of knot_size: its name (as knot_type gives it) and its core triple.
Outcome<std::pair<std::string, CoreTriple>> knot_size_of_frame(const Chain& chain, const AlexanderTable& table,
                                                               const KnotTypeOptions& options);

}  // namespace skeinlab
