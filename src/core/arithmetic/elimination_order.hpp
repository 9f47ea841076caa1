// Orders and costs of sparse elimination: a pivot order of nested dissection
// for matrices whose pattern is the planar graph of a knot diagram, and what
// eliminating in an order costs (operations, fill), counted on the pattern
// alone before any value is computed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace skeinlab {

// One matrix entry: c0 + c1 t in column `col`.
struct LinearEntry {
    std::uint32_t col;
    std::int64_t c0;
    std::int64_t c1;
};

// A pivot order of nested dissection for a matrix of this pattern (rows as
// SparseDeterminant takes them): rows matched to columns holding an entry of
// theirs, the graph joining rows whose matched columns meet, cut recursively
// by a middle level of a breadth-first search from a far vertex, each side
// ordered before the separator. On the planar graphs of knot diagrams the
// fill grows far slower than under a greedy pivot search. Empty when the
// pattern has no perfect matching (the matrix is then singular).
std::vector<std::pair<std::uint32_t, std::uint32_t>> nested_dissection_order(
    std::size_t n, const std::vector<std::vector<LinearEntry>>& rows);

// What eliminating in `order` makes, counted on the pattern alone: every
// entry of an updated row is one operation (its new value from the old and
// the pivot row's), one update per row changed by a pivot.
struct EliminationCost {
    std::size_t ops = 0;
    std::size_t updates = 0;
    std::size_t peak_entries = 0;  // entries of the rows not yet eliminated, at most
};
EliminationCost elimination_cost(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows,
                                 const std::vector<std::pair<std::uint32_t, std::uint32_t>>& order);

}  // namespace skeinlab
