// PDB files: the coordinates of ATOM and HETATM records, one frame per MODEL.
#pragma once

#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "io/lines.hpp"

namespace skeinlab {

// The frames of a PDB stream. `alpha_carbons_only` keeps the records whose
// atom name (columns 13-16, trimmed) is "CA". Without MODEL records all atoms
// form one frame; "MODEL n" selects frame n - 1 (MODEL 0 and 1 share frame 0;
// a MODEL without a number starts a new frame). Errors are DataParse errors
// whose message is the whole text the caller shows: a read failure's own
// text, "MODEL number at PDB line {} is more than 1000000 models beyond the {}
// read so far", "PDB line {} would pad {} frames to {} atoms: ...", "Invalid
// {x|y|z} at PDB line {}: {}", and "No ATOM/HETATM records found in PDB file.".
Result<FrameSet> read_pdb_frames(LineReader& reader, bool alpha_carbons_only);

}  // namespace skeinlab
