// LAMMPS data files (read_data, write_data): the topology a dump lacks.
//
//   LAMMPS data file via write_data ...     (the first line is a title)
//   22 atoms                                (header: counts, box bounds)
//   1 bonds
//   2 atom types
//   0 10 xlo xhi
//   Atom Type Labels                        (optional: a name for each type)
//   1 CA
//   Atoms # full                            (the atom style names the columns)
//   4 0 2 0 5.88 3.41 0.24 0 0 0            (id mol type q x y z [ix iy iz])
//   Bonds
//   1 1 4 10                                (id type atom1 atom2)
//
// Read: the atoms' ids, molecule ids (for the styles that have them), types and
// positions, the type labels and the bonds; every other section is skipped.
// Types may be written as their labels. Without a style comment, the style is
// told from the columns: 5 (or 8 with image flags) atomic, 7 (10) full, 6 (9)
// molecular when the third column holds integers, charge otherwise.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "io/lines.hpp"

namespace skeinlab {

struct LammpsTopology {
    std::string style;  // the atom style read ("full", "molecular", ...)
    // By atom, in increasing id; `molecules` empty for a style without them.
    std::vector<std::int64_t> ids, molecules, types;
    Chain positions;
    // type_labels[t] is the label of type t (empty when it has none); the
    // vector has one entry more than the number of atom types.
    std::vector<std::string> type_labels;
    // Bonds as pairs of atom indices (positions in `ids`).
    std::vector<std::array<std::int64_t, 2>> bonds;
};

// Reads a data file. Errors are DataParse with the line: "line {}: bad {what}:
// '{}'", "line {}: atom style '{}' is not supported", "line {}: the Atoms
// section has {} columns, which fit no atom style; name it ('Atoms # full')",
// "line {}: unknown atom type '{}'", "line {}: bond {} joins atom id {}, which
// is not in the Atoms section", "duplicate atom id {}", "the file declares {}
// atoms but its Atoms section has {}", "no Atoms section", "unexpected end of
// file in the {} section"; or Io from the reader.
Result<LammpsTopology> read_lammps_data(LineReader& reader);

}  // namespace skeinlab
