#include "invariants/knot_census.hpp"

#include <algorithm>
#include <cstring>

#include "base/error.hpp"

// The census file, embedded by the assembler (the path comes from the build).
// Its bytes lie between skeinlab_knot_census and skeinlab_knot_census_end.
asm(".section .rodata\n"
    ".balign 16\n"
    ".global skeinlab_knot_census\n"
    "skeinlab_knot_census:\n"
    ".incbin \"" SKEINLAB_KNOT_CENSUS "\"\n"
    ".global skeinlab_knot_census_end\n"
    "skeinlab_knot_census_end:\n"
    ".byte 0\n"
    ".previous\n");
extern "C" const unsigned char skeinlab_knot_census[];
extern "C" const unsigned char skeinlab_knot_census_end[];

namespace skeinlab {
namespace {

std::uint32_t read_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint64_t fnv1a_64(std::string_view text) {
    std::uint64_t value = 0xCBF29CE484222325ull;
    for (const char c : text) {
        value ^= static_cast<unsigned char>(c);
        value *= 0x100000001B3ull;
    }
    return value;
}

const KnotCensus& KnotCensus::builtin() {
    static const KnotCensus census = [] {
        KnotCensus c;
        const unsigned char* p = skeinlab_knot_census;
        const auto size = static_cast<std::size_t>(skeinlab_knot_census_end - skeinlab_knot_census);
        if (size < 16 || std::memcmp(p, "SKCENSUS", 8) != 0 || read_u32(p + 8) != 1)
            throw InternalError("the embedded knot census is not a census file");
        const std::uint32_t classes = read_u32(p + 12);
        p += 16;
        std::uint32_t first = 0;
        for (std::uint32_t k = 0; k < classes; ++k, p += 8) {
            const Class entry{p[0], static_cast<char>(p[1]), first, read_u32(p + 4)};
            c.classes_.push_back(entry);
            first += entry.count;
        }
        c.knots_ = first;
        c.min_crossings_ = c.classes_.empty() ? 0 : c.classes_.front().crossings;
        c.max_crossings_ = c.classes_.empty() ? 0 : c.classes_.back().crossings;
        const std::uint32_t entries = read_u32(p);
        p += 4;
        // The buckets and entries are read in place (aligned reads of the
        // buckets need not hold: they are read byte by byte).
        c.buckets_ = reinterpret_cast<const std::uint32_t*>(p);
        c.entries_ = p + 4 * 65537;
        if (c.entries_ + 8 * static_cast<std::size_t>(entries) != skeinlab_knot_census + size)
            throw InternalError("the embedded knot census has the wrong size");
        return c;
    }();
    return census;
}

std::vector<CensusMatch> KnotCensus::lookup(const Laurent2& homfly) const {
    std::vector<CensusMatch> out;
    const std::uint64_t hash = fnv1a_64(homfly.text());
    const auto bucket = static_cast<std::size_t>(hash >> 48);
    const auto* buckets = reinterpret_cast<const unsigned char*>(buckets_);
    const std::uint32_t begin = read_u32(buckets + 4 * bucket), end = read_u32(buckets + 4 * (bucket + 1));
    const std::uint64_t low = hash & 0xFFFFFFFFFFull;
    for (std::uint32_t e = begin; e < end; ++e) {
        const unsigned char* entry = entries_ + 8 * static_cast<std::size_t>(e);
        std::uint64_t value = 0;
        for (int b = 4; b >= 0; --b) value = value << 8 | entry[b];
        if (value != low) continue;
        const std::uint32_t packed = static_cast<std::uint32_t>(entry[5]) | static_cast<std::uint32_t>(entry[6]) << 8 |
                                     static_cast<std::uint32_t>(entry[7]) << 16;
        CensusMatch m;
        m.index = packed >> 2;
        m.chirality = (packed & 3) == 1 ? '+' : (packed & 3) == 2 ? '-' : 0;
        for (const Class& c : classes_) {
            if (m.index < c.first || m.index >= c.first + c.count) continue;
            m.crossings = c.crossings;
            m.name = std::string(m.chirality ? 1 : 0, m.chirality) + std::to_string(c.crossings) + c.kind + "_" +
                     std::to_string(m.index - c.first + 1);
        }
        out.push_back(std::move(m));
    }
    std::sort(out.begin(), out.end(), [](const CensusMatch& a, const CensusMatch& b) {
        return a.index != b.index ? a.index < b.index : a.chirality < b.chirality;
    });
    return out;
}

}  // namespace skeinlab
