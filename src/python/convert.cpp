#include "convert.hpp"

#include "numpy_api.hpp"

#include <cstring>
#include <limits>

namespace skeinlab::py {

bool bind_arguments(const char* function, const char* const* names, Py_ssize_t count, Py_ssize_t required,
                    PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
    if (nargs > count) {
        if (required == count)
            PyErr_Format(PyExc_TypeError, "%s() takes exactly %zd positional argument%s (%zd given)", function,
                         count, count == 1 ? "" : "s", nargs);
        else
            PyErr_Format(PyExc_TypeError, "%s() takes at most %zd argument%s (%zd given)", function, count,
                         count == 1 ? "" : "s", nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < count; ++i) out[i] = i < nargs ? args[i] : nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        Py_ssize_t index = -1;
        for (Py_ssize_t i = 0; i < count; ++i) {
            if (PyUnicode_CompareWithASCIIString(key, names[i]) == 0) {
                index = i;
                break;
            }
        }
        if (index < 0) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, key);
            return false;
        }
        if (out[index] != nullptr) {
            PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zd)", function,
                         names[index], index + 1);
            return false;
        }
        out[index] = args[nargs + k];
    }
    for (Py_ssize_t i = 0; i < required; ++i) {
        if (out[i] == nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zd)", function, names[i],
                         i + 1);
            return false;
        }
    }
    return true;
}

void name_type_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
#if PY_VERSION_HEX >= 0x030C0000
    PyRef value = PyRef::steal(PyErr_GetRaisedException());
#else
    PyObject* type = nullptr;
    PyObject* raw_value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &raw_value, &traceback);
    PyErr_NormalizeException(&type, &raw_value, &traceback);
    PyRef owned_type = PyRef::steal(type);
    PyRef owned_traceback = PyRef::steal(traceback);
    PyRef value = PyRef::steal(raw_value);
#endif
    PyRef text = PyRef::steal(value ? PyObject_Str(value.get()) : nullptr);
    if (!text) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "argument '%s': invalid type", name);
        return;
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, text.get());
}

std::optional<std::string> convert_str(PyObject* obj, const char* name) {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyString'", Py_TYPE(obj)->tp_name);
        name_type_error(name);
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!utf8) {
        // Lone surrogates cannot be encoded; report them against the argument.
        name_type_error(name);
        return std::nullopt;
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

std::optional<std::string> convert_path(PyObject* obj, const char* name) {
    if (!PyUnicode_Check(obj)) return convert_str(obj, name);
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size)) return std::string(utf8, static_cast<std::size_t>(size));
    PyErr_Clear();
    // Not UTF-8: the bytes the file system encoding gives, as os.fsencode does
    // (surrogateescape brings back the bytes of names that are not UTF-8).
    if (PyRef bytes = PyRef::steal(PyUnicode_EncodeFSDefault(obj))) {
        return std::string(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
    }
    PyErr_Clear();
    // No encoding makes it a file name, so it names no file.
    PyRef shown = PyRef::steal(PyUnicode_AsEncodedString(obj, "utf-8", "backslashreplace"));
    const std::string text = shown ? std::string(PyBytes_AS_STRING(shown.get()),
                                                 static_cast<std::size_t>(PyBytes_GET_SIZE(shown.get())))
                                   : std::string("?");
    PyErr_Clear();
    raise_with_message(PyExc_FileNotFoundError, "Cannot open file: " + text);
    return std::nullopt;
}

