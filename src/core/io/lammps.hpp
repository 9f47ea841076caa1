// LAMMPS text dumps ("dump atom" and "dump custom"), one frame at a time:
//
//   ITEM: TIMESTEP                      (ITEM: UNITS and ITEM: TIME, with
//   100                                  their line, may come first)
//   ITEM: NUMBER OF ATOMS
//   3
//   ITEM: BOX BOUNDS pp pp pp           (triclinic: BOX BOUNDS xy xz yz pp pp pp,
//   0 10                                 each line "lo_bound hi_bound tilt")
//   0 10
//   0 10
//   ITEM: ATOMS id mol type x y z ix iy iz   (columns in any order)
//   1 1 1 0.5 0.5 0.5 0 0 0
//   ...
//
// Positions from xu yu zu (unwrapped), xsu ysu zsu (scaled, unwrapped), x y z
// or xs ys zs (scaled), the first of these the columns have; scaled ones are
// fractions of the box. Atoms are put in id order when there is an id column.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "geometry/periodic.hpp"
#include "io/lines.hpp"

namespace skeinlab {

struct LammpsFrame {
    std::int64_t timestep = 0;
    // The box; a direction is periodic when its boundary flag is "pp".
    PeriodicBox box;
    // Positions in Cartesian coordinates; `unwrapped` when they came from
    // unwrapped columns (xu or xsu), so that image flags do not apply.
    Chain positions;
    bool unwrapped = false;
    // By atom, in the order of `positions`; empty when the dump has no such
    // column (id, mol, type, and ix iy iz together).
    std::vector<std::int64_t> ids, molecules, types;
    std::vector<std::array<std::int32_t, 3>> images;
};

// Reads a dump frame by frame (memory bounded by one frame). Errors are
// DataParse with the line ("line {}: expected 'ITEM: TIMESTEP', got '{}'",
// "line {}: bad timestep: {}", "line {}: bad atom count: {}", "line {}: bad
// box bounds: '{}'", "line {}: the atoms have no x y z, xu yu zu, xs ys zs
// or xsu ysu zsu columns", "line {}: expected {} columns, got {}", "line {}:
// bad {column}: {}", "duplicate atom id {} in frame {}", "unexpected end of
// file in frame {}") or Io from the reader; lines_read() names the line.
class LammpsReader {
public:
    explicit LammpsReader(LineReader& reader) : input_(reader) {}

    // Reads the next frame into `frame`; false at the end of the input.
    Result<bool> next(LammpsFrame& frame);

    // Frames read in full so far (after an error, the number of the frame
    // that failed, from 0); lines read so far (after an error, the line
    // where it was found, from 1); bytes of the lines read so far.
    std::uint64_t frames_read() const { return frames_; }
    std::uint64_t lines_read() const { return input_.lines(); }
    std::uint64_t bytes_read() const { return input_.bytes(); }

private:
    Result<bool> required_line(std::string_view& line, bool& ascii);
    Result<bool> read_atoms(LammpsFrame& frame, std::string_view header, std::uint64_t count);

    CountedLines input_;
    std::uint64_t frames_ = 0;
};

}  // namespace skeinlab
