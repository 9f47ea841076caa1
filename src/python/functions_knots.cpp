// knot_type, knot_identify, knot_invariants, knot_size, the PD codes of diagrams
// and lassos.
#include "numpy_api.hpp"

#include "drivers/frames.hpp"
#include "functions.hpp"
#include "knot_call.hpp"
#include "frames.hpp"

namespace skeinlab::py {
namespace {

// The names of the frames: for a repeated input (one frame typed, standing
// for `repeat` equal ones) the one name repeated, as references to one str.
PyObject* name_list(const std::vector<std::string>& names, std::size_t repeat) {
    PyRef list = PyRef::steal(str_list(names));
    if (!list || repeat <= 1) return list.release();
    return PySequence_Repeat(list.get(), static_cast<Py_ssize_t>(repeat));
}

// None, or the text of a polynomial.
PyObject* polynomial_or_none(const std::optional<Laurent2>& p, const char* first, const char* second) {
    if (!p) Py_RETURN_NONE;
    return utf8_str(p->text(first, second));
}

// Adds key: value to the dict, taking the reference to value; false (an
// exception set) when value is null or the dict refuses it.
bool put(PyObject* dict, const char* key, PyObject* value) {
    PyRef owned = PyRef::steal(value);
    return owned && PyDict_SetItemString(dict, key, owned.get()) == 0;
}

PyObject* invariants_dict(const KnotInvariants& inv) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyRef summands = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(inv.summands.size())));
    if (!summands) return nullptr;
    for (std::size_t k = 0; k < inv.summands.size(); ++k) {
        const SummandInvariants& s = inv.summands[k];
        PyRef item = PyRef::steal(PyDict_New());
        if (!item || !put(item.get(), "name", utf8_str(s.name)) ||
            !put(item.get(), "crossings", PyLong_FromSize_t(s.crossings)) ||
            !put(item.get(), "alexander", utf8_str(s.alexander)) ||
            !put(item.get(), "homfly", polynomial_or_none(s.homfly, "v", "z")) ||
            !put(item.get(), "jones", polynomial_or_none(s.jones, "t", "_")))
            return nullptr;
        PyList_SET_ITEM(summands.get(), static_cast<Py_ssize_t>(k), item.release());
    }
    if (!put(dict.get(), "name", utf8_str(inv.name)) || !put(dict.get(), "alexander", utf8_str(inv.alexander)) ||
        !put(dict.get(), "determinant", PyLong_FromString(inv.determinant.c_str(), nullptr, 10)) ||
        !put(dict.get(), "homfly", polynomial_or_none(inv.homfly, "v", "z")) ||
        !put(dict.get(), "jones", polynomial_or_none(inv.jones, "t", "_")) ||
        !put(dict.get(), "crossings", PyLong_FromSize_t(inv.crossings)) ||
        !put(dict.get(), "summands", summands.release()))
        return nullptr;
    return dict.release();
}

// knot_type and knot_identify: binds and checks the arguments, runs
// names_of(call, control) with the lock released, and returns one name per
// frame.
template <class NamesOf>
PyObject* named_frames(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                       NamesOf names_of) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare_knot_call(function, args, nargs, kwnames);
        if (!call) return nullptr;
        const auto outcome = run_watched([&](const CallControl& control) { return names_of(*call, control); });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        return name_list(std::get<std::vector<std::string>>(*outcome), call->repeat);
    });
}

}  // namespace

PyObject* knot_invariants(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare_knot_call("knot_invariants", args, nargs, kwnames);
        if (!call) return nullptr;
        const auto outcome = run_watched([&](const CallControl& control) {
            return invariants_frames(call->frames, call->options, call->threads, control);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        const std::vector<KnotInvariants>& all = std::get<std::vector<KnotInvariants>>(*outcome);
        // A repeated input gives every frame a dict of its own (a caller may change one).
        const std::size_t frames = all.size() == 1 ? call->repeat : all.size();
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(frames)));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < frames; ++i) {
            PyObject* item = invariants_dict(all[all.size() == 1 ? 0 : i]);
            if (!item) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
        }
        return list.release();
    });
}

PyObject* knot_type(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return named_frames("knot_type", args, nargs, kwnames, [](const KnotCall& call, const CallControl& control) {
        return classify_frames(call.frames, call.table, call.options, call.threads, control);
    });
}

PyObject* knot_identify(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return named_frames("knot_identify", args, nargs, kwnames, [](const KnotCall& call, const CallControl& control) {
        return identify_frames(call.frames, call.options, call.threads, control);
    });
}

