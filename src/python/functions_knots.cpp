// knot_type and knot_size.

#include "drivers.hpp"
#include "functions.hpp"
#include "knot_call.hpp"

namespace skeinlab::py {

PyObject* knot_type(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare_knot_call("knot_type", args, nargs, kwnames);
        if (!call) return nullptr;
        const auto outcome = run_watched([&](const CallControl& control) {
            return classify_frames(call->frames, call->table, call->options, call->threads, control);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        return str_list(std::get<std::vector<std::string>>(*outcome));
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
        PyRef names = PyRef::steal(str_list(sizes.names));
        if (!names) return nullptr;
        PyRef cores = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(sizes.cores.size())));
        if (!cores) return nullptr;
        for (std::size_t i = 0; i < sizes.cores.size(); ++i) {
            const CoreTriple& c = sizes.cores[i];
            PyObject* triple = Py_BuildValue("[iii]", c[0], c[1], c[2]);
            if (!triple) return nullptr;
            PyList_SET_ITEM(cores.get(), static_cast<Py_ssize_t>(i), triple);
        }
        return PyTuple_Pack(2, names.get(), cores.get());
    });
}

}  // namespace skeinlab::py
