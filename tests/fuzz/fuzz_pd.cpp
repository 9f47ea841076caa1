// PD codes as text: any bytes read by parse_pd_code; a code that reads and is
// one knot's planar diagram (of at most 24 crossings, to bound the time) is
// named, and its diagram's PD code must read back to a diagram of as many
// crossings; no input may crash, leak or misbehave under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "analysis/identify.hpp"
#include "diagram/knot_diagram.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const skeinlab::Result<std::vector<skeinlab::PdCrossing>> code = skeinlab::parse_pd_code(text);
    if (!code || code.value().size() > 24) return 0;
    const skeinlab::Result<skeinlab::KnotDiagram> diagram = skeinlab::diagram_from_pd(code.value());
    if (!diagram) return 0;
    const skeinlab::Result<skeinlab::KnotDiagram> again = skeinlab::diagram_from_pd(skeinlab::pd_code(diagram.value()));
    if (!again || again.value().crossings() != diagram.value().crossings()) std::abort();
    const skeinlab::Result<std::string> name = skeinlab::identify_pd_code(code.value());
    if (!name || name.value().empty()) std::abort();
    return 0;
}
