// The extension module skeinlab: single-phase initialisation, the function
// table in its registration order, and the internal-error exception type.
#define SKEINLAB_NUMPY_IMPORT
#include "numpy_api.hpp"

#include "convert.hpp"
#include "functions.hpp"

namespace {

using skeinlab::py::PyRef;

PyMethodDef kMethods[] = {
    {"read_xyz", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(skeinlab::py::read_xyz)),
     METH_FASTCALL | METH_KEYWORDS, skeinlab::py::kReadXyzDoc},
    {"read_pdb", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(skeinlab::py::read_pdb)),
     METH_FASTCALL | METH_KEYWORDS, skeinlab::py::kReadPdbDoc},
    {"write_xyz", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(skeinlab::py::write_xyz)),
     METH_FASTCALL | METH_KEYWORDS, skeinlab::py::kWriteXyzDoc},
    {"knot_type", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(skeinlab::py::knot_type)),
     METH_FASTCALL | METH_KEYWORDS, skeinlab::py::kKnotTypeDoc},
    {"knot_size", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(skeinlab::py::knot_size)),
     METH_FASTCALL | METH_KEYWORDS, skeinlab::py::kKnotSizeDoc},
    {"kmt", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(skeinlab::py::kmt)),
     METH_FASTCALL | METH_KEYWORDS, skeinlab::py::kKmtDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "skeinlab", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_skeinlab(void) {
    import_array();
    PyRef module = PyRef::steal(PyModule_Create(&kModule));
    if (!module) return nullptr;
    // Adds the functions in table order; the first failure fails the import.
    if (PyModule_AddFunctions(module.get(), kMethods) < 0) return nullptr;
    if (!skeinlab::py::create_internal_error_type()) return nullptr;
    if (PyModule_AddObjectRef(module.get(), "InternalError", skeinlab::py::internal_error_type()) < 0)
        return nullptr;
    return module.release();
}
