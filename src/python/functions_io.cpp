// read_xyz and write_xyz, and the conversion of trajectory arguments.
#include "numpy_api.hpp"


#include "frames.hpp"
#include "functions.hpp"
#include "lines.hpp"
#include "io.hpp"

namespace skeinlab::py {
std::optional<FrameSet> frames_from_path(const std::string& path) {
    if (!path_exists(path)) {
        raise_with_message(PyExc_FileNotFoundError, "Cannot open file: " + path);
        return std::nullopt;
    }
    Result<LineReader> reader = LineReader::open(path);
    if (!reader) {
        to_py_runtime_error(reader.error().message());
        return std::nullopt;
    }
    Result<FrameSet> frames = read_data_xyz_frames(reader.value());
    if (!frames) {
        raise_knot_error(frames.error());
        return std::nullopt;
    }
    return std::move(frames).value();
}

std::optional<FrameSet> frames_from_input(PyObject* input_data) {
    if (PyUnicode_Check(input_data)) {
        std::optional<std::string> path = convert_str(input_data, "input_data");
        if (!path) return std::nullopt;
        return frames_from_path(*path);
    }
    if (is_float64_array(input_data, 3)) {
        auto* array = reinterpret_cast<PyArrayObject*>(input_data);
        const npy_intp* shape = PyArray_DIMS(array);
        if (shape[2] != 3) {
            to_py_runtime_error("Expected array with shape (N, 3) or (F, N, 3).");
            return std::nullopt;
        }
        const npy_intp* strides = PyArray_STRIDES(array);
        const char* base = PyArray_BYTES(array);
        FrameSet frames(static_cast<std::size_t>(shape[0]));
        for (npy_intp f = 0; f < shape[0]; ++f) {
            Chain& chain = frames[static_cast<std::size_t>(f)];
            chain.resize(static_cast<std::size_t>(shape[1]));
            for (npy_intp j = 0; j < shape[1]; ++j) {
                const char* row = base + f * strides[0] + j * strides[1];
                chain[static_cast<std::size_t>(j)] = {load_double(row), load_double(row + strides[2]), load_double(row + 2 * strides[2])};
            }
        }
        return frames;
    }
    if (is_float64_array(input_data, 2)) {
        std::optional<Chain> chain = points_from_array2(input_data);
        if (!chain) return std::nullopt;
        FrameSet frames;
        frames.push_back(std::move(*chain));
        return frames;
    }
    to_py_runtime_error("Expected input to be XYZ filename or NumPy array with shape (N, 3) / (F, N, 3).");
    return std::nullopt;
}

PyObject* read_xyz(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"filename"};
        PyObject* bound[1];
        if (!bind_arguments("read_xyz", names, 1, 1, args, nargs, kwnames, bound)) return nullptr;
        const std::optional<std::string> filename = convert_str(bound[0], "filename");
        if (!filename) return nullptr;
        const std::optional<FrameSet> frames = frames_from_path(*filename);
        if (!frames) return nullptr;
        return frames_to_pyarray(*frames);
    });
}

PyObject* write_xyz(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"filename", "input_data", "append"};
        PyObject* bound[3];
        if (!bind_arguments("write_xyz", names, 3, 2, args, nargs, kwnames, bound)) return nullptr;
        const std::optional<std::string> filename = convert_str(bound[0], "filename");
        if (!filename) return nullptr;
        bool append = false;
        if (bound[2] && !convert_bool(bound[2], "append", append)) return nullptr;
        const std::optional<FrameSet> frames = frames_from_input(bound[1]);
        if (!frames) return nullptr;

        Result<FileWriter> opened = FileWriter::open(*filename, append);
        if (!opened) return to_py_runtime_error(opened.error().message());
        FileWriter& writer = opened.value();
        for (const Chain& frame : *frames) {
            const Status written = write_data_xyz(frame, writer);
            if (!written) return raise_knot_error(written.error());
        }
        const Status closed = writer.close();
        if (!closed) return raise_knot_error(closed.error());
        Py_RETURN_NONE;
    });
}

}  // namespace skeinlab::py