bool convert_threads(PyObject* obj, std::optional<std::uint64_t>& out) {
    out.reset();
    if (obj == nullptr || obj == Py_None) return true;
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (!index) {
        name_type_error("threads");
        return false;
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = static_cast<std::uint64_t>(value);
    return true;
}

// An int argument as an exact integer: nullptr with a TypeError naming the
// argument when obj has no __index__.
static PyRef index_of(PyObject* obj, const char* name) {
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (!index) name_type_error(name);
    return index;
}

// An int argument's value: `small` when it fits long long (overflow 0), else
// the sign of its overflow. False with the error set.
static bool int_value(PyObject* obj, const char* name, PyRef& index, long long& small, int& overflow) {
    index = index_of(obj, name);
    if (!index) return false;
    overflow = 0;
    small = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    return !(small == -1 && PyErr_Occurred());
}

bool convert_positive_count(PyObject* obj, const char* name, std::uint64_t& out) {
    if (obj == nullptr) return true;
    PyRef index;
    long long small = 0;
    int overflow = 0;
    if (!int_value(obj, name, index, small, overflow)) return false;
    if (overflow < 0 || (overflow == 0 && small < 1)) {
        PyErr_Format(PyExc_ValueError, "%s must be >= 1", name);
        return false;
    }
    if (overflow == 0) {
        out = static_cast<std::uint64_t>(small);
        return true;
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = static_cast<std::uint64_t>(value);
    return true;
}

bool convert_seed(PyObject* obj, const char* name, std::uint64_t& out) {
    if (obj == nullptr) return true;
    PyRef index;
    long long small = 0;
    int overflow = 0;
    if (!int_value(obj, name, index, small, overflow)) return false;
    if (overflow == 0) {
        out = static_cast<std::uint64_t>(small);
        return true;
    }
    if (overflow > 0) {
        const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
        if (!(value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
            out = static_cast<std::uint64_t>(value);
            return true;
        }
        PyErr_Clear();
    }
    PyErr_Format(PyExc_OverflowError, "%s must fit in 64 bits", name);
    return false;
}

bool convert_bool(PyObject* obj, const char* name, bool& out) {
    if (PyBool_Check(obj)) {
        out = obj == Py_True;
        return true;
    }
    if (PyArray_IsScalar(obj, Bool)) {
        out = PyArrayScalar_VAL(obj, Bool) != 0;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyBool'", Py_TYPE(obj)->tp_name);
    name_type_error(name);
    return false;
}

std::optional<bool> check_chain_type(const std::string& chain_type) {
    if (chain_type == "ring") return true;
    if (chain_type == "open") return false;
    to_py_runtime_error("Invalid chain_type. Expected 'ring' or 'open'.");
    return std::nullopt;
}

bool convert_chain_type(PyObject* obj, bool& ring) {
    if (obj == nullptr) return true;
    const std::optional<std::string> chain_type = convert_str(obj, "chain_type");
    if (!chain_type) return false;
    const std::optional<bool> is_ring = check_chain_type(*chain_type);
    if (!is_ring) return false;
    ring = *is_ring;
    return true;
}

bool is_float64_array(PyObject* obj, int ndim) {
    if (!PyArray_Check(obj)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    if (PyArray_NDIM(array) != ndim) return false;
    PyArray_Descr* f64 = PyArray_DescrFromType(NPY_DOUBLE);
    const bool equivalent = PyArray_EquivTypes(PyArray_DESCR(array), f64) != 0;
    Py_DECREF(f64);
    return equivalent;
}

std::optional<Chain> points_from_array2(PyObject* obj, bool collapse) {
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    const npy_intp* shape = PyArray_DIMS(array);
    if (shape[1] != 3) {
        to_py_runtime_error("Expected array with shape (N, 3) or (F, N, 3).");
        return std::nullopt;
    }
    const npy_intp* strides = PyArray_STRIDES(array);
    const char* base = PyArray_BYTES(array);
    const npy_intp points = collapse && strides[0] == 0 && shape[0] > 3 ? 3 : shape[0];
    Chain chain(static_cast<std::size_t>(points));
    for (npy_intp j = 0; j < points; ++j) {
        const char* row = base + j * strides[0];
        chain[static_cast<std::size_t>(j)] = {load_double(row), load_double(row + strides[1]), load_double(row + 2 * strides[1])};
    }
    return chain;
}

PyObject* frames_to_pyarray(const FrameSet& frames) {
    std::size_t atoms = 0;
    for (const Chain& frame : frames) atoms = std::max(atoms, frame.size());
    npy_intp dims[3] = {static_cast<npy_intp>(frames.size()), static_cast<npy_intp>(atoms), 3};
    PyRef array = PyRef::steal(PyArray_SimpleNew(3, dims, NPY_DOUBLE));
    if (!array) return nullptr;
    auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
    // The standard quiet NaN, bit pattern 0x7ff8000000000000.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::size_t pos = 0;
    for (const Chain& frame : frames) {
        for (const Point3& p : frame) {
            data[pos++] = p.x;
            data[pos++] = p.y;
            data[pos++] = p.z;
        }
        for (std::size_t k = frame.size(); k < atoms; ++k) {
            data[pos++] = nan;
            data[pos++] = nan;
            data[pos++] = nan;
        }
    }
    return array.release();
}

PyObject* chain_to_pyarray(const Chain& chain) {
    npy_intp dims[2] = {static_cast<npy_intp>(chain.size()), 3};
    PyObject* array = PyArray_SimpleNew(2, dims, NPY_DOUBLE);
    if (!array) return nullptr;
    auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)));
    for (std::size_t i = 0; i < chain.size(); ++i) {
        data[3 * i] = chain[i].x;
        data[3 * i + 1] = chain[i].y;
        data[3 * i + 2] = chain[i].z;
    }
    return array;
}

PyObject* raise_with_message(PyObject* type, const std::string& message) {
    PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                                   "replace"));
    if (text) PyErr_SetObject(type, text.get());
    return nullptr;
}

PyObject* to_py_runtime_error(const std::string& message) { return raise_with_message(PyExc_RuntimeError, message); }

PyObject* add_decode_cause(const std::string& note) {
    if (note.empty() || !PyErr_Occurred()) return nullptr;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef text = PyRef::steal(PyUnicode_DecodeUTF8(note.data(), static_cast<Py_ssize_t>(note.size()), "replace"));
    PyRef cause = text ? PyRef::steal(PyObject_CallOneArg(PyExc_UnicodeError, text.get())) : PyRef();
    if (cause && value) {
        PyException_SetCause(value, cause.release());  // steals the reference
    } else {
        PyErr_Clear();  // the cause is lost, never the error
    }
    PyErr_Restore(type, value, traceback);
    return nullptr;
}

PyObject* raise_knot_error(const KnotError& error) {
    to_py_runtime_error(error.display());
    return add_decode_cause(error.note());
}

namespace {
PyObject* g_internal_error = nullptr;
}

PyObject* internal_error_type() { return g_internal_error; }

bool create_internal_error_type() {
    if (g_internal_error) return true;
    g_internal_error = PyErr_NewExceptionWithDoc(
        "skeinlab.InternalError",
        "A broken internal invariant (such as an inexact polynomial division after a 64-bit\n"
        "coefficient wrap-around) abandoned the call. Derived from BaseException.",
        PyExc_BaseException, nullptr);
    return g_internal_error != nullptr;
}

PyObject* raise_internal_error(const std::string& message) {
    return raise_with_message(g_internal_error ? g_internal_error : PyExc_SystemError, message);
}

}  // namespace skeinlab::py
