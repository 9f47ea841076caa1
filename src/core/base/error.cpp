#include "base/error.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace skeinlab {

std::string KnotError::display() const {
    switch (kind_) {
        case Kind::Io: return "I/O error: " + message_;
        case Kind::PolynomialParse: return "failed to parse polynomial: " + message_;
        case Kind::DataParse: return "failed to parse data: " + message_;
        case Kind::NotFound: return "knot type not found for computed polynomial: " + message_;
    }
    return message_;
}

std::string os_error_text(int errnum) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(errnum, buffer, sizeof buffer);
    return std::string(text) + " (os error " + std::to_string(errnum) + ")";
}

void write_debug_line(std::string line) {
    line += '\n';
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t put = ::write(STDERR_FILENO, data, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // diagnostics are best effort
        data += put;
        left -= static_cast<std::size_t>(put);
    }
}

}  // namespace skeinlab
