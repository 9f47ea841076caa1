// XYZ trajectories: any bytes, read whole and frame by frame; both readers
// must agree, and no input may crash, leak or misbehave under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "io/xyz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    skeinlab::LineReader whole = skeinlab::LineReader::from_text(text);
    const skeinlab::Result<skeinlab::FrameSet> frames = skeinlab::read_data_xyz_frames(whole);

    skeinlab::LineReader stream = skeinlab::LineReader::from_text(text);
    skeinlab::XyzReader reader(stream);
    skeinlab::Chain frame;
    std::size_t count = 0;
    for (;;) {
        const skeinlab::Result<bool> more = reader.next(frame);
        if (!more || !more.value()) {
            if (frames.ok() != more.ok()) std::abort();
            break;
        }
        if (frames.ok() && (count >= frames.value().size() || frames.value()[count].size() != frame.size()))
            std::abort();
        ++count;
    }
    if (frames.ok() && count != frames.value().size()) std::abort();
    return 0;
}
