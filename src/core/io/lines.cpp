#include "io/lines.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/text.hpp"

namespace skeinlab {

LineReader::LineReader(int fd, std::string_view text) : fd_(fd), text_(text) {
    if (fd_ >= 0) buffer_.resize(kFileBufferSize);
}

namespace {

KnotError line_too_long(std::size_t line_number) {
    return KnotError::data_parse("line " + std::to_string(line_number) + " is longer than " +
                                 std::to_string(kMaxLineBytes) + " bytes");
}

}  // namespace

KnotError not_utf8() { return KnotError::io("stream did not contain valid UTF-8"); }

bool is_not_utf8(const KnotError& error) {
    return error.kind() == KnotError::Kind::Io && error.message() == not_utf8().message();
}

KnotError not_utf8_at(std::size_t line) {
    return not_utf8().with_note("line " + std::to_string(line) + " is not valid UTF-8");
}

namespace {

// True when no byte of s has its high bit set.
bool is_ascii(std::string_view s) {
    const char* p = s.data();
    std::size_t n = s.size();
    std::uint64_t any = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        any |= word;
    }
    for (; n > 0; ++p, --n) any |= static_cast<unsigned char>(*p);
    return (any & 0x8080808080808080ull) == 0;
}

}  // namespace

Result<bool> LineReader::next_view(std::string_view& line, bool& ascii, bool check_utf8) {
    if (fd_ < 0) {
        if (pos_ >= text_.size()) return false;
        const std::size_t nl = text_.find('\n', pos_);
        const std::size_t stop = nl == std::string_view::npos ? text_.size() : nl + 1;
        line = text_.substr(pos_, stop - pos_);
        pos_ = stop;
    } else {
        // Reads ahead in large blocks; a line that runs past the buffered
        // bytes is moved to the front and completed, growing the buffer when
        // a single line fills it.
        if (buffer_.size() < kViewBufferSize) buffer_.resize(kViewBufferSize);
        std::size_t scanned = pos_;
        for (;;) {
            const void* nl = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
            if (nl) {
                const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(nl) - buffer_.data()) + 1;
                line = std::string_view(buffer_.data() + pos_, stop - pos_);
                pos_ = stop;
                break;
            }
            if (end_ - pos_ > kMaxLineBytes) return line_too_long(lines_ + 1);
            const std::size_t unread = end_ - pos_;
            Result<bool> more = read_more();
            if (!more) return more.error();
            if (!more.value()) {
                if (end_ == pos_) return false;
                line = std::string_view(buffer_.data() + pos_, end_ - pos_);
                pos_ = end_;
                break;
            }
            scanned = pos_ + unread;
        }
    }
    ++lines_;
    if (line.size() > kMaxLineBytes) return line_too_long(lines_);
    ascii = is_ascii(line);
    if (check_utf8 && !ascii && !text::valid_utf8(line)) return not_utf8();
    return true;
}

