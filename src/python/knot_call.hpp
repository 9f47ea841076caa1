// What the knot-typing functions share at the Python boundary: releasing the
// interpreter lock, the Alexander table, the checks of input_data, chain_type
// and threads, and the conversion of results and failures.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "alexander_table.hpp"
#include "convert.hpp"
#include "drivers.hpp"

namespace skeinlab::py {

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

// The built-in table, merged with the user's table file when one is named
// by LOOMCRAFT_ALEXANDER_TABLE or kept at the default place under $HOME.
// Read afresh on every call. Raises and returns nothing on failure.
std::optional<AlexanderTable> load_table();

// Everything knot_type and knot_size read before the lock is released.
struct KnotCall {
    FrameSet frames;
    AlexanderTable table;
    KnotTypeOptions options;
    std::optional<std::uint64_t> threads;
};

// Checks bound arguments in their order: chain_type's type, threads (0 is a
// ValueError before anything else), then `more` (the function's own
// arguments, when given), input_data, the table, and the value of
// chain_type. chain_type may be nullptr (omitted: "ring").
std::optional<KnotCall> check_knot_call(PyObject* input_data, PyObject* chain_type, PyObject* threads,
                                        const std::function<bool()>& more = {});

// Binds (input_data, chain_type="ring", threads=None) and checks them.
std::optional<KnotCall> prepare_knot_call(const char* function, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames);

// Raises the exception of a driver failure; always returns nullptr.
PyObject* raise_failure(const Failure& failure);

// A new list of str, decoded from UTF-8 (invalid bytes replaced).
PyObject* str_list(const std::vector<std::string>& texts);

// A new str from UTF-8 text (invalid bytes replaced).
PyObject* utf8_str(const std::string& text);

}  // namespace skeinlab::py
