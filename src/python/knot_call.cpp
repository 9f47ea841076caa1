#include "knot_call.hpp"

#include <cstdlib>

#include "frames.hpp"
#include "io/lines.hpp"

namespace skeinlab::py {
namespace {

// An environment variable's value as bytes (a path need not be UTF-8), or
// nothing when it is not set.
std::optional<std::string> env_value(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

}  // namespace

std::optional<AlexanderTable> load_table() {
    std::optional<std::string> path = env_value("LOOMCRAFT_ALEXANDER_TABLE");
    if (!path) {
        const std::optional<std::string> home = env_value("HOME");
        if (!home) return AlexanderTable::builtin();
        std::string candidate = *home;
        for (const char* part : {".local", "share", "ropelore", "table_knot_skeinlab.txt"}) {
            if (!candidate.empty() && candidate.back() != '/') candidate += '/';
            candidate += part;
        }
        if (!path_exists(candidate)) return AlexanderTable::builtin();
        path = std::move(candidate);
    }
    if (!path_exists(*path)) {
        raise_with_message(PyExc_FileNotFoundError, "Alexander table file not found: " + *path);
        return std::nullopt;
    }
    Result<AlexanderTable> table = AlexanderTable::builtin_with_file(*path);
    if (!table) {
        raise_knot_error(table.error());
        return std::nullopt;
    }
    return std::move(table).value();
}

std::optional<KnotCall> check_knot_call(PyObject* input_data, PyObject* chain_type_arg, PyObject* threads,
                                        const std::function<bool()>& more, InputChoice choice) {
    std::optional<std::string> chain_type = std::string("ring");
    if (chain_type_arg && !(chain_type = convert_str(chain_type_arg, "chain_type"))) return std::nullopt;
    KnotCall call;
    if (!convert_threads(threads, call.threads)) return std::nullopt;
    if (call.threads && *call.threads == 0) {
        PyErr_SetString(PyExc_ValueError, "threads must be >= 1");
        return std::nullopt;
    }
    if (more && !more()) return std::nullopt;
    std::optional<FrameSet> frames =
        frames_from_input(input_data, {choice.collapse_points, choice.repeat_frames ? &call.repeat : nullptr, choice.any_real});
    if (!frames) return std::nullopt;
    std::optional<AlexanderTable> table = load_table();
    if (!table) return std::nullopt;
    const std::optional<bool> is_ring = check_chain_type(*chain_type);
    if (!is_ring) return std::nullopt;
    call.frames = std::move(*frames);
    call.table = std::move(*table);
    call.options = KnotTypeOptions{0.005, 100.0, 4, *is_ring, true, false, KnotInvariant::Alexander};
    return call;
}

std::optional<KnotCall> prepare_knot_call(const char* function, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames) {
    static const char* const names[] = {"input_data", "chain_type", "threads"};
    PyObject* bound[3];
    if (!bind_arguments(function, names, 3, 1, args, nargs, kwnames, bound)) return std::nullopt;
    // knot_type and knot_size take float64 arrays only; the functions beyond them any real dtype.
    const bool any_real = std::string_view(function) != "knot_type" && std::string_view(function) != "knot_size";
    return check_knot_call(bound[0], bound[1], bound[2], {}, {true, true, any_real});
}

PyObject* raise_failure(const Failure& failure) {
    switch (failure.kind) {
        case Failure::Kind::Internal: return raise_internal_error(failure.message);
        case Failure::Kind::OutOfMemory:
            // Refused before allocating: the message says how much was needed.
            if (!failure.message.empty()) {
                PyErr_SetString(PyExc_MemoryError, failure.message.c_str());
                return nullptr;
            }
            return PyErr_NoMemory();
        case Failure::Kind::Cancelled:
            // Only a signal handler that raised cancels a call; its exception is set.
            if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
            return nullptr;
        case Failure::Kind::Error: break;
    }
    return to_py_runtime_error(failure.message);
}

PyObject* utf8_str(const std::string& text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* str_list(const std::vector<std::string>& texts) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        PyObject* item = utf8_str(texts[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace skeinlab::py
