// knot_type, knot_identify and knot_size.

#include "drivers/frames.hpp"
#include "functions.hpp"
#include "knot_call.hpp"

namespace skeinlab::py {
namespace {

// The names of the frames: for a repeated input (one frame typed, standing
// for `repeat` equal ones) the one name repeated, as references to one str.
PyObject* name_list(const std::vector<std::string>& names, std::size_t repeat) {
    PyRef list = PyRef::steal(str_list(names));
    if (!list || repeat <= 1) return list.release();
    return PySequence_Repeat(list.get(), static_cast<Py_ssize_t>(repeat));
}

}  // namespace

PyObject* knot_type(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare_knot_call("knot_type", args, nargs, kwnames);
        if (!call) return nullptr;
        const auto outcome = run_watched([&](const CallControl& control) {
            return classify_frames(call->frames, call->table, call->options, call->threads, control);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        return name_list(std::get<std::vector<std::string>>(*outcome), call->repeat);
    });
}

PyObject* knot_identify(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare_knot_call("knot_identify", args, nargs, kwnames);
        if (!call) return nullptr;
        const auto outcome = run_watched([&](const CallControl& control) {
            return identify_frames(call->frames, call->options, call->threads, control);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        return name_list(std::get<std::vector<std::string>>(*outcome), call->repeat);
    });
}

PyObject* knot_size(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare_knot_call("knot_size", args, nargs, kwnames);
        if (!call) return nullptr;
        const auto outcome = run_watched([&](const CallControl& control) {
            return compute_knot_size(call->frames, call->table, call->options, call->threads, control);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        const KnotSizes& sizes = std::get<KnotSizes>(*outcome);
        PyRef names = PyRef::steal(name_list(sizes.names, call->repeat));
        if (!names) return nullptr;
        // Every frame gets a list of its own (a caller may change one).
        const std::size_t frames = sizes.cores.size() == 1 ? call->repeat : sizes.cores.size();
        PyRef cores = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(frames)));
        if (!cores) return nullptr;
        for (std::size_t i = 0; i < frames; ++i) {
            const CoreTriple& c = sizes.cores[sizes.cores.size() == 1 ? 0 : i];
            PyObject* triple = Py_BuildValue("[iii]", c[0], c[1], c[2]);
            if (!triple) return nullptr;
            PyList_SET_ITEM(cores.get(), static_cast<Py_ssize_t>(i), triple);
        }
        return PyTuple_Pack(2, names.get(), cores.get());
    });
}

}  // namespace skeinlab::py
