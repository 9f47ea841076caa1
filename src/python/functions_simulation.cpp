// Simulation files: lammps_frames (the chains of every frame of a LAMMPS text
// dump, streamed) and unwrap_chains (chains unwrapped across a periodic box).
#include "numpy_api.hpp"

#include <cstring>
#include <memory>

#include "convert.hpp"
#include "frames.hpp"
#include "functions.hpp"
#include "io/frame_chains.hpp"
#include "io/lammps.hpp"
#include "io/lines.hpp"

namespace skeinlab::py {
namespace {

// A sequence of integers (or None) as a vector.
bool convert_int_list(PyObject* obj, const char* name, std::vector<std::int64_t>& out) {
    if (obj == nullptr || obj == Py_None) return true;
    if (PyLong_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s must be a sequence of int or None", name);
        return false;
    }
    PyRef items = PyRef::steal(PySequence_Fast(obj, ""));
    if (!items) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s must be a sequence of int or None", name);
        return false;
    }
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(items.get());
    for (Py_ssize_t k = 0; k < count; ++k) {
        PyObject* item = PySequence_Fast_GET_ITEM(items.get(), k);
        if (!PyLong_Check(item) || PyBool_Check(item)) {
            PyErr_Format(PyExc_TypeError, "%s must be a sequence of int or None", name);
            return false;
        }
        const long long value = PyLong_AsLongLong(item);
        if (value == -1 && PyErr_Occurred()) return false;
        out.push_back(value);
    }
    return true;
}

struct LammpsStream {
    LammpsStream(LineReader opened, std::string name, ChainSelection chosen)
        : reader(std::move(opened)), lammps(reader), path(std::move(name)), selection(std::move(chosen)) {}

