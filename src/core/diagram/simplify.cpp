#include "diagram/simplify.hpp"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "diagram/reidemeister.hpp"
#include "diagram/strand_passes.hpp"
#include "runtime/cancel.hpp"
#include "runtime/random.hpp"

namespace skeinlab {
namespace {

constexpr std::uint64_t kSimplifyStream = 0x52334D6F766573ull;  // "R3Moves"

}  // namespace

std::size_t pass_strands_until_stable(KnotDiagram& d, double min_share) {
    const std::size_t before = d.crossings();
    reduce_diagram(d);
    for (bool changed = true; changed && d.crossings() > 0;) {
        cancellation_point();
        changed = false;
        const std::size_t start = d.crossings();
        for (const bool over : {true, false}) {
            if (d.crossings() > 0 && pass_strands(d, over) > 0) {
                reduce_diagram(d);
                changed = true;
            }
        }
        if (static_cast<double>(start - d.crossings()) < min_share * static_cast<double>(start)) break;
    }
    return before - d.crossings();
}

std::size_t default_patience(std::size_t crossings) { return std::min<std::size_t>(32 + 4 * crossings, 256); }

void simplify_diagram(KnotDiagram& d, std::uint64_t seed) {
    reduce_diagram(d);
    simplify_diagram(d, seed, default_patience(d.crossings()));
}

void simplify_diagram(KnotDiagram& d, std::uint64_t seed, std::size_t patience) {
    pass_strands_until_stable(d, kStrandPassShare);
    r3_search(d, seed, patience);
}

void r3_search(KnotDiagram& d, std::uint64_t seed, std::size_t patience) {
    Stream draws = Stream::keyed({kSimplifyStream, seed});
    // Rounds since the crossings last fell by a hundredth (at least one) of
    // what they were then.
    std::size_t idle = 0;
    std::size_t mark = d.crossings();
    std::vector<std::uint8_t> moved;
    std::vector<std::uint8_t> near_change;  // by passage
    std::vector<std::uint32_t> changed;
    while (d.crossings() > 0 && idle < patience) {
        cancellation_point();
        std::vector<std::array<std::uint32_t, 3>> triangles = r3_triangles(d);
        if (triangles.empty()) {
            if (pass_strands_until_stable(d, kStrandPassShare) == 0) return;
            continue;
        }
        // A round moves a random set of triangles that share no crossing (a
        // move changes only the faces at its own three crossings, so the
        // others stay triangles), each drawn with probability one half, then
        // removes what the moves made removable.
        for (std::size_t i = triangles.size(); i > 1; --i) std::swap(triangles[i - 1], triangles[draws.below(0, i)]);
        moved.assign(d.crossings(), 0);
        const auto m = static_cast<std::uint32_t>(d.walk.size());
        bool any = false;
        near_change.assign(m, 0);
        for (const auto& t : triangles) {
            if ((draws.next() & 1) && any) continue;
            bool free = true;
            for (const std::uint32_t e : t) free = free && !moved[d.walk[e].crossing] && !moved[d.walk[(e + 1) % m].crossing];
            if (!free) continue;
            for (const std::uint32_t e : t) {
                moved[d.walk[e].crossing] = moved[d.walk[(e + 1) % m].crossing] = 1;
                // The passages of the edge, and the one before it.
                near_change[(e + m - 1) % m] = near_change[e] = near_change[(e + 1) % m] = 1;
            }
            apply_r3(d, t);
            any = true;
        }
        // The moves changed neighbours only at their own passages.
        changed.clear();
        for (std::uint32_t p = 0; p < m; ++p)
            if (near_change[p]) changed.push_back(p);
        reduce_diagram_around(d, changed);
        // Strand passes, the costlier move, once the R3 rounds stall.
        if (idle + 1 == patience) pass_strands_until_stable(d, kStrandPassShare);
        if (mark - d.crossings() >= std::max<std::size_t>(1, mark / 100)) {
            mark = d.crossings();
            idle = 0;
        } else {
            ++idle;
        }
    }
}

}  // namespace skeinlab
