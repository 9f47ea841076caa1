// knot_spectrum and knot_fingerprint.
#include "numpy_api.hpp"

#include <cstring>
#include <vector>

#include "drivers/frames.hpp"
#include "functions.hpp"
#include "knot_call.hpp"

namespace skeinlab::py {
namespace {

// {name: fraction} in the spectrum's order (dicts keep insertion order).
PyObject* spectrum_dict(const std::vector<SpectrumEntry>& entries, std::uint64_t samples) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const SpectrumEntry& e : entries) {
        PyRef name = PyRef::steal(utf8_str(e.name));
        PyRef fraction = PyRef::steal(
            PyFloat_FromDouble(static_cast<double>(e.count) / static_cast<double>(samples)));
        if (!name || !fraction || PyDict_SetItem(dict.get(), name.get(), fraction.get()) < 0) return nullptr;
    }
    return dict.release();
}

// The structured array of a fingerprint: fields start (int64), end (int64),
// knot (str, as wide as the widest name) and fraction (float64), packed.
PyObject* fingerprint_array(const std::vector<FingerprintRow>& rows, std::uint64_t samples) {
    std::vector<PyRef> knots;
    knots.reserve(rows.size());
    Py_ssize_t width = 1;
    for (const FingerprintRow& row : rows) {
        knots.push_back(PyRef::steal(utf8_str(row.dominant.name)));
        if (!knots.back()) return nullptr;
        width = std::max(width, PyUnicode_GET_LENGTH(knots.back().get()));
    }
    const std::string knot_format = "<U" + std::to_string(width);
    PyRef fields = PyRef::steal(Py_BuildValue("[(ss)(ss)(ss)(ss)]", "start", "<i8", "end", "<i8", "knot",
                                              knot_format.c_str(), "fraction", "<f8"));
    if (!fields) return nullptr;
    PyArray_Descr* descr = nullptr;
    if (!PyArray_DescrConverter(fields.get(), &descr)) return nullptr;
    npy_intp count = static_cast<npy_intp>(rows.size());
    PyRef array = PyRef::steal(PyArray_Zeros(1, &count, descr, 0));  // steals descr
    if (!array) return nullptr;
    const std::size_t knot_bytes = 4 * static_cast<std::size_t>(width);
    const std::size_t item_size = 16 + knot_bytes + 8;
    char* item = PyArray_BYTES(reinterpret_cast<PyArrayObject*>(array.get()));
    std::vector<Py_UCS4> text(static_cast<std::size_t>(width));
    for (std::size_t i = 0; i < rows.size(); ++i, item += item_size) {
        const auto start = static_cast<std::int64_t>(rows[i].start);
        const auto end = static_cast<std::int64_t>(rows[i].end);
        const double fraction = static_cast<double>(rows[i].dominant.count) / static_cast<double>(samples);
        std::fill(text.begin(), text.end(), 0);
        if (!PyUnicode_AsUCS4(knots[i].get(), text.data(), width, 0)) return nullptr;
        std::memcpy(item, &start, 8);
        std::memcpy(item + 8, &end, 8);
        std::memcpy(item + 16, text.data(), knot_bytes);
        std::memcpy(item + 16 + knot_bytes, &fraction, 8);
    }
    return array.release();
}

// invariant: exactly "alexander" (names as knot_type gives them) or "homfly"
// (as knot_identify gives them); None or absent keeps the default.
bool convert_invariant(PyObject* value, KnotInvariant& invariant) {
    if (!value || value == Py_None) return true;
    const std::optional<std::string> text = convert_str(value, "invariant");
    if (!text) return false;
    if (*text == "alexander") {
        invariant = KnotInvariant::Alexander;
    } else if (*text == "homfly") {
        invariant = KnotInvariant::Homfly;
    } else {
        PyErr_SetString(PyExc_ValueError, "invariant must be 'alexander' or 'homfly'");
        return false;
    }
    return true;
}

}  // namespace

PyObject* knot_spectrum(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"input_data", "chain_type", "samples", "seed", "threads",
                                            "frame_offset", "invariant"};
        PyObject* bound[7];
        if (!bind_arguments("knot_spectrum", names, 7, 1, args, nargs, kwnames, bound)) return nullptr;
        std::uint64_t samples = 100;
        std::uint64_t seed = 0;
        std::uint64_t frame_offset = 0;
        KnotInvariant invariant = KnotInvariant::Alexander;
        std::optional<KnotCall> call = check_knot_call(bound[0], bound[1], bound[4], [&] {
            return convert_positive_count(bound[2], "samples", samples) && convert_seed(bound[3], "seed", seed) &&
                   convert_seed(bound[5], "frame_offset", frame_offset) && convert_invariant(bound[6], invariant);
        }, {true, false, true});
        if (!call) return nullptr;
        call->options.invariant = invariant;
        const auto outcome = run_watched([&](const CallControl& control) {
            return compute_spectra(call->frames, call->table, call->options, samples, seed, call->threads,
                                   control, frame_offset);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        const auto& spectra = std::get<std::vector<std::vector<SpectrumEntry>>>(*outcome);
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(spectra.size())));
        if (!list) return nullptr;
        for (std::size_t f = 0; f < spectra.size(); ++f) {
            PyObject* dict = spectrum_dict(spectra[f], samples);
            if (!dict) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(f), dict);
        }
        return list.release();
    });
}

PyObject* knot_fingerprint(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"chain", "step", "samples", "seed", "threads", "invariant"};
        PyObject* bound[6];
        if (!bind_arguments("knot_fingerprint", names, 6, 1, args, nargs, kwnames, bound)) return nullptr;
        std::uint64_t step = 1;
        std::uint64_t samples = 50;
        std::uint64_t seed = 0;
        KnotInvariant invariant = KnotInvariant::Alexander;
        std::optional<KnotCall> call = check_knot_call(bound[0], nullptr, bound[4], [&] {
            return convert_positive_count(bound[1], "step", step) &&
                   convert_positive_count(bound[2], "samples", samples) && convert_seed(bound[3], "seed", seed) &&
                   convert_invariant(bound[5], invariant);
        }, {false, false, true});
        if (!call) return nullptr;
        if (call->frames.size() != 1) {
            PyErr_Format(PyExc_ValueError, "knot_fingerprint takes one chain, got %zu frames",
                         call->frames.size());
            return nullptr;
        }
        call->options.is_ring = false;
        call->options.invariant = invariant;
        const auto outcome = run_watched([&](const CallControl& control) {
            return compute_fingerprint(call->frames.front(), static_cast<std::size_t>(step), call->table,
                                       call->options, samples, seed, call->threads, control);
        });
        if (!outcome) return nullptr;
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        return fingerprint_array(std::get<std::vector<FingerprintRow>>(*outcome), samples);
    });
}

}  // namespace skeinlab::py
