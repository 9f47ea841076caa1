// PDB files: any bytes, all atoms and alpha carbons only.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/pdb.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const bool alpha_carbons_only : {false, true}) {
        skeinlab::LineReader reader = skeinlab::LineReader::from_text(text);
        const auto frames = skeinlab::read_pdb_frames(reader, alpha_carbons_only);
        (void)frames;
    }
    return 0;
}
