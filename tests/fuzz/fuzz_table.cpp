// Alexander table files and polynomial texts: any bytes as a table, and each
// line as a polynomial; a parsed polynomial prints and parses back to itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "arithmetic/polynomial.hpp"
#include "invariants/alexander_table.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto table = skeinlab::AlexanderTable::from_text(text);
    (void)table;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t stop = std::min(text.find('\n', start), text.size());
        const auto polynomial = skeinlab::parse_polynomial(text.substr(start, stop - start));
        if (polynomial.ok()) {
            const auto again = skeinlab::parse_polynomial(skeinlab::fmt(polynomial.value()));
            if (!again.ok() || !(again.value() == polynomial.value())) std::abort();
        }
        start = stop + 1;
    }
    return 0;
}
