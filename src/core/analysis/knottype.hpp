// The knot type of one chain: KMT reduction, closure, the Alexander
// polynomial of the closed chain from one planar projection, and its name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "invariants/alexander.hpp"
#include "invariants/alexander_table.hpp"
#include "runtime/outcome.hpp"

namespace skeinlab {

// The invariant that names a knot: the Alexander polynomial (knot_type's
// names) or HOMFLY-PT (knot_identify's names). Spectra and fingerprints name
// their samples by it.
enum class KnotInvariant { Alexander, Homfly };

struct KnotTypeOptions {
    // Distance below which an end of an open chain counts as lying on a hull face.
    double hull_tolerance = 0.005;
    // Distance of the closure points from the chain ends, in chain radii.
    double hull_scale = 100.0;
    // Rotated starting points the knot-core search tries on a ring (< 2 means 1).
    std::int32_t ring_rotations = 4;
    bool is_ring = true;
    bool use_kmt = true;
    // Write diagnostic lines to standard error.
    bool debug = false;
    KnotInvariant invariant = KnotInvariant::Alexander;
};

struct KnotDiagram;

// Diagrams of this many crossings or more are simplified (Reidemeister moves,
// strand passes) before their determinant, with this seed for the R3 search
// and this many rounds without progress before it stops (past a few dozen
// rounds the diagram hardly shrinks, so the determinant's evaluations cost
// the same while the simplification costs more).
inline constexpr std::size_t kSimplifiedCrossings = 1000;
inline constexpr std::uint64_t kSimplifySeed = 0x4B6E6F74;
inline constexpr std::size_t kSimplifyPatience = 32;

// The simplification of a large diagram before its determinant.
void simplify_for_determinant(KnotDiagram& diagram);

// Diagrams that have this many crossings or more once their strand passes
// are done take Krylov images at t = 1 (20,000 rows or more always have so
// far): the pool's idle workers compute the first of them on that diagram
// while its R3 rounds go on.
inline constexpr std::size_t kImagesAheadCrossings = 20001;

// The Alexander polynomial of a large diagram, simplified first as
// simplify_for_determinant does; the same polynomial for every number of
// workers. With more than one worker and `ahead_crossings` crossings or
// more after the strand passes, the first Krylov images are computed on the
// other workers (alexander_images_ahead) while the R3 rounds go on, and the
// simplified diagram's determinant adopts them.
ExactPolynomial simplified_polynomial(KnotDiagram& diagram, std::size_t ahead_crossings = kImagesAheadCrossings);

// Exchanges coordinates so that the axis of strictly smallest extent becomes
// the height; on a tie the projection stays along z.
void choose_projection(Chain& points);

// The projections tried after the chosen one when the chosen one gives no
// knot diagram, in this order: heights along z, x and y as given, then the
// chain turned by eight fixed rotations and projected along z.
std::vector<Chain> fallback_projections(const Chain& points);

// The knot name of a chain that is already closed (a ring with its first point
// repeated at the end, or an open chain with its closure points): "1" for the
// unknot, the table's name, or NotFound carrying the normalized polynomial's
// text. The chain's last point is never joined back to its first. The
// polynomial is exact whatever the number of crossings.
Result<std::string> compute_knottype_from_chain(const Chain& points, const AlexanderTable& table, bool debug);

// Closes a KMT-reduced open chain for typing: a chain of more than 4 points
// gets the two far points of hull_ends at its ends. False when the chain
// cannot be knotted: hull_ends failed and its points, all finite, lie in one
// plane (decided exactly). When hull_ends fails otherwise, the chain is typed
// without added points.
bool close_open_chain(Chain& work, const KnotTypeOptions& options);

// The knot name of an open chain that get_knottype has already reduced by KMT
// (or that is typed without reduction): closed by hull_ends when it has more
// than 4 points, then typed. The only error is NotFound.
Result<std::string> type_reduced_open_chain(Chain reduced, const AlexanderTable& table,
                                            const KnotTypeOptions& options);

// The knot name of one chain: copies it, reduces the copy by KMT when
// options.use_kmt, closes it (a ring by repeating its first point, an open
// chain of more than 4 points by hull_ends) and types it. The only error is
// NotFound.
Result<std::string> get_knottype(const Chain& points, const AlexanderTable& table, const KnotTypeOptions& options);

// The knot name of one frame, typed scaled into the unit range; a polynomial
// missing from the table is reported by its text; other errors are failures
// carrying their display text.
Outcome<std::string> classify_frame(const Chain& chain, const AlexanderTable& table, const KnotTypeOptions& options);

}  // namespace skeinlab
