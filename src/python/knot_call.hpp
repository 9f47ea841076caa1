// What the knot-typing functions share at the Python boundary: releasing the
// interpreter lock, the Alexander table, the checks of input_data, chain_type
// and threads, and the conversion of results and failures.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"
#include "drivers/frames.hpp"
#include "frames.hpp"
#include "invariants/alexander_table.hpp"

namespace skeinlab::py {

// Releases the interpreter lock for its scope (workers never touch Python)
// and gives the call a control whose poll (run by the waiting thread about every 50 ms)
// takes the lock back briefly to run the signal handlers: when one raises
// (KeyboardInterrupt, for example), the call's token is requested, its work
// stops at the next cancellation point, and the exception stays pending.
class WatchedRelease {
public:
    WatchedRelease() : state_(PyEval_SaveThread()) {}
    ~WatchedRelease() { PyEval_RestoreThread(state_); }
    WatchedRelease(const WatchedRelease&) = delete;
    WatchedRelease& operator=(const WatchedRelease&) = delete;

    CallControl control() {
        return {&token_, [this] { poll(); }};
    }
    // True when a signal handler raised: its exception is set once the lock
    // is back, and the call must return nullptr.
    bool signalled() const { return signalled_; }

private:
    void poll() {
        PyEval_RestoreThread(state_);
        if (!signalled_ && PyErr_CheckSignals() < 0) {
            signalled_ = true;
            token_.request();
        }
        state_ = PyEval_SaveThread();
    }

    PyThreadState* state_;
    CancelToken token_;
    bool signalled_ = false;
};

// Runs driver(control) with the lock released and signals watched; returns
// its outcome, or nothing when a signal handler raised (its exception set).
template <class Driver>
auto run_watched(Driver driver) -> std::optional<decltype(driver(std::declval<const CallControl&>()))> {
    WatchedRelease unlocked;
    auto outcome = driver(unlocked.control());
    if (unlocked.signalled()) return std::nullopt;
    return outcome;
}

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
    // The input's frames are all `frames[0]` repeated this many times (see
    // ArrayReading::repeat); 1 otherwise.
    std::size_t repeat = 1;
};

// How check_knot_call reads array input (see ArrayReading).
struct InputChoice {
    bool collapse_points = false;
    bool repeat_frames = false;
    bool any_real = false;  // see ArrayReading
};

// Checks bound arguments in their order: chain_type's type, threads (0 is a
// ValueError before anything else), then `more` (the function's own
// arguments, when given), input_data, the table, and the value of
// chain_type. chain_type may be nullptr (omitted: "ring").
std::optional<KnotCall> check_knot_call(PyObject* input_data, PyObject* chain_type, PyObject* threads,
                                        const std::function<bool()>& more = {}, InputChoice choice = {});

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
