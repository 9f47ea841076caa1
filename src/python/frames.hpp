// Trajectory arguments: an XYZ path or a float64 array of shape (N, 3) or (F, N, 3).
#pragma once

#include <optional>
#include <string>

#include "convert.hpp"

namespace skeinlab::py {

// The frames of the XYZ file at `path`. Raises FileNotFoundError "Cannot open
// file: {}" when the path has no metadata, RuntimeError "{} (os error {})"
// when it cannot be opened, and RuntimeError with the error's text when it
// cannot be read or parsed.
std::optional<FrameSet> frames_from_path(const std::string& path);

// The frames of a trajectory argument: a str path (read as XYZ), a float64
// array of shape (F, N, 3), or one of shape (N, 3) (one frame). Always a copy.
std::optional<FrameSet> frames_from_input(PyObject* input_data);

}  // namespace skeinlab::py
