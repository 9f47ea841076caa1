// read_xyz, iter_xyz and write_xyz, and the conversion of trajectory arguments.
#include "numpy_api.hpp"

#include <memory>

#include "frames.hpp"
#include "functions.hpp"
#include "io/lines.hpp"
#include "io/xyz.hpp"

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

std::optional<FrameSet> frames_from_input(PyObject* input_data, const ArrayReading& reading) {
    if (reading.repeat) *reading.repeat = 1;
    if (reading.any_real && PyArray_Check(input_data) && !is_float64_array(input_data, PyArray_NDIM(reinterpret_cast<PyArrayObject*>(input_data)))) {
        PyArray_Descr* dtype = PyArray_DESCR(reinterpret_cast<PyArrayObject*>(input_data));
        if (dtype->kind != 'f' && dtype->kind != 'i' && dtype->kind != 'u') {
            PyRef name = PyRef::steal(PyObject_Str(reinterpret_cast<PyObject*>(dtype)));
            const char* text = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
            if (!text) return std::nullopt;
            to_py_runtime_error(std::string("Expected a float or integer array, got dtype ") + text + ".");
            return std::nullopt;
        }
        PyRef converted = PyRef::steal(PyArray_FROM_OTF(input_data, NPY_DOUBLE, NPY_ARRAY_ALIGNED | NPY_ARRAY_FORCECAST));
        if (!converted) return std::nullopt;
        ArrayReading again = reading;
        again.any_real = false;
        return frames_from_input(converted.get(), again);
    }
    if (PyUnicode_Check(input_data)) {
        std::optional<std::string> path = convert_path(input_data, "input_data");
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
        npy_intp count = shape[0];
        if (reading.repeat && count > 1 && (strides[0] == 0 || shape[1] == 0)) {
            *reading.repeat = static_cast<std::size_t>(count);
            count = 1;
        }
        const npy_intp points = reading.collapse_points && strides[1] == 0 && shape[1] > 3 ? 3 : shape[1];
        FrameSet frames(static_cast<std::size_t>(count));
        for (npy_intp f = 0; f < count; ++f) {
            Chain& chain = frames[static_cast<std::size_t>(f)];
            chain.resize(static_cast<std::size_t>(points));
            for (npy_intp j = 0; j < points; ++j) {
                const char* row = base + f * strides[0] + j * strides[1];
                chain[static_cast<std::size_t>(j)] = {load_double(row), load_double(row + strides[2]), load_double(row + 2 * strides[2])};
            }
        }
        return frames;
    }
    if (is_float64_array(input_data, 2)) {
        std::optional<Chain> chain = points_from_array2(input_data, reading.collapse_points);
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
        const std::optional<std::string> filename = convert_path(bound[0], "filename");
        if (!filename) return nullptr;
        const std::optional<FrameSet> frames = frames_from_path(*filename);
        if (!frames) return nullptr;
        return frames_to_pyarray(*frames);
    });
}

namespace {

// The state of one iter_xyz iterator: the open file and the frame reader on it.
struct XyzStream {
    XyzStream(LineReader opened, std::string name, std::size_t frames_per_chunk)
        : reader(std::move(opened)), xyz(reader), path(std::move(name)), chunk(frames_per_chunk) {}

    LineReader reader;
    XyzReader xyz;  // reads from `reader`, which therefore never moves
    std::string path;
    std::size_t chunk;
    // An error met after some frames of a chunk: raised by the next call.
    std::optional<KnotError> pending;
    bool finished = false;
};

struct XyzChunksObject {
    PyObject_HEAD
    XyzStream* stream;
};

void xyz_chunks_dealloc(PyObject* self) {
    delete reinterpret_cast<XyzChunksObject*>(self)->stream;
    Py_TYPE(self)->tp_free(self);
}

PyObject* raise_stream_error(XyzStream& stream, const KnotError& error) {
    stream.finished = true;
    const std::string where = " (frame " + std::to_string(stream.xyz.frames_read()) + ", line " +
                              std::to_string(stream.xyz.lines_read()) + " of " + stream.path + ")";
    return to_py_runtime_error(error.display() + where);
}

PyObject* xyz_chunks_next(PyObject* self) {
    return guarded([&]() -> PyObject* {
        XyzStream& stream = *reinterpret_cast<XyzChunksObject*>(self)->stream;
        if (stream.pending) return raise_stream_error(stream, *stream.pending);
        if (stream.finished) return nullptr;  // StopIteration
        FrameSet frames;
        Chain frame;
        while (frames.size() < stream.chunk) {
            Result<bool> more = stream.xyz.next(frame);
            if (!more) {
                if (frames.empty()) return raise_stream_error(stream, more.error());
                stream.pending = more.error();
                break;
            }
            if (!more.value()) {
                stream.finished = true;
                break;
            }
            frames.push_back(std::move(frame));
        }
        if (frames.empty()) return nullptr;
        return frames_to_pyarray(frames);
    });
}

PyObject* xyz_chunks_tell(PyObject* self, PyObject*) {
    const XyzStream& stream = *reinterpret_cast<XyzChunksObject*>(self)->stream;
    return PyLong_FromUnsignedLongLong(stream.xyz.bytes_read());
}

PyMethodDef xyz_chunks_methods[] = {
    {"tell", xyz_chunks_tell, METH_NOARGS,
     "tell()\n--\n\nBytes of the file read so far (through the frames yielded, and at most one chunk more)."},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject xyz_chunks_type = [] {
    PyTypeObject type{};  // PyType_Ready sets the metatype
    Py_SET_REFCNT(reinterpret_cast<PyObject*>(&type), 1);
    type.tp_name = "skeinlab._core.XyzChunks";
    type.tp_basicsize = sizeof(XyzChunksObject);
    type.tp_dealloc = xyz_chunks_dealloc;
    type.tp_flags = Py_TPFLAGS_DEFAULT;
    type.tp_doc = "Chunks of frames of an XYZ file, as iter_xyz yields them.";
    type.tp_iter = PyObject_SelfIter;
    type.tp_iternext = xyz_chunks_next;
    type.tp_methods = xyz_chunks_methods;
    return type;
}();

}  // namespace

bool ready_io_types() { return PyType_Ready(&xyz_chunks_type) == 0; }

PyObject* iter_xyz(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"filename", "chunk"};
        PyObject* bound[2];
        if (!bind_arguments("iter_xyz", names, 2, 1, args, nargs, kwnames, bound)) return nullptr;
        const std::optional<std::string> filename = convert_path(bound[0], "filename");
        if (!filename) return nullptr;
        std::uint64_t chunk = 1000;
        if (!convert_positive_count(bound[1], "chunk", chunk)) return nullptr;
        if (!path_exists(*filename)) return raise_with_message(PyExc_FileNotFoundError, "Cannot open file: " + *filename);
        Result<LineReader> reader = LineReader::open(*filename);
        if (!reader) return to_py_runtime_error(reader.error().message());
        auto* object = PyObject_New(XyzChunksObject, &xyz_chunks_type);
        if (!object) return nullptr;
        object->stream = nullptr;
        PyRef owned = PyRef::steal(reinterpret_cast<PyObject*>(object));
        object->stream = new XyzStream(std::move(reader).value(), *filename,
                                       static_cast<std::size_t>(std::min<std::uint64_t>(chunk, SIZE_MAX)));
        return owned.release();
    });
}

PyObject* write_xyz(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"filename", "input_data", "append"};
        PyObject* bound[3];
        if (!bind_arguments("write_xyz", names, 3, 2, args, nargs, kwnames, bound)) return nullptr;
        const std::optional<std::string> filename = convert_path(bound[0], "filename");
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
