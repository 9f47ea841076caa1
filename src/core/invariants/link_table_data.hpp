// The generated table of prime links (invariants/link_table_data.cpp, written
// by tools/generate_link_table.py): one line per oriented link,
// "name<TAB>components<TAB>HOMFLY-PT" (the polynomial of LinkInfo's diagram,
// the chirality called "+"), in LinkInfo's order.
#pragma once

namespace skeinlab {

extern const char kPrimeLinkHomfly[];

}  // namespace skeinlab
