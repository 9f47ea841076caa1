// XYZ trajectories: one frame is a point count, a comment line and one
// "type x y z" line per point.
#pragma once

#include <string>

#include "error.hpp"
#include "geometry.hpp"
#include "lines.hpp"

namespace skeinlab {

// A coordinate in fixed notation with 5 decimals, right-aligned in 10
// characters (longer numbers in full); "NaN", "inf" and "-inf" likewise.
std::string format_coordinate(double value);

// "1", a tab, x, a tab, y, a tab, z, as written for one point.
std::string format_xyz_point_line(const Point3& p);

// Parses a whole stream into frames. Blank lines may stand before, between
// and after frames. Errors: Io (read failure, invalid UTF-8) or DataParse
// ("invalid point count: {}", "unexpected EOF after XYZ point count",
// "unexpected EOF in XYZ data line {}", "line {}: expected 'type x y z', got
// '{}'", "bad x at line {}: {}" and likewise for y and z).
Result<FrameSet> read_data_xyz_frames(LineReader& reader);

// Appends one frame to the writer; a write failure is Io.
Status write_data_xyz(const Chain& points, FileWriter& writer);

}  // namespace skeinlab