PyObject* pd_code(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare_knot_call("pd_code", args, nargs, kwnames);
        if (!call) return nullptr;
        const auto outcome = run_watched([&](const CallControl& control) {
            return pd_frames(call->frames, call->options, call->threads, control);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        const auto& codes = std::get<std::vector<std::vector<PdCrossing>>>(*outcome);
        const std::size_t frames = codes.size() == 1 ? call->repeat : codes.size();
        PyRef out = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(frames)));
        if (!out) return nullptr;
        for (std::size_t f = 0; f < frames; ++f) {
            const std::vector<PdCrossing>& code = codes[codes.size() == 1 ? 0 : f];
            PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(code.size())));
            if (!list) return nullptr;
            for (std::size_t c = 0; c < code.size(); ++c) {
                PyObject* crossing = Py_BuildValue("(IIII)", code[c][0], code[c][1], code[c][2], code[c][3]);
                if (!crossing) return nullptr;
                PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(c), crossing);
            }
            PyList_SET_ITEM(out.get(), static_cast<Py_ssize_t>(f), list.release());
        }
        return out.release();
    });
}

namespace {

// A PD code argument: a str as KnotInfo, SnapPy or Regina write them, or a
// sequence of crossings of four ints. Raises ValueError naming the code.
std::optional<std::vector<PdCrossing>> convert_pd_code(PyObject* obj, Py_ssize_t index) {
    if (PyUnicode_Check(obj)) {
        const char* text = PyUnicode_AsUTF8(obj);
        if (!text) return std::nullopt;
        Result<std::vector<PdCrossing>> parsed = parse_pd_code(text);
        if (!parsed) {
            PyErr_Format(PyExc_ValueError, "code %zd: %s", index, parsed.error().message().c_str());
            return std::nullopt;
        }
        return std::move(parsed).value();
    }
    PyRef crossings = PyRef::steal(PySequence_Fast(obj, ""));
    if (!crossings) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "code %zd: a PD code is a str or a sequence of crossings of four ints", index);
        return std::nullopt;
    }
    std::vector<PdCrossing> code;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(crossings.get());
    for (Py_ssize_t c = 0; c < count; ++c) {
        PyRef edges = PyRef::steal(PySequence_Fast(PySequence_Fast_GET_ITEM(crossings.get(), c), ""));
        if (!edges || PySequence_Fast_GET_SIZE(edges.get()) != 4) {
            PyErr_Clear();
            PyErr_Format(PyExc_ValueError, "code %zd: crossing %zd is not four edge numbers", index, c);
            return std::nullopt;
        }
        PdCrossing crossing{};
        for (Py_ssize_t e = 0; e < 4; ++e) {
            const long long value = PyLong_AsLongLong(PySequence_Fast_GET_ITEM(edges.get(), e));
            if (value == -1 && PyErr_Occurred()) return std::nullopt;
            if (value < 0 || value > 100000000) {
                PyErr_Format(PyExc_ValueError, "code %zd: crossing %zd has edge number %lld", index, c, value);
                return std::nullopt;
            }
            crossing[static_cast<std::size_t>(e)] = static_cast<std::uint32_t>(value);
        }
        code.push_back(crossing);
    }
    return code;
}

}  // namespace

PyObject* identify_pd(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"codes", "threads"};
        PyObject* bound[2];
        if (!bind_arguments("identify_pd", names, 2, 1, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::uint64_t> threads;
        if (!convert_threads(bound[1], threads)) return nullptr;
        if (threads && *threads == 0) return raise_with_message(PyExc_ValueError, "threads must be >= 1");
        if (PyUnicode_Check(bound[0]))
            return raise_with_message(PyExc_TypeError, "codes must be a list of PD codes (a str is one code: [code])");
        PyRef items = PyRef::steal(PySequence_Fast(bound[0], "codes must be a list of PD codes"));
        if (!items) return nullptr;
        std::vector<std::vector<PdCrossing>> codes;
        for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(items.get()); ++k) {
            std::optional<std::vector<PdCrossing>> code = convert_pd_code(PySequence_Fast_GET_ITEM(items.get(), k), k);
            if (!code) return nullptr;
            codes.push_back(std::move(*code));
        }
        const auto outcome =
            run_watched([&](const CallControl& control) { return identify_pd_codes(codes, threads, control); });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) {
            if (failure->kind == Failure::Kind::Error) return raise_with_message(PyExc_ValueError, failure->message);
            return raise_failure(*failure);
        }
        return str_list(std::get<std::vector<std::string>>(*outcome));
    });
}

namespace {

PyObject* piercing_list(const std::vector<LassoPiercing>& piercings) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(piercings.size())));
    if (!list) return nullptr;
    for (std::size_t k = 0; k < piercings.size(); ++k) {
        const char sign[2] = {piercings[k].sign, 0};
        PyObject* item = Py_BuildValue("(Ls)", static_cast<long long>(piercings[k].index), sign);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), item);
    }
    return list.release();
}

}  // namespace

