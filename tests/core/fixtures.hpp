// Shared fixtures of the core tests: the built-in table and option records.
#pragma once

#include "analysis/knottype.hpp"
#include "invariants/alexander_table.hpp"

namespace skeinlab::testing {

inline const AlexanderTable& builtin_table() {
    static const AlexanderTable table = AlexanderTable::builtin();
    return table;
}

inline KnotTypeOptions options_for(bool ring) {
    KnotTypeOptions o;
    o.is_ring = ring;
    return o;
}

}  // namespace skeinlab::testing
