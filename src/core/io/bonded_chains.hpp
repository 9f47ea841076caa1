// The chains a bond graph draws. A simulation's topology joins atoms by
// bonds; each connected component of the graph is one molecule. A component
// whose atoms each have two bonds is a ring, one with two ends and no other
// atom of three or more bonds is an open chain; both are ordered along their
// bonds. Components of few atoms (water, ions) and branched ones are counted
// and left out: they are not chains.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/error.hpp"

namespace skeinlab {

struct BondedChains {
    // The chains' atoms (indices from 0), chain after chain, each in order
    // along its bonds: a path from its end of lower index, a ring from its
    // atom of lowest index towards that atom's neighbour of lower index.
    // Chains come in the order of their lowest atom index.
    std::vector<std::int64_t> atoms;
    // Chain k holds atoms[offsets[k]] to atoms[offsets[k + 1] - 1].
    std::vector<std::int64_t> offsets{0};
    // By chain: whether it is a ring (a cycle of bonds).
    std::vector<bool> rings;
    // Components left out: of fewer than `min_atoms` atoms (an atom without
    // bonds is one), and branched ones (an atom with three bonds or more, or
    // more bonds than a ring has); their counts and their atoms.
    std::uint64_t small = 0, small_atoms = 0;
    std::uint64_t branched = 0, branched_atoms = 0;
};

// The chains of the graph of `atoms` atoms joined by `bonds` (pairs of atom
// indices; a bond listed twice counts once, an atom bonded to itself has no
// bond). Only atoms with keep[a] (all when `keep` is empty) are in the graph,
// and only bonds between two of them. Errors (DataParse): "bond {k} joins atom
// {a}, but there are {atoms} atoms", "keep has {} entries for {} atoms".
Result<BondedChains> bonded_chains(std::size_t atoms, const std::vector<std::array<std::int64_t, 2>>& bonds,
                                   std::size_t min_atoms, const std::vector<bool>& keep = {});

}  // namespace skeinlab