PyObject* lasso_frames(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"input_data", "bridges", "threads"};
        PyObject* bound[3];
        if (!bind_arguments("lasso_frames", names, 3, 2, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::uint64_t> threads;
        if (!convert_threads(bound[2], threads)) return nullptr;
        if (threads && *threads == 0) return raise_with_message(PyExc_ValueError, "threads must be >= 1");
        PyRef items = PyRef::steal(PySequence_Fast(bound[1], "bridges must be a sequence of (i, j) pairs"));
        if (!items) return nullptr;
        std::vector<std::array<std::int64_t, 2>> bridges;
        for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(items.get()); ++k) {
            PyRef pair = PyRef::steal(PySequence_Fast(PySequence_Fast_GET_ITEM(items.get(), k), ""));
            if (!pair || PySequence_Fast_GET_SIZE(pair.get()) != 2) {
                PyErr_Clear();
                return raise_with_message(PyExc_TypeError, "bridges must be a sequence of (i, j) pairs");
            }
            std::array<std::int64_t, 2> bridge{};
            for (Py_ssize_t e = 0; e < 2; ++e) {
                bridge[static_cast<std::size_t>(e)] = PyLong_AsLongLong(PySequence_Fast_GET_ITEM(pair.get(), e));
                if (bridge[static_cast<std::size_t>(e)] == -1 && PyErr_Occurred()) return nullptr;
            }
            bridges.push_back(bridge);
        }
        std::optional<FrameSet> frames = frames_from_input(bound[0], {false, nullptr, true});
        if (!frames) return nullptr;
        const auto outcome =
            run_watched([&](const CallControl& control) { return lasso_frames(*frames, bridges, threads, control); });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) {
            if (failure->kind == Failure::Kind::Error) return raise_with_message(PyExc_ValueError, failure->message);
            return raise_failure(*failure);
        }
        const auto& lassos = std::get<std::vector<std::vector<Lasso>>>(*outcome);
        PyRef out = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(lassos.size())));
        if (!out) return nullptr;
        for (std::size_t f = 0; f < lassos.size(); ++f) {
            PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(lassos[f].size())));
            if (!list) return nullptr;
            for (std::size_t k = 0; k < lassos[f].size(); ++k) {
                const Lasso& l = lassos[f][k];
                PyRef n_tail = PyRef::steal(piercing_list(l.n_tail));
                PyRef c_tail = PyRef::steal(piercing_list(l.c_tail));
                if (!n_tail || !c_tail) return nullptr;
                PyObject* item = Py_BuildValue("((LL)s#OOd)", static_cast<long long>(l.bridge[0]),
                                               static_cast<long long>(l.bridge[1]), l.name.data(),
                                               static_cast<Py_ssize_t>(l.name.size()), n_tail.get(), c_tail.get(), l.area);
                if (!item) return nullptr;
                PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), item);
            }
            PyList_SET_ITEM(out.get(), static_cast<Py_ssize_t>(f), list.release());
        }
        return out.release();
    });
}

PyObject* lasso_surface(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"chain", "i", "j"};
        PyObject* bound[3];
        if (!bind_arguments("lasso_surface", names, 3, 3, args, nargs, kwnames, bound)) return nullptr;
        std::optional<FrameSet> frames = frames_from_input(bound[0], {false, nullptr, true});
        if (!frames) return nullptr;
        if (frames->size() != 1) return raise_with_message(PyExc_ValueError, "lasso_surface takes one chain (N, 3)");
        const long long i = PyLong_AsLongLong(bound[1]);
        if (i == -1 && PyErr_Occurred()) return nullptr;
        const long long j = PyLong_AsLongLong(bound[2]);
        if (j == -1 && PyErr_Occurred()) return nullptr;
        Result<LassoSurface> surface = lasso_surface((*frames)[0], i, j);
        if (!surface) return raise_with_message(PyExc_ValueError, surface.error().message());
        PyRef vertices = PyRef::steal(chain_to_pyarray(surface.value().vertices));
        if (!vertices) return nullptr;
        const auto& triangles = surface.value().triangles;
        npy_intp dims[2] = {static_cast<npy_intp>(triangles.size()), 3};
        PyRef faces = PyRef::steal(PyArray_SimpleNew(2, dims, NPY_INT64));
        if (!faces) return nullptr;
        auto* data = static_cast<std::int64_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(faces.get())));
        for (std::size_t k = 0; k < triangles.size(); ++k)
            for (std::size_t e = 0; e < 3; ++e) data[3 * k + e] = static_cast<std::int64_t>(triangles[k][e]);
        return PyTuple_Pack(2, vertices.get(), faces.get());
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