Result<bool> LineReader::read_more() {
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(2 * buffer_.size());
    ssize_t got;
    do {
        got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return KnotError::io(os_error_text(errno));
    end_ += static_cast<std::size_t>(got);
    return got > 0;
}

std::string_view LineReader::buffered_lines() {
    const auto complete = [this]() -> std::string_view {
        const char* const base = fd_ < 0 ? text_.data() : buffer_.data();
        const std::size_t end = fd_ < 0 ? text_.size() : end_;
        const void* nl = pos_ < end ? ::memrchr(base + pos_, '\n', end - pos_) : nullptr;
        if (!nl) return {};
        return std::string_view(base + pos_, static_cast<std::size_t>(static_cast<const char*>(nl) - (base + pos_)) + 1);
    };
    std::string_view lines = complete();
    // Only a file can have more to read; a read that fails or finds the end
    // is left to next_view, which reports it.
    if (!lines.empty() || fd_ < 0 || end_ - pos_ > kMaxLineBytes) return lines;
    if (buffer_.size() < kViewBufferSize) buffer_.resize(kViewBufferSize);
    Result<bool> more = read_more();
    if (!more || !more.value()) return {};
    return complete();
}

void LineReader::skip_buffered(std::size_t bytes, std::size_t lines) {
    pos_ += bytes;
    lines_ += lines;
}

LineReader::LineReader(LineReader&& other) noexcept
    : fd_(other.fd_),
      text_(other.text_),
      buffer_(std::move(other.buffer_)),
      pos_(other.pos_),
      end_(other.end_),
      lines_(other.lines_) {
    other.fd_ = -1;
}

LineReader::~LineReader() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {
constexpr const char* kNulInPath = "file name contained an unexpected NUL byte";
}

bool path_exists(const std::string& path) {
    struct stat info;
    return path.find('\0') == std::string::npos && ::stat(path.c_str(), &info) == 0;
}

Result<LineReader> LineReader::open(const std::string& path) {
    if (path.find('\0') != std::string::npos) return KnotError::io(kNulInPath);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return KnotError::io(os_error_text(errno));
    return LineReader(fd, {});
}

LineReader LineReader::from_text(std::string_view text) { return LineReader(-1, text); }

Result<bool> LineReader::next(std::string& line) {
    line.clear();
    if (fd_ < 0) {
        if (pos_ >= text_.size()) return false;
        const std::size_t nl = text_.find('\n', pos_);
        const std::size_t stop = nl == std::string_view::npos ? text_.size() : nl + 1;
        line.assign(text_.substr(pos_, stop - pos_));
        pos_ = stop;
    } else {
        for (;;) {
            if (pos_ == end_) {
                ssize_t got;
                do {
                    got = ::read(fd_, buffer_.data(), buffer_.size());
                } while (got < 0 && errno == EINTR);
                if (got < 0) return KnotError::io(os_error_text(errno));
                pos_ = 0;
                end_ = static_cast<std::size_t>(got);
                if (got == 0) break;
            }
            const char* start = buffer_.data() + pos_;
            const void* nl = std::memchr(start, '\n', end_ - pos_);
            if (nl) {
                const std::size_t len = static_cast<std::size_t>(static_cast<const char*>(nl) - start) + 1;
                line.append(start, len);
                pos_ += len;
                break;
            }
            line.append(start, end_ - pos_);
            pos_ = end_;
            if (line.size() > kMaxLineBytes) return line_too_long(lines_ + 1);
        }
        if (line.empty()) return false;
    }
    ++lines_;
    if (line.size() > kMaxLineBytes) return line_too_long(lines_);
    if (!text::valid_utf8(line)) return not_utf8();
    return true;
}

FileWriter::FileWriter(int fd) : fd_(fd) { buffer_.reserve(kFileBufferSize); }

FileWriter::FileWriter(FileWriter&& other) noexcept : fd_(other.fd_), buffer_(std::move(other.buffer_)) {
    other.fd_ = -1;
}

FileWriter::~FileWriter() {
    if (fd_ >= 0) ::close(fd_);
}

Result<FileWriter> FileWriter::open(const std::string& path, bool append) {
    if (path.find('\0') != std::string::npos) return KnotError::io(kNulInPath);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return KnotError::io(os_error_text(errno));
    return FileWriter(fd);
}

namespace {
Status write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return KnotError::io(os_error_text(errno));
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return ok_status();
}
}  // namespace

Status FileWriter::write(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kFileBufferSize) {
        Status flushed = flush();
        if (!flushed) return flushed;
        if (bytes.size() >= kFileBufferSize) return write_all(fd_, bytes.data(), bytes.size());
    }
    buffer_.append(bytes);
    return ok_status();
}

Status FileWriter::flush() {
    if (buffer_.empty()) return ok_status();
    Status written = write_all(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
}

Status FileWriter::close() {
    Status flushed = flush();
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && flushed) return KnotError::io(os_error_text(errno));
    return flushed;
}

std::string_view strip_line_ending(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    }
    return line;
}

Result<bool> CountedLines::next(std::string_view& line, bool& ascii) {
    Result<bool> more = reader_.next_view(line, ascii);
    if (!more) {
        ++lines_;  // the line that could not be read counts as read
        if (is_not_utf8(more.error())) return not_utf8_at(lines_);
    }
    if (more && more.value()) {
        ++lines_;
        bytes_ += line.size();
    }
    return more;
}

}  // namespace skeinlab
