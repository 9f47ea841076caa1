// The generated table of prime knots (invariants/knot_table_data.cpp, written
// by tools/generate_knot_table.py): one line per knot,
// "name<TAB>a|c<TAB>HOMFLY-PT" (amphichiral or chiral; the polynomial of the
// chirality called "+"), in KnotInfo's order (by crossing number, alternating
// knots first).
#pragma once

namespace skeinlab {

extern const char kPrimeKnotHomfly[];

}  // namespace skeinlab
