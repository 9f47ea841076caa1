// The module's Python functions (fast calls with keywords) and their
// documentation strings.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace skeinlab::py {

PyObject* kmt(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* read_xyz(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* write_xyz(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_type(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_size(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* read_pdb(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

inline constexpr const char* kKmtDoc = "kmt(input_data, chain_type=\"ring\")\n--\n\n";
inline constexpr const char* kKnotTypeDoc = "knot_type(input_data, chain_type=\"ring\", threads=None)\n--\n\n";
inline constexpr const char* kKnotSizeDoc = "knot_size(input_data, chain_type=\"ring\", threads=None)\n--\n\n";
inline constexpr const char* kWriteXyzDoc = "write_xyz(filename, input_data, append=False)\n--\n\n";
inline constexpr const char* kReadXyzDoc =
    "read_xyz(filename)\n--\n\n"
    "Read XYZ file into a NumPy array with shape `(frames, atoms, 3)`.\n\n"
    "If frames have different atom counts, shorter frames are padded with `NaN`.";
inline constexpr const char* kReadPdbDoc =
    "read_pdb(filename, atom_filter=\"all\")\n--\n\n"
    "Read PDB file into a NumPy array with shape `(frames, atoms, 3)`.\n\n"
    "If frames have different atom counts, shorter frames are padded with `NaN`.";

}  // namespace skeinlab::py
