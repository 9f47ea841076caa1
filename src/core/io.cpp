#include "io.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text.hpp"

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

Result<FrameSet> read_data_xyz_frames(LineReader& reader) {
    FrameSet frames;
    std::string line;
    // A declared count is trusted for reservation only up to this many points;
    // beyond it the frame grows as its points arrive.
    constexpr std::uint64_t kReserveLimit = 1u << 20;
    for (;;) {
        Result<bool> more = reader.next(line);
        if (!more) return more.error();
        if (!more.value()) return frames;
        const std::string_view count_text = text::trim(line);
        if (count_text.empty()) continue;
        const auto count = text::parse_u64(count_text);
        if (!count.value) return KnotError::data_parse(std::string("invalid point count: ") + count.error);
        more = reader.next(line);
        if (!more) return more.error();
        if (!more.value()) return KnotError::data_parse("unexpected EOF after XYZ point count");

        Chain frame;
        frame.reserve(static_cast<std::size_t>(std::min(*count.value, kReserveLimit)));
        for (std::uint64_t b = 1; b <= *count.value; ++b) {
            more = reader.next(line);
            if (!more) return more.error();
            if (!more.value())
                return KnotError::data_parse("unexpected EOF in XYZ data line " + std::to_string(b));
            const std::vector<std::string_view> fields = text::split_whitespace(line);
            const std::string line_number = std::to_string(b + 2);
            if (fields.size() < 4)
                return KnotError::data_parse("line " + line_number + ": expected 'type x y z', got '" +
                                             std::string(text::trim(line)) + "'");
            double xyz[3];
            static const char* const kAxes[3] = {"x", "y", "z"};
            for (int k = 0; k < 3; ++k) {
                const auto value = text::parse_f64(fields[static_cast<std::size_t>(k) + 1]);
                if (!value.value)
                    return KnotError::data_parse(std::string("bad ") + kAxes[k] + " at line " + line_number + ": " +
                                                 value.error);
                xyz[k] = *value.value;
            }
            frame.push_back({xyz[0], xyz[1], xyz[2]});
        }
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
