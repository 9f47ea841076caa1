// knot_type and knot_size, and the loading of the Alexander table they share.

#include <cstdlib>

#include "convert.hpp"
#include "drivers.hpp"
#include "frames.hpp"
#include "functions.hpp"
#include "lines.hpp"
#include "text.hpp"

namespace skeinlab::py {
namespace {

// Releases the interpreter lock for its scope; workers never touch Python.
class ReleasedLock {
public:
    ReleasedLock() : state_(PyEval_SaveThread()) {}
    ~ReleasedLock() { PyEval_RestoreThread(state_); }
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;

private:
    PyThreadState* state_;
};

// An environment variable whose value is valid UTF-8, or nothing.
std::optional<std::string> unicode_env(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !text::valid_utf8(value)) return std::nullopt;
    return std::string(value);
}

// The built-in table, merged with the user's table file when one is named
// by LOOMCRAFT_ALEXANDER_TABLE or kept at the default place under $HOME.
// Read afresh on every call.
std::optional<AlexanderTable> load_table() {
    std::optional<std::string> path = unicode_env("LOOMCRAFT_ALEXANDER_TABLE");
    if (!path) {
        const std::optional<std::string> home = unicode_env("HOME");
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

// Everything knot_type and knot_size read before the lock is released.
struct KnotCall {
    FrameSet frames;
    AlexanderTable table;
    KnotTypeOptions options;
    std::optional<std::uint64_t> threads;
};

// Binds and checks the arguments in their order: chain_type, threads (0 is a
// ValueError before anything else), input_data, the table, then the value of
// chain_type.
std::optional<KnotCall> prepare(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static const char* const names[] = {"input_data", "chain_type", "threads"};
    PyObject* bound[3];
    if (!bind_arguments(function, names, 3, 1, args, nargs, kwnames, bound)) return std::nullopt;
    std::optional<std::string> chain_type = std::string("ring");
    if (bound[1] && !(chain_type = convert_str(bound[1], "chain_type"))) return std::nullopt;
    KnotCall call;
    if (!convert_threads(bound[2], call.threads)) return std::nullopt;
    if (call.threads && *call.threads == 0) {
        PyErr_SetString(PyExc_ValueError, "threads must be >= 1");
        return std::nullopt;
    }
    std::optional<FrameSet> frames = frames_from_input(bound[0]);
    if (!frames) return std::nullopt;
    std::optional<AlexanderTable> table = load_table();
    if (!table) return std::nullopt;
    const std::optional<bool> is_ring = check_chain_type(*chain_type);
    if (!is_ring) return std::nullopt;
    call.frames = std::move(*frames);
    call.table = std::move(*table);
    call.options = KnotTypeOptions{0.005, 100.0, 4, *is_ring, true, false};
    return call;
}

PyObject* raise_failure(const Failure& failure) {
    switch (failure.kind) {
        case Failure::Kind::Internal: return raise_internal_error(failure.message);
        case Failure::Kind::OutOfMemory: return PyErr_NoMemory();
        case Failure::Kind::Error: break;
    }
    return to_py_runtime_error(failure.message);
}

PyObject* str_list(const std::vector<std::string>& texts) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        PyObject* item = PyUnicode_DecodeUTF8(texts[i].data(), static_cast<Py_ssize_t>(texts[i].size()), "replace");
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

}  // namespace

PyObject* knot_type(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare("knot_type", args, nargs, kwnames);
        if (!call) return nullptr;
        std::optional<Outcome<std::vector<std::string>>> outcome;
        {
            ReleasedLock unlocked;
            outcome = classify_frames(call->frames, call->table, call->options, call->threads);
        }
        if (auto* failure = std::get_if<Failure>(&*outcome)) return raise_failure(*failure);
        return str_list(std::get<std::vector<std::string>>(*outcome));
    });
}

PyObject* knot_size(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::optional<KnotCall> call = prepare("knot_size", args, nargs, kwnames);
        if (!call) return nullptr;
        std::optional<Outcome<KnotSizes>> outcome;
        {
            ReleasedLock unlocked;
            outcome = compute_knot_size(call->frames, call->table, call->options, call->threads);
        }
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
