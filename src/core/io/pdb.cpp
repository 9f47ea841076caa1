#include "io/pdb.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "base/text.hpp"

namespace skeinlab {
namespace {

// A MODEL number may run ahead of the frames read so far by at most this
// many frames; farther jumps are refused rather than allocated.
constexpr std::uint64_t kMaxModelJump = 1000000;

// The padded result (frames times the widest frame) may hold at most this
// many points per coordinate read, plus kPaddedFloor: memory stays
// proportional to the file, so chained MODEL jumps cannot build millions of
// empty frames.
constexpr std::uint64_t kPaddedPerPoint = 16;
constexpr std::uint64_t kPaddedFloor = 1u << 22;

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Bytes [start, end) of the line, or empty when the line is too short or a
// boundary falls inside a multi-byte character.
std::string_view column(std::string_view line, std::size_t start, std::size_t end) {
    if (line.size() < end) return {};
    if (start < line.size() && is_continuation_byte(line[start])) return {};
    if (end < line.size() && is_continuation_byte(line[end])) return {};
    return line.substr(start, end - start);
}

// Parses one coordinate column; on failure `error` holds the message.
std::optional<double> parse_pdb_coord(std::string_view line, std::size_t start, std::size_t end, const char* axis,
                                      std::size_t line_number, std::string& error) {
    const auto value = text::parse_f64(text::trim(column(line, start, end)));
    if (value.value) return value.value;
    error = std::string("Invalid ") + axis + " at PDB line " + std::to_string(line_number) + ": " + value.error;
    return std::nullopt;
}

bool starts_with(std::string_view line, std::string_view prefix) {
    return line.size() >= prefix.size() && line.substr(0, prefix.size()) == prefix;
}

}  // namespace

Result<FrameSet> read_pdb_frames(LineReader& reader, bool alpha_carbons_only) {
    FrameSet frames;
    std::size_t current = 0;
    std::size_t line_number = 0;
    std::uint64_t points = 0;
    std::uint64_t widest = 0;
    // The padded size frames x widest after growing to `frame_count`
    // frames of up to `width` points, refused beyond the bound.
    const auto too_padded = [&](std::uint64_t frame_count, std::uint64_t width) {
        const long double cells = static_cast<long double>(frame_count) *
                                  static_cast<long double>(std::max<std::uint64_t>(width, 1));
        return cells > static_cast<long double>(kPaddedPerPoint) * static_cast<long double>(points) +
                           static_cast<long double>(kPaddedFloor);
    };
    const auto padding_error = [&](std::uint64_t frame_count, std::uint64_t width) {
        return KnotError::data_parse("PDB line " + std::to_string(line_number) + " would pad " +
                                   std::to_string(frame_count) + " frames to " +
                                   std::to_string(std::max<std::uint64_t>(width, 1)) + " atoms: more than " +
                                   std::to_string(kPaddedPerPoint) + " points per coordinate read (" +
                                   std::to_string(points) + ") plus " + std::to_string(kPaddedFloor));
    };
    bool stored = false;
    std::string_view line;
    std::string last_line;  // a final line without "\n", given one
    bool ascii = false;
    std::string error;
    for (;;) {
        // Records that are not read are not decoded (a REMARK may hold any bytes).
        Result<bool> more = reader.next_view(line, ascii, false);
        if (!more) return KnotError::data_parse(more.error().message()).with_note(more.error().note());
        if (!more.value()) break;
        ++line_number;
        const bool model = starts_with(line, "MODEL");
        if (!model && !starts_with(line, "ATOM") && !starts_with(line, "HETATM")) continue;
        if (!ascii && !text::valid_utf8(line))
            return KnotError::data_parse(not_utf8().message()).with_note(not_utf8_at(line_number).note());
        if (line.empty() || line.back() != '\n') {
            // The columns of a last line without its line break, as with it.
            last_line.assign(line);
            last_line += '\n';
            line = last_line;
        }
        if (model) {
            const auto tokens = text::split_whitespace(std::string_view(line).substr(5));
            std::uint64_t target = frames.size();
            if (!tokens.empty()) {
                const auto number = text::parse_u64(tokens[0]);
                if (number.value) target = *number.value == 0 ? 0 : *number.value - 1;
            }
            if (target >= frames.size()) {
                if (target - frames.size() > kMaxModelJump)
                    return KnotError::data_parse("MODEL number at PDB line " + std::to_string(line_number) +
                                               " is more than " + std::to_string(kMaxModelJump) +
                                               " models beyond the " + std::to_string(frames.size()) +
                                               " read so far");
                if (too_padded(target + 1, widest)) return padding_error(target + 1, widest);
                frames.resize(static_cast<std::size_t>(target) + 1);
            }
            current = static_cast<std::size_t>(target);
            continue;
        }
        if (frames.size() <= current) frames.resize(current + 1);
        if (alpha_carbons_only && text::trim(column(line, 12, 16)) != "CA") continue;
        const auto x = parse_pdb_coord(line, 30, 38, "x", line_number, error);
        if (!x) return KnotError::data_parse(error);
        const auto y = parse_pdb_coord(line, 38, 46, "y", line_number, error);
        if (!y) return KnotError::data_parse(error);
        const auto z = parse_pdb_coord(line, 46, 54, "z", line_number, error);
        if (!z) return KnotError::data_parse(error);
        if (frames[current].size() + 1 > widest) {
            if (too_padded(frames.size(), frames[current].size() + 1))
                return padding_error(frames.size(), frames[current].size() + 1);
            widest = frames[current].size() + 1;
        }
        frames[current].push_back({*x, *y, *z});
        ++points;
        stored = true;
    }
    if (!stored) return KnotError::data_parse("No ATOM/HETATM records found in PDB file.");
    return frames;
}

}  // namespace skeinlab
