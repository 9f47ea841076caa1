// linking_pairs: the linked pairs of the chains of every frame.
#include "numpy_api.hpp"

#include "convert.hpp"
#include "frames.hpp"
#include "functions.hpp"
#include "knot_call.hpp"

namespace skeinlab::py {
namespace {

// Frames: a sequence of float64 arrays (K, N, 3), the chains of each.
bool convert_chain_frames(PyObject* obj, std::vector<FrameSet>& frames) {
    PyRef sequence = PyRef::steal(PySequence_Fast(obj, "frames must be a sequence of arrays (K, N, 3)"));
    if (!sequence) return false;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence.get());
    frames.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t f = 0; f < count; ++f) {
        PyObject* frame = PySequence_Fast_GET_ITEM(sequence.get(), f);
        if (!PyArray_Check(frame) || PyArray_NDIM(reinterpret_cast<PyArrayObject*>(frame)) != 3) {
            to_py_runtime_error("frames must be a sequence of float or integer arrays (K, N, 3)");
            return false;
        }
        std::optional<FrameSet> chains = frames_from_input(frame, {false, nullptr, true});
        if (!chains) return false;
        frames.push_back(std::move(*chains));
    }
    return true;
}

}  // namespace

PyObject* linking_pairs(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"frames", "chain_type", "threads"};
        PyObject* bound[3];
        if (!bind_arguments("linking_pairs", names, 3, 1, args, nargs, kwnames, bound)) return nullptr;
        bool rings = true;
        if (!convert_chain_type(bound[1], rings)) return nullptr;
        std::optional<std::uint64_t> threads;
        if (bound[2] && !convert_threads(bound[2], threads)) return nullptr;
        std::vector<FrameSet> frames;
        if (!convert_chain_frames(bound[0], frames)) return nullptr;
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

PyObject* linked_pairs(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"frames", "threads"};
        PyObject* bound[2];
        if (!bind_arguments("linked_pairs", names, 2, 1, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::uint64_t> threads;
        if (bound[1] && !convert_threads(bound[1], threads)) return nullptr;
        std::vector<FrameSet> frames;
        if (!convert_chain_frames(bound[0], frames)) return nullptr;
        const auto outcome =
            run_watched([&](const CallControl& control) { return linked_pair_frames(frames, threads, control); });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        const auto& results = std::get<std::vector<std::vector<LinkedPair>>>(*outcome);
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(results.size())));
        if (!list) return nullptr;
        for (std::size_t f = 0; f < results.size(); ++f) {
            const std::vector<LinkedPair>& pairs = results[f];
            npy_intp pair_dims[2] = {static_cast<npy_intp>(pairs.size()), 2};
            npy_intp dims[1] = {static_cast<npy_intp>(pairs.size())};
            PyRef indices = PyRef::steal(PyArray_SimpleNew(2, pair_dims, NPY_INT64));
            PyRef values = PyRef::steal(PyArray_SimpleNew(1, dims, NPY_INT64));
            PyRef defined = PyRef::steal(PyArray_SimpleNew(1, dims, NPY_BOOL));
            std::vector<std::string> link_names;
            for (const LinkedPair& p : pairs) link_names.push_back(p.name);
            PyRef named = PyRef::steal(str_list(link_names));
            if (!indices || !values || !defined || !named) return nullptr;
            auto* ij = static_cast<std::int64_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(indices.get())));
            auto* v = static_cast<std::int64_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(values.get())));
            auto* d = static_cast<npy_bool*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(defined.get())));
            for (std::size_t k = 0; k < pairs.size(); ++k) {
                ij[2 * k] = pairs[k].i;
                ij[2 * k + 1] = pairs[k].j;
                v[k] = pairs[k].linking;
                d[k] = pairs[k].defined ? NPY_TRUE : NPY_FALSE;
            }
            PyObject* item = PyTuple_Pack(4, indices.get(), values.get(), defined.get(), named.get());
            if (!item) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(f), item);
        }
        return list.release();
    });
}

PyObject* link_types(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"frames", "threads"};
        PyObject* bound[2];
        if (!bind_arguments("link_types", names, 2, 1, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::uint64_t> threads;
        if (bound[1] && !convert_threads(bound[1], threads)) return nullptr;
        std::vector<FrameSet> frames;
        if (!convert_chain_frames(bound[0], frames)) return nullptr;
        const KnotTypeOptions options;
        const auto outcome =
            run_watched([&](const CallControl& control) { return link_type_frames(frames, options, threads, control); });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        const auto& results = std::get<std::vector<LinkIdentity>>(*outcome);
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(results.size())));
        if (!list) return nullptr;
        for (std::size_t f = 0; f < results.size(); ++f) {
            const LinkIdentity& link = results[f];
            PyRef sublinks = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(link.sublinks.size())));
            if (!sublinks) return nullptr;
            for (std::size_t k = 0; k < link.sublinks.size(); ++k) {
                const Sublink& sublink = link.sublinks[k];
                PyRef rings = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(sublink.rings.size())));
                if (!rings) return nullptr;
                for (std::size_t r = 0; r < sublink.rings.size(); ++r) {
                    PyObject* number = PyLong_FromSize_t(sublink.rings[r]);
                    if (!number) return nullptr;
                    PyTuple_SET_ITEM(rings.get(), static_cast<Py_ssize_t>(r), number);
                }
                PyObject* item = Py_BuildValue("(Os#n)", rings.get(), sublink.name.data(),
                                               static_cast<Py_ssize_t>(sublink.name.size()),
                                               static_cast<Py_ssize_t>(sublink.crossings));
                if (!item) return nullptr;
                PyList_SET_ITEM(sublinks.get(), static_cast<Py_ssize_t>(k), item);
            }
            PyRef knots = PyRef::steal(str_list(link.knots));
            if (!knots) return nullptr;
            PyObject* item = Py_BuildValue("(s#OO)", link.name.data(), static_cast<Py_ssize_t>(link.name.size()),
                                           sublinks.get(), knots.get());
            if (!item) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(f), item);
        }
        return list.release();
    });
}

}  // namespace skeinlab::py
