// LAMMPS dumps and data files: any bytes, read as a dump frame by frame (each
// frame cut into chains by molecule, with gaps checked) and as a data file
// whose bonds then draw chains; no input may crash, leak or misbehave under
// the sanitizers, and every chain drawn must hold atoms of the data file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "io/bonded_chains.hpp"
#include "io/frame_chains.hpp"
#include "io/lammps.hpp"
#include "io/lammps_data.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    skeinlab::LineReader stream = skeinlab::LineReader::from_text(text);
    skeinlab::LammpsReader reader(stream);
    skeinlab::LammpsFrame frame;
    skeinlab::ChainSelection selection;
    selection.check_gaps = true;
    for (int frames = 0; frames < 64; ++frames) {
        const skeinlab::Result<bool> more = reader.next(frame);
        if (!more || !more.value()) break;
        const skeinlab::Result<skeinlab::FrameChains> chains = skeinlab::chains_of_frame(frame, selection);
        if (chains && chains.value().gaps.size() != chains.value().chains.size()) std::abort();
    }

    skeinlab::LineReader lines = skeinlab::LineReader::from_text(text);
    const skeinlab::Result<skeinlab::LammpsTopology> topology = skeinlab::read_lammps_data(lines);
    if (!topology) return 0;
    const skeinlab::LammpsTopology& t = topology.value();
    if (t.types.size() != t.ids.size() || t.positions.size() != t.ids.size()) std::abort();
    const skeinlab::Result<skeinlab::BondedChains> chains = skeinlab::bonded_chains(t.ids.size(), t.bonds, 4);
    if (!chains) std::abort();  // the reader's bonds join atoms it read
    for (const std::int64_t a : chains.value().atoms)
        if (a < 0 || static_cast<std::size_t>(a) >= t.ids.size()) std::abort();
    return 0;
}
