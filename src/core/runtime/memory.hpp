// The memory a computation may still take: what the system reports available,
// within the limit of the process's control group, and at most the limit set
// by the environment variable SKEINLAB_MAX_MEMORY (bytes, or with a suffix
// K, M, G or T for powers of 1024), for jobs that share a node.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace skeinlab {

// Bytes available now; SIZE_MAX when nothing can be read (no /proc). Reads
// a few files: call it when a computation grows large, not for every item.
std::size_t available_memory();

// The limit SKEINLAB_MAX_MEMORY sets (SIZE_MAX without one, or when it
// cannot be read): cheap, for deciding when available_memory is worth a call.
std::size_t environment_memory_limit();

// A byte count as SKEINLAB_MAX_MEMORY gives it: digits and an optional suffix
// K, M, G or T (powers of 1024), surrounding white space allowed. Nothing for
// any other text or a count beyond 2^64.
std::optional<std::size_t> parse_memory_size(std::string_view text);

// "1.3 GB" (decimal units, two significant digits below 10).
std::string memory_text(std::size_t bytes);

}  // namespace skeinlab
