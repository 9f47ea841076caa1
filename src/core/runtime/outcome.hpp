// The outcome of one item of work run on the worker pool (a frame, a block of
// samples, a window): its value, or the failure that ended it.
#pragma once

#include <string>
#include <variant>

namespace skeinlab {

// Why an item, or a whole call, failed. An error carries the text the
// caller sees; an internal failure is a broken invariant (InternalError),
// which ends the Python call with the module's internal-error exception; an
// allocation failure becomes MemoryError.
struct Failure {
    // Cancelled: the call's token was requested (the caller raises whatever
    // made it request cancellation).
    enum class Kind { Error, Internal, OutOfMemory, Cancelled };
    std::string message;
    Kind kind = Kind::Error;
};

template <class T>
using Outcome = std::variant<T, Failure>;

}  // namespace skeinlab
