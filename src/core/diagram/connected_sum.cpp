#include "diagram/connected_sum.hpp"

#include <algorithm>

#include "diagram/simplify.hpp"
#include "runtime/cancel.hpp"
#include "runtime/random.hpp"

namespace skeinlab {
namespace {

// True when every crossing met in [first, last) is met there twice.
bool closed_stretch(const KnotDiagram& d, std::size_t first, std::size_t last) {
    std::vector<std::uint8_t> count(d.crossings(), 0);
    for (std::size_t k = first; k < last; ++k) ++count[d.walk[k].crossing];
    for (std::size_t k = first; k < last; ++k)
        if (count[d.walk[k].crossing] != 2) return false;
    return true;
}

}  // namespace

std::optional<std::pair<std::size_t, std::size_t>> find_sum_cut(const KnotDiagram& d) {
    const std::size_t m = d.walk.size();
    if (m < 4) return std::nullopt;
    // A stretch meets its crossings twice exactly when the exclusive or of a
    // random word per crossing over the stretch is zero: cuts are positions of
    // equal prefix sums, each candidate then checked exactly (a collision of
    // the 64-bit sums is only skipped, never taken).
    std::vector<std::pair<std::uint64_t, std::size_t>> prefix(m);
    std::uint64_t sum = 0;
    for (std::size_t k = 0; k < m; ++k) {
        prefix[k] = {sum, k};
        sum ^= mix64(0xC0FFEE0000000000ull + d.walk[k].crossing);
    }
    std::sort(prefix.begin(), prefix.end());
    std::optional<std::pair<std::size_t, std::size_t>> best;
    for (std::size_t i = 0; i + 1 < prefix.size(); ++i) {
        if (i % 4096 == 0) cancellation_point();
        if (prefix[i].first != prefix[i + 1].first) continue;
        const std::size_t first = prefix[i].second, last = prefix[i + 1].second;
        const std::size_t inside = last - first;
        if (inside < 2 || inside > m - 2) continue;
        // The shortest stretch first: its summand holds no further cut inside
        // this group of equal sums.
        const std::size_t shortest = std::min(inside, m - inside);
        if (best && shortest >= std::min(best->second - best->first, m - (best->second - best->first))) continue;
        if (closed_stretch(d, first, last)) best = std::make_pair(first, last);
    }
    return best;
}

std::pair<KnotDiagram, KnotDiagram> split_at(const KnotDiagram& d, std::pair<std::size_t, std::size_t> cut) {
    const auto [first, last] = cut;
    KnotDiagram inner{{d.walk.begin() + static_cast<std::ptrdiff_t>(first),
                       d.walk.begin() + static_cast<std::ptrdiff_t>(last)},
                      d.signs};
    KnotDiagram outer{{d.walk.begin() + static_cast<std::ptrdiff_t>(last), d.walk.end()}, d.signs};
    outer.walk.insert(outer.walk.end(), d.walk.begin(), d.walk.begin() + static_cast<std::ptrdiff_t>(first));
    return {renumbered(inner), renumbered(outer)};
}

std::vector<KnotDiagram> diagram_summands(KnotDiagram diagram, std::uint64_t seed) {
    std::vector<KnotDiagram> summands;
    std::vector<KnotDiagram> open{std::move(diagram)};
    while (!open.empty()) {
        KnotDiagram d = std::move(open.back());
        open.pop_back();
        simplify_diagram(d, seed);
        if (d.crossings() == 0) continue;
        if (const auto cut = find_sum_cut(d)) {
            auto [inner, outer] = split_at(d, *cut);
            open.push_back(std::move(inner));
            open.push_back(std::move(outer));
        } else {
            summands.push_back(std::move(d));
        }
    }
    const auto key = [](const KnotDiagram& d) {
        std::vector<std::int64_t> k{static_cast<std::int64_t>(d.crossings())};
        for (const std::int8_t sign : d.signs) k.push_back(sign);
        for (const Passage& p : d.walk) k.push_back(2 * static_cast<std::int64_t>(p.crossing) + p.over);
        return k;
    };
    std::sort(summands.begin(), summands.end(),
              [&](const KnotDiagram& a, const KnotDiagram& b) { return key(a) < key(b); });
    return summands;
}

}  // namespace skeinlab
