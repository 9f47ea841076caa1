// Lassos: a covalent bridge (a disulfide) closes the stretch i..j of a chain
// into a loop, and a tail of the chain (indices below i, the N tail, or above
// j, the C tail) may pass through the surface the loop spans.
//
// The loop spans a triangulated disk: rings of interior vertices between the
// loop and its centroid, moved by discrete minimal-surface steps (each
// interior vertex to the mean of its neighbours) until the area changes by
// less than 1e-4 relative. Every tail segment is tested against every
// triangle with exact orientation predicates; a crossing is "+" where the
// tail, walked from N to C, passes the surface along its normal (the right-
// hand rule of the loop walked from i to j), "-" otherwise. Reductions, until
// none applies: two consecutive crossings of one tail with opposite signs
// fewer than 10 residues apart cancel; a crossing within 3 residues of the
// bridge or of the tail's free end is dropped.
//
// Names: "L0" when nothing pierces; one tail piercing k times, signs
// alternating: "L" + the first sign + k + the tail ("L+1N", "L-2C"); one tail
// whose consecutive crossings share a sign: "LS" + k + the signs + the tail
// ("LS2--C"); both tails: "LL" + the N tail's signed count + "," + the C
// tail's ("LL+1,+1", the sign of each tail's first crossing).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "geometry/geometry.hpp"

namespace skeinlab {

struct LassoPiercing {
    // The tail's segment that crosses the surface: from point `index` to index + 1.
    std::int64_t index = 0;
    char sign = '+';
};

struct Lasso {
    std::array<std::int64_t, 2> bridge{};
    std::string name;
    std::vector<LassoPiercing> n_tail, c_tail;
    double area = 0.0;
};

// Interior rings of the loop's surface, and the relative change of its area
// that ends the minimal-surface steps (at most kLassoMaxSteps of them).
inline constexpr int kLassoRings = 3;
inline constexpr double kLassoAreaTolerance = 1e-4;
inline constexpr int kLassoMaxSteps = 1000;

// The lasso of the bridge (i, j) of a chain. Errors (DataParse): "bridge {i}-{j}:
// i must be below j", "bridge {i}-{j}: beyond the chain's {n} points", "bridge
// {i}-{j}: a loop needs at least 3 points", "bridge {i}-{j}: the chain has
// missing points".
Result<Lasso> lasso_of(const Chain& chain, std::int64_t i, std::int64_t j);

// The loop's minimal surface as lasso_of spans it: vertices (the centre first)
// and triangles (vertex indices, oriented as the loop runs from i to j). Errors
// as lasso_of's.
struct LassoSurface {
    Chain vertices;
    std::vector<std::array<std::size_t, 3>> triangles;
};
Result<LassoSurface> lasso_surface(const Chain& chain, std::int64_t i, std::int64_t j);

// The name of crossings that are left after the reductions.
std::string lasso_name(const std::vector<LassoPiercing>& n_tail, const std::vector<LassoPiercing>& c_tail);

// The reductions of one tail's crossings (in tail order, N to C): `bridge` is
// the bridge's index on the tail's side (i for the N tail, j for the C tail),
// `free_end` the tail's free end (0, or the last index).
std::vector<LassoPiercing> reduced_piercings(std::vector<LassoPiercing> crossings, std::int64_t bridge,
                                             std::int64_t free_end);

}  // namespace skeinlab
