// The chains of a simulation frame: atoms kept by type, grouped into chains
// by molecule, by a fixed length or by a topology's chains (a layout), and
// unwrapped across the periodic box; chains whose points jump are found.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "io/lammps.hpp"

namespace skeinlab {

// Chains given by a topology (the bonds of a data file, a selection), as the
// atoms of each chain in order.
struct ChainLayout {
    // Chain k holds atoms[offsets[k]] to atoms[offsets[k + 1] - 1]: atom ids
    // for chains_of_frame, indices of the positions for gather_chains.
    std::vector<std::int64_t> atoms;
    std::vector<std::int64_t> offsets{0};
    // By chain: its id in the output (a molecule id, a number) and whether it is a ring.
    std::vector<std::int64_t> labels;
    std::vector<bool> rings;
    // The atoms of the topology, which every frame must have (0: not checked).
    std::uint64_t topology_atoms = 0;
};

struct ChainSelection {
    // Consecutive runs of this many atoms (in id order) are the chains,
    // numbered from 1; 0: the molecules are (one chain when the frame has no
    // molecule ids).
    std::size_t chain_length = 0;
    // Only atoms of these types (all when empty).
    std::vector<std::int64_t> types;
    // Only chains with these molecule ids (all when empty).
    std::vector<std::int64_t> molecules;
    // Whether the chains are rings (a ring's closing bond is checked).
    bool ring = true;
    // When set, the chains are these (by atom id); the fields above but `ring` are not used.
    std::shared_ptr<const ChainLayout> layout;
    // Whether to look for the first bond of each chain longer than
    // kGapFactor times its median bond (chains not drawn from bonds).
    bool check_gaps = false;
};

// A chain's points i and i + 1 lie `distance` apart, more than kGapFactor
// times the chain's median bond. (A ring's closing bond is not checked: a
// long one says the chain is open, not that it is no chain.)
//
// Atoms scattered at random (a gas, a crystal, molecules of few atoms listed
// as one) are no chain either, though no bond stands out: their bonds are
// long against the distance from an atom to its nearest atom, which in a chain
// is about one bond. Such a chain has `scattered` set, `distance` the median
// distance to the nearest atom (over a sample of atoms), `median` the median
// bond, and `index` -1.
struct ChainGap {
    std::int64_t index = -1;  // -1: no such bond
    double distance = 0.0, median = 0.0;
    bool scattered = false;
};
inline constexpr double kGapFactor = 3.0;
// Scattered: median bond above this many times the median nearest distance,
// judged on chains of at least kScatterAtoms atoms.
inline constexpr double kScatterFactor = 2.0;
inline constexpr std::size_t kScatterAtoms = 8;

struct FrameChains {
    // By chain, in increasing molecule id (or layout order): its atoms in order, unwrapped.
    std::vector<Chain> chains;
    std::vector<std::int64_t> molecules;
    // By chain: a ring whose closing bond is not its own minimum image once
    // unwrapped winds around the periodic box (it is not closed in space and
    // has no knot type as a ring).
    std::vector<bool> winding;
    // By chain, when gaps are checked (empty otherwise).
    std::vector<ChainGap> gaps;
};

// The chains of a frame. Unwrapping, where the box is periodic: nothing for
// unwrapped positions, image flags when the frame has them, else the minimum
// image of every bond. Errors (DataParse): "the frame has no atom types to
// keep types {} by", "{} atoms are not a whole number of chains of {}",
// "the box has a periodic edge of length {}"; with a layout, "the frame has
// {} atoms, the topology {}", "the frame has no atom ids to match the
// topology's", "atom id {} of the topology is not in the frame".
Result<FrameChains> chains_of_frame(const LammpsFrame& frame, const ChainSelection& selection);

// The chains of a layout (by index) gathered from `positions`, unwrapped by
// the minimum image of every bond when `box` is given, gaps checked when
// asked. Error (DataParse): "atom {} of the layout is beyond the {} positions".
Result<FrameChains> gather_chains(const Chain& positions, const ChainLayout& layout, const PeriodicBox* box,
                                  bool check_gaps);

// The first bond of a chain longer than kGapFactor times the median of its
// bonds; none when the median is zero or the chain has fewer than 3 points.
ChainGap first_gap(const Chain& chain);

// Whether a chain's atoms are scattered (the nearest atoms judged for up to
// 64 atoms spread along it); none for fewer than kScatterAtoms atoms. Judged
// on positions as a frame gives them, before unwrapping.
ChainGap scattered_atoms(const Chain& chain);

}  // namespace skeinlab
