#include "io/frame_chains.hpp"

#include <algorithm>
#include <numeric>


namespace skeinlab {
namespace {

bool contains(const std::vector<std::int64_t>& sorted, std::int64_t value) {
    return std::binary_search(sorted.begin(), sorted.end(), value);
}

std::vector<std::int64_t> sorted(std::vector<std::int64_t> values) {
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace

Result<FrameChains> chains_of_frame(const LammpsFrame& frame, const ChainSelection& selection) {
    const std::size_t atoms = frame.positions.size();
    // The atoms kept, in id order.
    std::vector<std::size_t> kept;
    kept.reserve(atoms);
    if (!selection.types.empty()) {
        if (frame.types.empty())
            return KnotError::data_parse("the frame has no atom types to keep types " +
                                         std::to_string(selection.types.front()) + (selection.types.size() > 1 ? ", ..." : "") +
                                         " by");
        const std::vector<std::int64_t> types = sorted(selection.types);
        for (std::size_t a = 0; a < atoms; ++a)
            if (contains(types, frame.types[a])) kept.push_back(a);
    } else {
        kept.resize(atoms);
        std::iota(kept.begin(), kept.end(), std::size_t{0});
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
        const auto by_molecule = [&](std::size_t a, std::size_t b) { return frame.molecules[a] < frame.molecules[b]; };
        // Dumps usually list molecules in order already.
        if (!std::is_sorted(kept.begin(), kept.end(), by_molecule))
            std::stable_sort(kept.begin(), kept.end(), by_molecule);
        for (std::size_t start = 0; start < kept.size();) {
            std::size_t end = start + 1;
            while (end < kept.size() && frame.molecules[kept[end]] == frame.molecules[kept[start]]) ++end;
            runs.emplace_back(start, end);
            ids.push_back(frame.molecules[kept[start]]);
            start = end;
        }
    } else if (!kept.empty()) {
        runs.emplace_back(0, kept.size());
        ids.push_back(1);
    }

    const bool periodic = frame.box.periodic[0] || frame.box.periodic[1] || frame.box.periodic[2];
    if (periodic && !frame.box.valid()) {
        const double lengths[3] = {frame.box.lx, frame.box.ly, frame.box.lz};
        for (int k = 0; k < 3; ++k)
            if (frame.box.periodic[static_cast<std::size_t>(k)] && !(lengths[k] > 0.0))
                return KnotError::data_parse("the box has a periodic edge of length " + std::to_string(lengths[k]));
    }
    const std::vector<std::int64_t> wanted = sorted(selection.molecules);
    FrameChains out;
    std::vector<std::array<std::int32_t, 3>> images;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (!wanted.empty() && !contains(wanted, ids[r])) continue;
        Chain chain;
        chain.reserve(runs[r].second - runs[r].first);
        images.clear();
        for (std::size_t k = runs[r].first; k < runs[r].second; ++k) {
            chain.push_back(frame.positions[kept[k]]);
            if (!frame.images.empty()) images.push_back(frame.images[kept[k]]);
        }
        bool closed = true;
        if (periodic) {
            if (frame.unwrapped)
                closed = !selection.ring || ring_closes(chain, frame.box);
            else if (!frame.images.empty())
                closed = unwrap_by_images(chain, images, frame.box, selection.ring);
            else
                closed = unwrap_by_minimum_image(chain, frame.box, selection.ring);
        }
        out.chains.push_back(std::move(chain));
        out.molecules.push_back(ids[r]);
        out.winding.push_back(!closed);
    }
    return out;
}

}  // namespace skeinlab
