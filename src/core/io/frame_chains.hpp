// The chains of a simulation frame: atoms kept by type, grouped into chains
// by molecule or by a fixed length, and unwrapped across the periodic box.
#pragma once

#include <cstdint>
#include <vector>

#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "io/lammps.hpp"

namespace skeinlab {

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
};

struct FrameChains {
    // By chain, in increasing molecule id: its atoms in id order, unwrapped.
    std::vector<Chain> chains;
    std::vector<std::int64_t> molecules;
    // By chain: a ring whose closing bond is not its own minimum image once
    // unwrapped winds around the periodic box (it is not closed in space and
    // has no knot type as a ring).
    std::vector<bool> winding;
};

// The chains of a frame. Unwrapping, where the box is periodic: nothing for
// unwrapped positions, image flags when the frame has them, else the minimum
// image of every bond. Errors (DataParse): "the frame has no atom types to
// keep types {} by", "{} atoms are not a whole number of chains of {}",
// "the box has a periodic edge of length {}".
Result<FrameChains> chains_of_frame(const LammpsFrame& frame, const ChainSelection& selection);

}  // namespace skeinlab
