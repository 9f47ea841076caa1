#include "io/frame_chains.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "geometry/periodic.hpp"

namespace skeinlab {
namespace {

bool contains(const std::vector<std::int64_t>& sorted, std::int64_t value) {
    return std::binary_search(sorted.begin(), sorted.end(), value);
}

std::vector<std::int64_t> sorted(std::vector<std::int64_t> values) {
    std::sort(values.begin(), values.end());
    return values;
}

double distance(const Point3& a, const Point3& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// How a frame's positions become unwrapped chains.
struct Unwrapping {
    const PeriodicBox* box = nullptr;  // null: not periodic
    bool unwrapped = false;            // the positions are unwrapped already
    const std::vector<std::array<std::int32_t, 3>>* images = nullptr;  // by atom, or null
};

Status check_box(const PeriodicBox& box) {
    if (box.valid()) return ok_status();
    const double lengths[3] = {box.lx, box.ly, box.lz};
    for (int k = 0; k < 3; ++k)
        if (box.periodic[static_cast<std::size_t>(k)] && !(lengths[k] > 0.0))
            return KnotError::data_parse("the box has a periodic edge of length " + std::to_string(lengths[k]));
    return ok_status();
}

// Appends the chain of the atoms at `indices` (positions' indices) to `out`.
void add_chain(FrameChains& out, const Chain& positions, const std::int64_t* indices, std::size_t count,
               std::int64_t label, bool ring, const Unwrapping& how, bool check_gaps,
               std::vector<std::array<std::int32_t, 3>>& images) {
    Chain chain;
    chain.reserve(count);
    images.clear();
    for (std::size_t k = 0; k < count; ++k) {
        const auto a = static_cast<std::size_t>(indices[k]);
        chain.push_back(positions[a]);
        if (how.images) images.push_back((*how.images)[a]);
    }
    // Scattered atoms are judged as given: unwrapped by the minimum image, atoms
    // scattered in a box become a walk of steps near half the box.
    const ChainGap scatter = check_gaps ? scattered_atoms(chain) : ChainGap{};
    bool closed = true;
    if (how.box) {
        if (how.unwrapped)
            closed = !ring || ring_closes(chain, *how.box);
        else if (how.images)
            closed = unwrap_by_images(chain, images, *how.box, ring);
        else
            closed = unwrap_present_points(chain, *how.box, ring);
    }
    if (check_gaps) {
        const ChainGap gap = first_gap(chain);
        out.gaps.push_back(gap.index >= 0 ? gap : scatter);
    }
    out.chains.push_back(std::move(chain));
    out.molecules.push_back(label);
    out.winding.push_back(!closed);
}

}  // namespace

ChainGap first_gap(const Chain& chain) {
    ChainGap gap;
    const std::size_t n = chain.size();
    if (n < 3) return gap;
    std::vector<double> bonds(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) bonds[i] = distance(chain[i], chain[i + 1]);
    std::vector<double> order(bonds);
    const auto middle = order.begin() + static_cast<std::ptrdiff_t>(order.size() / 2);
    std::nth_element(order.begin(), middle, order.end());
    double median = *middle;
    if (order.size() % 2 == 0) median = (median + *std::max_element(order.begin(), middle)) / 2.0;
    if (!(median > 0.0)) return gap;
    const double limit = kGapFactor * median;
    for (std::size_t i = 0; i + 1 < n; ++i)
        if (bonds[i] > limit) return {static_cast<std::int64_t>(i), bonds[i], median, false};
    return gap;
}

ChainGap scattered_atoms(const Chain& chain) {
    ChainGap none;
    const std::size_t n = chain.size();
    if (n < kScatterAtoms) return none;
    std::vector<double> bonds(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) bonds[i] = distance(chain[i], chain[i + 1]);
    const auto middle = bonds.begin() + static_cast<std::ptrdiff_t>(bonds.size() / 2);
    std::nth_element(bonds.begin(), middle, bonds.end());
    const double median = *middle;
    // The nearest atom to each of up to 64 atoms spread along the chain.
    constexpr std::size_t kSample = 64;
    const std::size_t samples = std::min(n, kSample);
    std::vector<double> nearest(samples);
    for (std::size_t s = 0; s < samples; ++s) {
        const std::size_t a = s * n / samples;
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t b = 0; b < n; ++b)
            if (b != a) best = std::min(best, distance(chain[a], chain[b]));
        nearest[s] = best;
    }
    const auto middle_near = nearest.begin() + static_cast<std::ptrdiff_t>(samples / 2);
    std::nth_element(nearest.begin(), middle_near, nearest.end());
    const double near = *middle_near;
    if (near > 0.0 && median > kScatterFactor * near) return {-1, near, median, true};
    return none;
}

Result<FrameChains> gather_chains(const Chain& positions, const ChainLayout& layout, const PeriodicBox* box,
                                  bool check_gaps) {
    for (const std::int64_t a : layout.atoms)
        if (a < 0 || static_cast<std::uint64_t>(a) >= positions.size())
            return KnotError::data_parse("atom " + std::to_string(a) + " of the layout is beyond the " +
                                         std::to_string(positions.size()) + " positions");
    if (box)
        if (Status s = check_box(*box); !s) return s.error();
    FrameChains out;
    std::vector<std::array<std::int32_t, 3>> images;
    const Unwrapping how{box, false, nullptr};
    for (std::size_t k = 0; k + 1 < layout.offsets.size(); ++k) {
        const auto first = static_cast<std::size_t>(layout.offsets[k]);
        const auto count = static_cast<std::size_t>(layout.offsets[k + 1] - layout.offsets[k]);
        add_chain(out, positions, layout.atoms.data() + first, count, layout.labels[k], layout.rings[k], how, check_gaps,
                  images);
    }
    return out;
}

namespace {

// The chains of a frame by a layout of atom ids.
Result<FrameChains> chains_of_layout(const LammpsFrame& frame, const ChainLayout& layout, const Unwrapping& how,
                                     bool check_gaps) {
    const std::size_t atoms = frame.positions.size();
    if (layout.topology_atoms != 0 && atoms != layout.topology_atoms)
        return KnotError::data_parse("the frame has " + std::to_string(atoms) + " atoms, the topology " +
                                     std::to_string(layout.topology_atoms));
    if (frame.ids.empty()) return KnotError::data_parse("the frame has no atom ids to match the topology's");
    // The frame's ids are sorted (the reader puts atoms in id order): ids
    // 1 to n, the usual case, index directly.
    const bool dense = frame.ids.front() == 1 && frame.ids.back() == static_cast<std::int64_t>(atoms);
    std::vector<std::int64_t> indices(layout.atoms.size());
    for (std::size_t k = 0; k < layout.atoms.size(); ++k) {
        const std::int64_t id = layout.atoms[k];
        std::size_t at = atoms;
        if (dense) {
            if (id >= 1 && id <= static_cast<std::int64_t>(atoms)) at = static_cast<std::size_t>(id - 1);
        } else {
            const auto it = std::lower_bound(frame.ids.begin(), frame.ids.end(), id);
            if (it != frame.ids.end() && *it == id) at = static_cast<std::size_t>(it - frame.ids.begin());
        }
        if (at == atoms) return KnotError::data_parse("atom id " + std::to_string(id) + " of the topology is not in the frame");
        indices[k] = static_cast<std::int64_t>(at);
    }
    FrameChains out;
    std::vector<std::array<std::int32_t, 3>> images;
    for (std::size_t k = 0; k + 1 < layout.offsets.size(); ++k) {
        const auto first = static_cast<std::size_t>(layout.offsets[k]);
        const auto count = static_cast<std::size_t>(layout.offsets[k + 1] - layout.offsets[k]);
        add_chain(out, frame.positions, indices.data() + first, count, layout.labels[k], layout.rings[k], how,
                  check_gaps, images);
    }
    return out;
}

}  // namespace

Result<FrameChains> chains_of_frame(const LammpsFrame& frame, const ChainSelection& selection) {
    const bool periodic = frame.box.periodic[0] || frame.box.periodic[1] || frame.box.periodic[2];
    if (periodic)
        if (Status s = check_box(frame.box); !s) return s.error();
    const Unwrapping how{periodic ? &frame.box : nullptr, frame.unwrapped,
                         frame.images.empty() ? nullptr : &frame.images};
    if (selection.layout) return chains_of_layout(frame, *selection.layout, how, selection.check_gaps);

    const std::size_t atoms = frame.positions.size();
    // The atoms kept, in id order.
    std::vector<std::int64_t> kept;
    kept.reserve(atoms);
    if (!selection.types.empty()) {
        if (frame.types.empty())
            return KnotError::data_parse("the frame has no atom types to keep types " +
                                         std::to_string(selection.types.front()) + (selection.types.size() > 1 ? ", ..." : "") +
                                         " by");
        const std::vector<std::int64_t> types = sorted(selection.types);
        for (std::size_t a = 0; a < atoms; ++a)
            if (contains(types, frame.types[a])) kept.push_back(static_cast<std::int64_t>(a));
    } else {
        kept.resize(atoms);
        std::iota(kept.begin(), kept.end(), std::int64_t{0});
    }

    // Chains as runs of `kept`: by length, or by molecule (a stable sort keeps
    // id order within a molecule).
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    std::vector<std::int64_t> ids;
    if (selection.chain_length > 0) {
        if (kept.size() % selection.chain_length != 0)
            return KnotError::data_parse(std::to_string(kept.size()) + " atoms are not a whole number of chains of " +
                                         std::to_string(selection.chain_length));
        for (std::size_t start = 0; start < kept.size(); start += selection.chain_length) {
            runs.emplace_back(start, start + selection.chain_length);
            ids.push_back(static_cast<std::int64_t>(runs.size()));
        }
    } else if (!frame.molecules.empty()) {
        const auto molecule = [&](std::int64_t a) { return frame.molecules[static_cast<std::size_t>(a)]; };
        const auto by_molecule = [&](std::int64_t a, std::int64_t b) { return molecule(a) < molecule(b); };
        // Dumps usually list molecules in order already.
        if (!std::is_sorted(kept.begin(), kept.end(), by_molecule))
            std::stable_sort(kept.begin(), kept.end(), by_molecule);
        for (std::size_t start = 0; start < kept.size();) {
            std::size_t end = start + 1;
            while (end < kept.size() && molecule(kept[end]) == molecule(kept[start])) ++end;
            runs.emplace_back(start, end);
            ids.push_back(molecule(kept[start]));
            start = end;
        }
    } else if (!kept.empty()) {
        runs.emplace_back(0, kept.size());
        ids.push_back(1);
    }

    const std::vector<std::int64_t> wanted = sorted(selection.molecules);
    FrameChains out;
    std::vector<std::array<std::int32_t, 3>> images;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (!wanted.empty() && !contains(wanted, ids[r])) continue;
        add_chain(out, frame.positions, kept.data() + runs[r].first, runs[r].second - runs[r].first, ids[r],
                  selection.ring, how, selection.check_gaps, images);
    }
    return out;
}

}  // namespace skeinlab
