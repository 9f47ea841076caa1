#include "runtime/memory.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace skeinlab {
namespace {

// The first number of a file such as memory.max ("max" when unlimited).
std::optional<std::size_t> number_in_file(const char* path) {
    std::ifstream in(path);
    std::string word;
    if (!(in >> word)) return std::nullopt;
    return parse_memory_size(word);
}

// MemAvailable of /proc/meminfo, in bytes.
std::optional<std::size_t> mem_available() {
    std::ifstream in("/proc/meminfo");
    std::string key, unit;
    std::size_t kib = 0;
    while (in >> key >> kib) {
        std::getline(in, unit);
        if (key == "MemAvailable:") return kib * 1024;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::size_t> parse_memory_size(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    unsigned shift = 0;
    switch (text.back()) {
        case 'K': shift = 10; break;
        case 'M': shift = 20; break;
        case 'G': shift = 30; break;
        case 'T': shift = 40; break;
        default: break;
    }
    if (shift) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (shift && value > (UINT64_MAX >> shift)) return std::nullopt;
    return static_cast<std::size_t>(value << shift);
}

std::size_t available_memory() {
    std::size_t bytes = mem_available().value_or(SIZE_MAX);
    // A control group's limit (version 2), less what the group uses.
    if (const auto limit = number_in_file("/sys/fs/cgroup/memory.max"))
        if (const auto used = number_in_file("/sys/fs/cgroup/memory.current"))
            bytes = std::min(bytes, *limit > *used ? *limit - *used : 0);
    return std::min(bytes, environment_memory_limit());
}

std::size_t environment_memory_limit() {
    if (const char* set = std::getenv("SKEINLAB_MAX_MEMORY"))
        if (const auto limit = parse_memory_size(set)) return *limit;
    return SIZE_MAX;
}

std::string memory_text(std::size_t bytes) {
    const double b = static_cast<double>(bytes);
    char text[32];
    if (b >= 1e9) std::snprintf(text, sizeof text, b >= 1e10 ? "%.0f GB" : "%.1f GB", b / 1e9);
    else std::snprintf(text, sizeof text, b >= 1e7 ? "%.0f MB" : "%.1f MB", b / 1e6);
    return text;
}

}  // namespace skeinlab
