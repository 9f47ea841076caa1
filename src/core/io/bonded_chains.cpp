#include "io/bonded_chains.hpp"

#include <algorithm>
#include <string>

namespace skeinlab {

Result<BondedChains> bonded_chains(std::size_t atoms, const std::vector<std::array<std::int64_t, 2>>& bonds,
                                   std::size_t min_atoms, const std::vector<bool>& keep) {
    if (!keep.empty() && keep.size() != atoms)
        return KnotError::data_parse("keep has " + std::to_string(keep.size()) + " entries for " +
                                     std::to_string(atoms) + " atoms");
    const auto kept = [&](std::int64_t a) { return keep.empty() || keep[static_cast<std::size_t>(a)]; };
    // Adjacency in compressed rows: every bond between kept atoms both ways.
    std::vector<std::size_t> degree(atoms + 1, 0);
    for (std::size_t k = 0; k < bonds.size(); ++k) {
        for (const std::int64_t a : bonds[k])
            if (a < 0 || static_cast<std::uint64_t>(a) >= atoms)
                return KnotError::data_parse("bond " + std::to_string(k) + " joins atom " + std::to_string(a) +
                                             ", but there are " + std::to_string(atoms) + " atoms");
        const auto [a, b] = bonds[k];
        if (a == b || !kept(a) || !kept(b)) continue;
        ++degree[static_cast<std::size_t>(a) + 1];
        ++degree[static_cast<std::size_t>(b) + 1];
    }
    std::vector<std::size_t> start(degree);
    for (std::size_t a = 0; a < atoms; ++a) start[a + 1] += start[a];
    std::vector<std::int64_t> neighbours(start[atoms]);
    std::vector<std::size_t> fill(start.begin(), start.end() - 1);
    for (const auto& [a, b] : bonds) {
        if (a == b || !kept(a) || !kept(b)) continue;
        neighbours[fill[static_cast<std::size_t>(a)]++] = b;
        neighbours[fill[static_cast<std::size_t>(b)]++] = a;
    }
    // Each atom's neighbours sorted, a bond listed twice counted once.
    std::vector<std::size_t> count(atoms, 0);
    for (std::size_t a = 0; a < atoms; ++a) {
        const auto first = neighbours.begin() + static_cast<std::ptrdiff_t>(start[a]);
        const auto last = neighbours.begin() + static_cast<std::ptrdiff_t>(start[a + 1]);
        std::sort(first, last);
        count[a] = static_cast<std::size_t>(std::unique(first, last) - first);
    }
    const auto neighbour = [&](std::size_t a, std::size_t k) { return neighbours[start[a] + k]; };

    BondedChains out;
    std::vector<bool> seen(atoms, false);
    std::vector<std::int64_t> component;
    for (std::size_t root = 0; root < atoms; ++root) {
        if (seen[root] || !kept(static_cast<std::int64_t>(root))) continue;
        // The component of `root` (its lowest atom), by a breadth-first search.
        component.assign(1, static_cast<std::int64_t>(root));
        seen[root] = true;
        std::size_t ends = 0, widest = 0, bond_ends = 0;
        for (std::size_t head = 0; head < component.size(); ++head) {
            const auto a = static_cast<std::size_t>(component[head]);
            widest = std::max(widest, count[a]);
            bond_ends += count[a];
            if (count[a] <= 1) ++ends;
            for (std::size_t k = 0; k < count[a]; ++k) {
                const auto b = static_cast<std::size_t>(neighbour(a, k));
                if (!seen[b]) {
                    seen[b] = true;
                    component.push_back(static_cast<std::int64_t>(b));
                }
            }
        }
        const std::size_t size = component.size();
        if (size < min_atoms || size < 2) {
            ++out.small;
            out.small_atoms += size;
            continue;
        }
        const bool ring = widest == 2 && bond_ends == 2 * size;
        const bool path = widest <= 2 && ends == 2 && bond_ends == 2 * (size - 1);
        if (!ring && !path) {
            ++out.branched;
            out.branched_atoms += size;
            continue;
        }
        // Walk along the bonds from the first atom.
        std::size_t first = root;
        if (path) {
            first = atoms;
            for (const std::int64_t a : component)
                if (count[static_cast<std::size_t>(a)] == 1) first = std::min(first, static_cast<std::size_t>(a));
        }
        std::size_t previous = atoms, current = first;
        for (std::size_t step = 0; step < size; ++step) {
            out.atoms.push_back(static_cast<std::int64_t>(current));
            std::size_t next = atoms;
            for (std::size_t k = 0; k < count[current]; ++k) {
                const auto b = static_cast<std::size_t>(neighbour(current, k));
                if (b != previous) {
                    next = b;  // the neighbour of lower index first (neighbours are sorted)
                    break;
                }
            }
            previous = current;
            current = next;
        }
        out.offsets.push_back(static_cast<std::int64_t>(out.atoms.size()));
        out.rings.push_back(ring);
    }
    return out;
}

}  // namespace skeinlab
