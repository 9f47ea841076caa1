// Includes the NumPy C API with one shared function table for all units of
// the module; python_module.cpp defines SKEINLAB_NUMPY_IMPORT and imports it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL skeinlab_ARRAY_API
#ifndef SKEINLAB_NUMPY_IMPORT
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
#include <numpy/arrayscalars.h>
