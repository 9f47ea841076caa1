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

// How an array argument may be read without materialising broadcast views.
struct ArrayReading {
    // A point axis of stride 0 is read as three equal points (see
    // points_from_array2): for typing and KMT, not for fingerprints.
    bool collapse_points = false;
    // When set, an (F, N, 3) array whose frames are all the same view (frame
    // stride 0, or no points) is read as its first frame, and F is stored
    // here: the caller repeats that frame's result. Otherwise 1 is stored.
    std::size_t* repeat = nullptr;
    // Arrays of any float or integer dtype (float32 from MD readers, say) are
    // converted to float64; other dtypes are refused naming them. Otherwise
    // only float64 arrays are taken.
    bool any_real = false;
};

// The frames of a trajectory argument: a str path (read as XYZ), a float64
// array of shape (F, N, 3), or one of shape (N, 3) (one frame). Always a copy.
std::optional<FrameSet> frames_from_input(PyObject* input_data, const ArrayReading& reading = {});

}  // namespace skeinlab::py
