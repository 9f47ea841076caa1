// The Python boundary's building blocks: the reference owner, argument binding
// for fast calls with keywords, the named argument converters, array
// conversion in both directions, and the one place where core errors become
// Python exceptions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.hpp"
#include "geometry/geometry.hpp"

namespace skeinlab::py {

// Owns one strong reference. Move-only; release() hands the reference over to
// an API that steals it, and only after that API has succeeded.
class PyRef {
public:
    PyRef() = default;
    static PyRef steal(PyObject* o) { return PyRef(o); }
    static PyRef borrow(PyObject* o) {
        Py_XINCREF(o);
        return PyRef(o);
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : obj_(other.obj_) { other.obj_ = nullptr; }
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(obj_);
            obj_ = other.obj_;
            other.obj_ = nullptr;
        }
        return *this;
    }
    ~PyRef() { Py_XDECREF(obj_); }

    PyObject* get() const { return obj_; }
    PyObject* release() {
        PyObject* o = obj_;
        obj_ = nullptr;
        return o;
    }
    explicit operator bool() const { return obj_ != nullptr; }

private:
    explicit PyRef(PyObject* o) : obj_(o) {}
    PyObject* obj_ = nullptr;
};

// Binds the arguments of a fast call with keywords to the parameters `names`
// (all positional-or-keyword; the first `required` have no default). Fills
// `out` with borrowed references (nullptr for an omitted optional argument).
// Raises the host's TypeErrors and returns false on failure.
bool bind_arguments(const char* function, const char* const* names, Py_ssize_t count, Py_ssize_t required,
                    PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

// Raises TypeError "argument '{name}': {message}" when the pending error is a
// TypeError; other errors pass unchanged.
void name_type_error(const char* name);

// A str argument as UTF-8 text, or nullopt with a TypeError naming the argument.
std::optional<std::string> convert_str(PyObject* obj, const char* name);

// A str path argument as the bytes that name the file: UTF-8, or, for a str
// that is not (lone surrogates), the bytes of the file system encoding with
// surrogateescape, as os.fsencode gives them. A str that no encoding turns
// into bytes names no file: FileNotFoundError "Cannot open file: {path}" (the
// path with backslash escapes). A non-str is the TypeError of convert_str.
std::optional<std::string> convert_path(PyObject* obj, const char* name);

// None (or omitted) gives an empty optional count; otherwise an int (any
// object with __index__) that fits an unsigned 64-bit integer. Negative ints
// raise the host's OverflowError. Returns false on failure.
bool convert_threads(PyObject* obj, std::optional<std::uint64_t>& out);

// An int (any object with __index__) of at least 1, converted into `out`
// when obj is given (nullptr keeps the default in `out`). Raises TypeError
// naming the argument for a non-int, ValueError "{name} must be >= 1" for
// zero or a negative int, OverflowError above 2^64 - 1. Returns false on failure.
bool convert_positive_count(PyObject* obj, const char* name, std::uint64_t& out);

// An int in [-2^63, 2^64) as 64 bits (negative ints in two's complement),
// when obj is given. Raises TypeError naming the argument for a non-int and
// OverflowError "{name} must fit in 64 bits" outside that range.
bool convert_seed(PyObject* obj, const char* name, std::uint64_t& out);

// A bool, or a NumPy boolean scalar. Returns false with a TypeError naming the
// argument otherwise.
bool convert_bool(PyObject* obj, const char* name, bool& out);

// True for "ring"; false for "open"; raises RuntimeError "Invalid chain_type.
// Expected 'ring' or 'open'." and returns nullopt otherwise.
std::optional<bool> check_chain_type(const std::string& chain_type);

// An optional chain_type argument (absent: leaves `ring` as it is) into
// `ring`; false with the exception of convert_str or check_chain_type set.
bool convert_chain_type(PyObject* obj, bool& ring);

// True when obj is an ndarray (subclasses included) with `ndim` dimensions and
// an element type NumPy considers equivalent to native float64.
bool is_float64_array(PyObject* obj, int ndim);

// Reads a double at a byte address that need not be aligned (arrays may be
// views into packed or offset buffers).
inline double load_double(const char* address) {
    double value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

// A Chain from a two-dimensional float64 array of shape (N, 3), read through
// its strides. Raises RuntimeError "Expected array with shape (N, 3) or
// (F, N, 3)." for another second dimension.
//
// With `collapse`, a point axis of stride 0 (every point the same, as
// numpy.broadcast_to gives it) is read as three points: KMT reduces any number
// of equal points alike, so typing and KMT give the same results without
// materialising the view.
std::optional<Chain> points_from_array2(PyObject* array, bool collapse = false);

// A new float64 array of shape (frames, atoms, 3), shorter frames padded with
// NaN; (0, 0, 3) for no frames.
PyObject* frames_to_pyarray(const FrameSet& frames);

// A new float64 array of shape (N, 3).
PyObject* chain_to_pyarray(const Chain& chain);

// Raises an exception of `type` carrying the message; always returns nullptr.
PyObject* raise_with_message(PyObject* type, const std::string& message);
// Raises RuntimeError with the message; always returns nullptr.
PyObject* to_py_runtime_error(const std::string& message);
// Raises RuntimeError with the error's display text; always returns nullptr.
PyObject* raise_knot_error(const KnotError& error);
// Gives the exception being raised a UnicodeError carrying `note` (which line
// of a file is not valid UTF-8) as its cause: the traceback shows it above
// the error, whose message stays as it is. Returns nullptr; nothing happens
// for an empty note.
PyObject* add_decode_cause(const std::string& note);
// Raises the module's internal-error exception; always returns nullptr.
PyObject* raise_internal_error(const std::string& message);

// The module's internal-error exception type (derived from BaseException).
PyObject* internal_error_type();
bool create_internal_error_type();

// Runs body() and turns escaping C++ exceptions into Python exceptions
// (MemoryError for std::bad_alloc), so that none unwinds through the
// interpreter.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const MemoryNeeded& e) {
        PyErr_SetString(PyExc_MemoryError, e.what());
        return nullptr;
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const InternalError& e) {
        return raise_internal_error(e.what());
    } catch (const std::exception& e) {
        return to_py_runtime_error(std::string("internal error: ") + e.what());
    } catch (...) {
        return to_py_runtime_error("internal error: unknown exception");
    }
}

}  // namespace skeinlab::py