    LineReader reader;
    LammpsReader lammps;  // reads from `reader`, which therefore never moves
    std::string path;
    ChainSelection selection;
    LammpsFrame frame;
    bool finished = false;
    // Frames as (timestep, points, offsets, molecules, winding, box, gaps), chains not padded.
    bool ragged = false;
};

struct LammpsFramesObject {
    PyObject_HEAD
    LammpsStream* stream;
};

void lammps_frames_dealloc(PyObject* self) {
    delete reinterpret_cast<LammpsFramesObject*>(self)->stream;
    Py_TYPE(self)->tp_free(self);
}

PyObject* raise_stream_error(LammpsStream& stream, const KnotError& error, bool with_line) {
    stream.finished = true;
    std::string where = " (frame " + std::to_string(stream.lammps.frames_read());
    if (with_line) where += ", line " + std::to_string(stream.lammps.lines_read());
    where += " of " + stream.path + ")";
    return to_py_runtime_error(error.display() + where);
}

// The box as rows: the origin, then the edge vectors a, b and c.
PyObject* box_array(const PeriodicBox& box) {
    return chain_to_pyarray({box.origin, {box.lx, 0.0, 0.0}, {box.xy, box.ly, 0.0}, {box.xz, box.yz, box.lz}});
}

PyObject* lammps_frames_next(PyObject* self) {
    return guarded([&]() -> PyObject* {
        LammpsStream& stream = *reinterpret_cast<LammpsFramesObject*>(self)->stream;
        if (stream.finished) return nullptr;  // StopIteration
        Result<bool> more = false;
        std::optional<Result<FrameChains>> chains;
        Py_BEGIN_ALLOW_THREADS
        more = stream.lammps.next(stream.frame);
        if (more && more.value()) chains = chains_of_frame(stream.frame, stream.selection);
        Py_END_ALLOW_THREADS
        if (!more) return raise_stream_error(stream, more.error(), true);
        if (!more.value()) {
            stream.finished = true;
            // A dump without a frame is empty or not a dump: an error that says so.
            if (stream.lammps.frames_read() == 0) return to_py_runtime_error(stream.path + ": no frames (an empty file)");
            return nullptr;
        }
        // The frame was read in full: its number is the one before.
        if (!*chains) {
            stream.finished = true;
            return to_py_runtime_error(chains->error().display() + " (frame " +
                                       std::to_string(stream.lammps.frames_read() - 1) + " of " + stream.path + ")");
        }
        const FrameChains& c = chains->value();
        PyRef timestep = PyRef::steal(PyLong_FromLongLong(stream.frame.timestep));
        if (stream.ragged) {
            PyRef ragged = PyRef::steal(ragged_chains_tuple(c));
            PyRef box = PyRef::steal(box_array(stream.frame.box));
            if (!timestep || !ragged || !box) return nullptr;
            PyObject* const* items = &PyTuple_GET_ITEM(ragged.get(), 0);
            return PyTuple_Pack(7, timestep.get(), items[0], items[1], items[2], items[3], box.get(), items[4]);
        }
        PyRef array = PyRef::steal(frames_to_pyarray(c.chains));
        PyRef molecules = PyRef::steal(int64_vector_array(c.molecules));
        PyRef winding = PyRef::steal(bool_vector_array(c.winding));
        PyRef box = PyRef::steal(box_array(stream.frame.box));
        if (!timestep || !array || !molecules || !winding || !box) return nullptr;
        return PyTuple_Pack(5, timestep.get(), array.get(), molecules.get(), winding.get(), box.get());
    });
}

PyObject* lammps_frames_tell(PyObject* self, PyObject*) {
    const LammpsStream& stream = *reinterpret_cast<LammpsFramesObject*>(self)->stream;
    return PyLong_FromUnsignedLongLong(stream.lammps.bytes_read());
}

PyMethodDef lammps_frames_methods[] = {
    {"tell", lammps_frames_tell, METH_NOARGS, "tell()\n--\n\nBytes of the file read so far."},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject lammps_frames_type = [] {
    PyTypeObject type{};  // PyType_Ready sets the metatype
    Py_SET_REFCNT(reinterpret_cast<PyObject*>(&type), 1);
    type.tp_name = "skeinlab._core.LammpsFrames";
    type.tp_basicsize = sizeof(LammpsFramesObject);
    type.tp_dealloc = lammps_frames_dealloc;
    type.tp_flags = Py_TPFLAGS_DEFAULT;
    type.tp_doc = "Frames of a LAMMPS dump, as lammps_frames yields them.";
    type.tp_iter = PyObject_SelfIter;
    type.tp_iternext = lammps_frames_next;
    type.tp_methods = lammps_frames_methods;
    return type;
}();

}  // namespace

bool ready_lammps_types() { return PyType_Ready(&lammps_frames_type) == 0; }

PyObject* lammps_frames(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"filename", "chain_type", "chain_length", "types", "molecules",
                                            "layout", "check_gaps", "ragged"};
        PyObject* bound[8];
        if (!bind_arguments("lammps_frames", names, 8, 1, args, nargs, kwnames, bound)) return nullptr;
        const std::optional<std::string> filename = convert_path(bound[0], "filename");
        if (!filename) return nullptr;
        ChainSelection selection;
        if (!convert_chain_type(bound[1], selection.ring)) return nullptr;
        if (bound[2] && bound[2] != Py_None) {
            std::uint64_t length = 0;
            if (!convert_positive_count(bound[2], "chain_length", length)) return nullptr;
            selection.chain_length = static_cast<std::size_t>(length);
        }
        if (!convert_int_list(bound[3], "types", selection.types)) return nullptr;
        if (!convert_int_list(bound[4], "molecules", selection.molecules)) return nullptr;
        if (bound[5] && bound[5] != Py_None && !(selection.layout = convert_layout(bound[5]))) return nullptr;
        if (bound[6] && !convert_bool(bound[6], "check_gaps", selection.check_gaps)) return nullptr;
        bool ragged = false;
        if (bound[7] && !convert_bool(bound[7], "ragged", ragged)) return nullptr;
        if (!path_exists(*filename)) return raise_with_message(PyExc_FileNotFoundError, "Cannot open file: " + *filename);
        Result<LineReader> reader = LineReader::open(*filename);
        if (!reader) return to_py_runtime_error(reader.error().message());
        auto* object = PyObject_New(LammpsFramesObject, &lammps_frames_type);
        if (!object) return nullptr;
        object->stream = nullptr;
        PyRef owned = PyRef::steal(reinterpret_cast<PyObject*>(object));
        object->stream = new LammpsStream(std::move(reader).value(), *filename, std::move(selection));
        object->stream->ragged = ragged;
        return owned.release();
    });
}

