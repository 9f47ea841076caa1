#include "io/xyz.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/text.hpp"

namespace skeinlab {

std::string format_coordinate(double value) {
    if (std::isnan(value)) return "       NaN";
    if (std::isinf(value)) return value > 0 ? "       inf" : "      -inf";
    // glibc prints the exact binary value rounded half to even, and keeps the
    // sign of negative zero.
    char buffer[512];
    const int len = std::snprintf(buffer, sizeof buffer, "%10.5f", value);
    return std::string(buffer, static_cast<std::size_t>(len));
}

std::string format_xyz_point_line(const Point3& p) {
    std::string line = "1\t";
    line += format_coordinate(p.x);
    line += '\t';
    line += format_coordinate(p.y);
    line += '\t';
    line += format_coordinate(p.z);
    return line;
}

Result<bool> XyzReader::next(Chain& frame) {
    // A declared count is trusted for reservation only up to this many points;
    // beyond it the frame grows as its points arrive.
    constexpr std::uint64_t kReserveLimit = 1u << 20;
    frame.clear();
    std::string_view line;
    bool ascii = false;
    std::uint64_t count = 0;
    for (;;) {
        Result<bool> more = input_.next(line, ascii);
        if (!more) return more.error();
        if (!more.value()) return false;
        const std::string_view count_text = text::trim(line);
        if (count_text.empty()) continue;
        const auto parsed = text::parse_u64(count_text);
        if (!parsed.value) {
            // A point line where a count belongs: the frame before holds more
            // points than its count said.
            std::string_view fields[4];
            if (frames_ > 0 && text::split_ascii(line, fields, 4) == 4 && text::parse_f64(fields[1]).value &&
                text::parse_f64(fields[2]).value && text::parse_f64(fields[3]).value)
                return KnotError::data_parse("line " + std::to_string(input_.lines()) + ": expected a point count, got '" +
                                             std::string(count_text) + "' (frame " + std::to_string(frames_ - 1) +
                                             " has more points than its count)");
            return KnotError::data_parse(std::string("invalid point count: ") + parsed.error);
        }
        count = *parsed.value;
        break;
    }
    Result<bool> more = input_.next(line, ascii);
    if (!more) return more.error();
    if (!more.value()) return KnotError::data_parse("unexpected EOF after XYZ point count");

    frame.reserve(static_cast<std::size_t>(std::min(count, kReserveLimit)));
    static const char* const kAxes[3] = {"x", "y", "z"};
    std::string_view fields[4];
    std::vector<std::string_view> split;
    for (std::uint64_t b = 1; b <= count; ++b) {
        more = input_.next(line, ascii);
        if (!more) return more.error();
        if (!more.value()) return KnotError::data_parse("unexpected EOF in XYZ data line " + std::to_string(b));
        std::size_t found = 0;
        if (ascii) {
            found = text::split_ascii(line, fields, 4);
        } else {
            split = text::split_whitespace(line);
            found = std::min<std::size_t>(split.size(), 4);
            for (std::size_t k = 0; k < found; ++k) fields[k] = split[k];
        }
        if (found < 4)
            return KnotError::data_parse("line " + std::to_string(b + 2) + ": expected 'type x y z', got '" +
                                         std::string(text::trim(line)) + "'");
        double xyz[3];
        for (int k = 0; k < 3; ++k) {
            const auto value = text::parse_f64(fields[k + 1]);
            if (!value.value)
                return KnotError::data_parse(std::string("bad ") + kAxes[k] + " at line " + std::to_string(b + 2) +
                                             ": " + value.error);
            xyz[k] = *value.value;
        }
        frame.push_back({xyz[0], xyz[1], xyz[2]});
    }
    ++frames_;
    return true;
}

Result<FrameSet> read_data_xyz_frames(LineReader& reader) {
    XyzReader xyz(reader);
    FrameSet frames;
    Chain frame;
    for (;;) {
        Result<bool> more = xyz.next(frame);
        if (!more) return more.error();
        if (!more.value()) return frames;
        frames.push_back(std::move(frame));
    }
}

Status write_data_xyz(const Chain& points, FileWriter& writer) {
    Status status = writer.write(std::to_string(points.size()) + "\n\n");
    if (!status) return status;
    std::string line;
    for (const Point3& p : points) {
        line = format_xyz_point_line(p);
        line += '\n';
        status = writer.write(line);
        if (!status) return status;
    }
    return ok_status();
}

}  // namespace skeinlab
