// Chains as knot_type and kmt receive them: the bytes as doubles (any bit
// pattern: NaN, infinities, subnormals, repeats), typed as a ring and as an
// open chain, and reduced by KMT both ways. Up to 96 points, so that every
// input runs quickly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "analysis/knottype.hpp"
#include "invariants/alexander_table.hpp"
#include "reduction/kmt.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const skeinlab::AlexanderTable table = skeinlab::AlexanderTable::builtin();
    const std::size_t points = std::min<std::size_t>(size / sizeof(skeinlab::Point3), 96);
    skeinlab::Chain chain(points);
    if (points > 0) std::memcpy(chain.data(), data, points * sizeof(skeinlab::Point3));
    for (const bool ring : {true, false}) {
        skeinlab::KnotTypeOptions options;
        options.is_ring = ring;
        const auto name = skeinlab::get_knottype(chain, table, options);
        (void)name;
        skeinlab::Chain reduced = chain;
        if (ring) skeinlab::kmt_ring(reduced);
        else skeinlab::kmt_open_chain(reduced);
    }
    return 0;
}