// A box given as a float64 array of rows: (3, 3) edge vectors a, b, c, or
// (4, 3) the corner and then the edges; a along x and b in the xy plane.
std::optional<PeriodicBox> convert_box(PyObject* obj) {
    if (!is_float64_array(obj, 2)) {
        to_py_runtime_error("box must be a float64 array of shape (3, 3) (edge vectors) or (4, 3) (corner and edges)");
        return std::nullopt;
    }
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    const npy_intp* shape = PyArray_DIMS(array);
    if ((shape[0] != 3 && shape[0] != 4) || shape[1] != 3) {
        to_py_runtime_error("box must be a float64 array of shape (3, 3) (edge vectors) or (4, 3) (corner and edges)");
        return std::nullopt;
    }
    const npy_intp* strides = PyArray_STRIDES(array);
    const char* base = PyArray_BYTES(array);
    const auto at = [&](npy_intp row, npy_intp column) { return load_double(base + row * strides[0] + column * strides[1]); };
    const npy_intp first = shape[0] == 4 ? 1 : 0;
    PeriodicBox box;
    if (shape[0] == 4) box.origin = {at(0, 0), at(0, 1), at(0, 2)};
    if (at(first, 1) != 0.0 || at(first, 2) != 0.0 || at(first + 1, 2) != 0.0) {
        to_py_runtime_error("box edges must be a = (lx, 0, 0), b = (xy, ly, 0), c = (xz, yz, lz)");
        return std::nullopt;
    }
    box.lx = at(first, 0);
    box.xy = at(first + 1, 0);
    box.ly = at(first + 1, 1);
    box.xz = at(first + 2, 0);
    box.yz = at(first + 2, 1);
    box.lz = at(first + 2, 2);
    if (!box.valid()) {
        to_py_runtime_error("box edges must have positive finite lengths");
        return std::nullopt;
    }
    return box;
}

PyObject* unwrap_chains(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"chains", "box", "chain_type"};
        PyObject* bound[3];
        if (!bind_arguments("unwrap_chains", names, 3, 2, args, nargs, kwnames, bound)) return nullptr;
        bool ring = true;
        if (!convert_chain_type(bound[2], ring)) return nullptr;
        const std::optional<PeriodicBox> box = convert_box(bound[1]);
        if (!box) return nullptr;
        if (PyUnicode_Check(bound[0])) return to_py_runtime_error("chains must be a float64 array (N, 3) or (K, N, 3)");
        std::optional<FrameSet> chains = frames_from_input(bound[0], {false, nullptr, true});
        if (!chains) return nullptr;
        std::vector<bool> winding(chains->size());
        Py_BEGIN_ALLOW_THREADS
        for (std::size_t k = 0; k < chains->size(); ++k) winding[k] = !unwrap_present_points((*chains)[k], *box, ring);
        Py_END_ALLOW_THREADS
        PyRef array = PyRef::steal(frames_to_pyarray(*chains));
        PyRef mask = PyRef::steal(bool_vector_array(winding));
        if (!array || !mask) return nullptr;
        return PyTuple_Pack(2, array.get(), mask.get());
    });
}

}  // namespace skeinlab::py
