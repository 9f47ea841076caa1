// XYZ trajectories: one frame is a point count, a comment line and one
// "type x y z" line per point.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "geometry/geometry.hpp"
#include "io/lines.hpp"

namespace skeinlab {

// A coordinate in fixed notation with 5 decimals, right-aligned in 10
// characters (longer numbers in full); "NaN", "inf" and "-inf" likewise.
std::string format_coordinate(double value);

// "1", a tab, x, a tab, y, a tab, z, as written for one point.
std::string format_xyz_point_line(const Point3& p);

// Reads an XYZ stream one frame at a time, with the grammar and the errors of
// read_data_xyz_frames. Lines are viewed in the reader's buffer (no copies);
// plain ASCII lines are split by a fast path, others by the Unicode one.
class XyzReader {
public:
    explicit XyzReader(LineReader& reader) : input_(reader) {}

    // Reads the next frame into `frame` (replacing its points); false at the
    // end of the input.
    Result<bool> next(Chain& frame);

    // Frames read in full so far: after an error, the number of the frame
    // that failed (counting from 0).
    std::uint64_t frames_read() const { return frames_; }
    // Lines read so far: after an error, the line of the input where it was
    // found (counting from 1).
    std::uint64_t lines_read() const { return input_.lines(); }
    // Bytes of the lines read so far.
    std::uint64_t bytes_read() const { return input_.bytes(); }

private:
    CountedLines input_;
    std::uint64_t frames_ = 0;
};

// Parses a whole stream into frames. Blank lines may stand before, between
// and after frames. Errors: Io (read failure, invalid UTF-8) or DataParse
// ("invalid point count: {}", "line {}: expected a point count, got '{}'
// (frame {} has more points than its count)" for a point line where a count
// belongs, "unexpected EOF after XYZ point count",
// "unexpected EOF in XYZ data line {}", "line {}: expected 'type x y z', got
// '{}'", "bad x at line {}: {}" and likewise for y and z).
Result<FrameSet> read_data_xyz_frames(LineReader& reader);

// Appends one frame to the writer; a write failure is Io.
Status write_data_xyz(const Chain& points, FileWriter& writer);

}  // namespace skeinlab
