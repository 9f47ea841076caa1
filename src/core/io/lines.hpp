// Buffered line reading and writing over POSIX file descriptors with 8192-byte
// buffers. Lines are checked to be UTF-8 as they are read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace skeinlab {

inline constexpr std::size_t kFileBufferSize = 8192;
// The longest line a reader accepts, its final "\n" included: a longer one is
// the DataParse error "line {} is longer than 1048576 bytes", so that a file
// without line breaks (such as /dev/zero) cannot grow a line without end.
inline constexpr std::size_t kMaxLineBytes = 1u << 20;
// The buffer of a reader read through next_view: large reads, few copies.
inline constexpr std::size_t kViewBufferSize = 1 << 18;

class LineReader {
public:
    // Opens a file for reading; the error is Io with "{} (os error {})".
    static Result<LineReader> open(const std::string& path);
    // Reads from text held in memory (the built-in table).
    static LineReader from_text(std::string_view text);

    LineReader(LineReader&& other) noexcept;
    LineReader& operator=(LineReader&&) = delete;
    LineReader(const LineReader&) = delete;
    ~LineReader();

    // Reads the next line into `line`, with its final "\n" when it has one.
    // Returns false at the end of the input. A read failure or a line that is
    // not valid UTF-8 ("stream did not contain valid UTF-8") is an Io error;
    // a line longer than kMaxLineBytes is a DataParse error.
    Result<bool> next(std::string& line);

    // As next, without copying: `line` views the reader's buffer until the
    // next call, and `ascii` tells whether the line is plain ASCII (checked
    // eight bytes at a time; other lines are checked to be UTF-8 in full,
    // unless check_utf8 is false: a reader that skips some lines checks only
    // those it reads, with not_utf8). lines_read() names the line.
    Result<bool> next_view(std::string_view& line, bool& ascii, bool check_utf8 = true);

    // The complete lines buffered after the last line read, up to and with
    // the last "\n" buffered (reading more when no "\n" is), for a caller
    // that parses many lines in one pass; empty at the end of the input or
    // when the next line does not end in the buffer (next_view reads it, and
    // a final line without "\n"). The caller checks the bytes it accepts
    // (the view is not checked to be UTF-8) and passes them to skip_buffered.
    std::string_view buffered_lines();
    // Marks the first `bytes` of buffered_lines(), which hold `lines` lines,
    // as read.
    void skip_buffered(std::size_t bytes, std::size_t lines);

    // Lines read so far.
    std::size_t lines_read() const { return lines_; }

private:
    // Reads more of the file into the buffer after moving its unread bytes
    // to the front; false at the end of the file.
    Result<bool> read_more();
    LineReader(int fd, std::string_view text);
    int fd_ = -1;
    std::string_view text_;  // in-memory input when fd_ < 0
    std::string buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::size_t lines_ = 0;  // lines read, for the message of a line too long
};

// Lines viewed from a reader (next_view), counted for the frame readers'
// messages: the lines read (after an error, the line where it was found, a
// line that is not UTF-8 named as such) and their bytes.
class CountedLines {
public:
    explicit CountedLines(LineReader& reader) : reader_(reader) {}

    // The next line, as next_view gives it; false at the end of the input.
    Result<bool> next(std::string_view& line, bool& ascii);
    // Lines parsed in one pass, as LineReader::buffered_lines and
    // skip_buffered give them.
    std::string_view buffered_lines() { return reader_.buffered_lines(); }
    void skip_buffered(std::size_t bytes, std::size_t lines) {
        reader_.skip_buffered(bytes, lines);
        lines_ += lines;
        bytes_ += bytes;
    }
    std::uint64_t lines() const { return lines_; }
    std::uint64_t bytes() const { return bytes_; }

private:
    LineReader& reader_;
    std::uint64_t lines_ = 0;
    std::uint64_t bytes_ = 0;
};

// Buffered writer. Construction never fails; errors surface from write/flush
// as Io with "{} (os error {})".
class FileWriter {
public:
    // Opens for writing with create and truncate, or create and append
    // (permission bits 0o666 under the umask). Error: "{} (os error {})".
    static Result<FileWriter> open(const std::string& path, bool append);
    FileWriter(FileWriter&& other) noexcept;
    FileWriter& operator=(FileWriter&&) = delete;
    FileWriter(const FileWriter&) = delete;
    ~FileWriter();

    Status write(std::string_view bytes);
    Status flush();
    // Flushes and closes; reports a failure of either.
    Status close();

private:
    explicit FileWriter(int fd);
    int fd_ = -1;
    std::string buffer_;
};

// True when the path's metadata can be read (following symbolic links). A
// path with an embedded NUL byte names no file.
bool path_exists(const std::string& path);

// The Io error "stream did not contain valid UTF-8".
KnotError not_utf8();

// Whether `error` is not_utf8(); and that error with the note "line {line} is
// not valid UTF-8" (lines counted from 1).
bool is_not_utf8(const KnotError& error);
KnotError not_utf8_at(std::size_t line);

// Removes a final "\n" and a "\r" just before it.
std::string_view strip_line_ending(std::string_view line);

}  // namespace skeinlab
