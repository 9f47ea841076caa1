// linking_pairs: the linked pairs of the chains of every frame.
#include "numpy_api.hpp"

#include "convert.hpp"
#include "frames.hpp"
#include "functions.hpp"
#include "knot_call.hpp"

namespace skeinlab::py {

PyObject* linking_pairs(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"frames", "chain_type", "threads"};
        PyObject* bound[3];
        if (!bind_arguments("linking_pairs", names, 3, 1, args, nargs, kwnames, bound)) return nullptr;
        bool rings = true;
        if (!convert_chain_type(bound[1], rings)) return nullptr;
        std::optional<std::uint64_t> threads;
        if (bound[2] && !convert_threads(bound[2], threads)) return nullptr;
        // Frames: a sequence of float64 arrays (K, N, 3), the chains of each.
        PyRef sequence = PyRef::steal(PySequence_Fast(bound[0], "frames must be a sequence of arrays (K, N, 3)"));
        if (!sequence) return nullptr;
        const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
        std::vector<FrameSet> frames;
        frames.reserve(static_cast<std::size_t>(count));
        for (Py_ssize_t f = 0; f < count; ++f) {
            PyObject* frame = PySequence_Fast_GET_ITEM(sequence.get(), f);
            if (!is_float64_array(frame, 3))
                return to_py_runtime_error("frames must be a sequence of float64 arrays (K, N, 3)");
            std::optional<FrameSet> chains = frames_from_input(frame);
            if (!chains) return nullptr;
            frames.push_back(std::move(*chains));
        }
        const auto outcome = run_watched(
            [&](const CallControl& control) { return linking_frames(frames, rings, threads, control); });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        const auto& results = std::get<std::vector<std::vector<LinkingPair>>>(*outcome);
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(results.size())));
        if (!list) return nullptr;
        for (std::size_t f = 0; f < results.size(); ++f) {
            const std::vector<LinkingPair>& pairs = results[f];
            npy_intp pair_dims[2] = {static_cast<npy_intp>(pairs.size()), 2};
            npy_intp dims[1] = {static_cast<npy_intp>(pairs.size())};
            PyRef indices = PyRef::steal(PyArray_SimpleNew(2, pair_dims, NPY_INT64));
            PyRef values = PyRef::steal(PyArray_SimpleNew(1, dims, NPY_DOUBLE));
            PyRef defined = PyRef::steal(PyArray_SimpleNew(1, dims, NPY_BOOL));
            if (!indices || !values || !defined) return nullptr;
            auto* ij = static_cast<std::int64_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(indices.get())));
            auto* v = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(values.get())));
            auto* d = static_cast<npy_bool*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(defined.get())));
            for (std::size_t k = 0; k < pairs.size(); ++k) {
                ij[2 * k] = pairs[k].i;
                ij[2 * k + 1] = pairs[k].j;
                v[k] = pairs[k].value;
                d[k] = pairs[k].defined ? NPY_TRUE : NPY_FALSE;
            }
            PyObject* item = PyTuple_Pack(3, indices.get(), values.get(), defined.get());
            if (!item) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(f), item);
        }
        return list.release();
    });
}

}  // namespace skeinlab::py
