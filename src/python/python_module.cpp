// The extension module skeinlab._core: single-phase initialisation, the function
// table in its registration order, and the internal-error exception type.
#define SKEINLAB_NUMPY_IMPORT
#include "numpy_api.hpp"

#include "convert.hpp"
#include "functions.hpp"

namespace {

using skeinlab::py::PyRef;

using FastWithKeywords = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// A module function with the fast-call-with-keywords convention.
PyMethodDef fast_method(const char* name, FastWithKeywords function, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
            METH_FASTCALL | METH_KEYWORDS, doc};
}

PyMethodDef kMethods[] = {
    fast_method("read_xyz", skeinlab::py::read_xyz, skeinlab::py::kReadXyzDoc),
    fast_method("read_pdb", skeinlab::py::read_pdb, skeinlab::py::kReadPdbDoc),
    fast_method("write_xyz", skeinlab::py::write_xyz, skeinlab::py::kWriteXyzDoc),
    fast_method("knot_type", skeinlab::py::knot_type, skeinlab::py::kKnotTypeDoc),
    fast_method("knot_size", skeinlab::py::knot_size, skeinlab::py::kKnotSizeDoc),
    fast_method("knot_identify", skeinlab::py::knot_identify, skeinlab::py::kKnotIdentifyDoc),
    fast_method("pd_code", skeinlab::py::pd_code, skeinlab::py::kPdCodeDoc),
    fast_method("identify_pd", skeinlab::py::identify_pd, skeinlab::py::kIdentifyPdDoc),
    fast_method("lasso_frames", skeinlab::py::lasso_frames, skeinlab::py::kLassoFramesDoc),
    fast_method("lasso_surface", skeinlab::py::lasso_surface, skeinlab::py::kLassoSurfaceDoc),
    fast_method("knot_invariants", skeinlab::py::knot_invariants, skeinlab::py::kKnotInvariantsDoc),
    fast_method("kmt", skeinlab::py::kmt, skeinlab::py::kKmtDoc),
    fast_method("knot_spectrum", skeinlab::py::knot_spectrum, skeinlab::py::kKnotSpectrumDoc),
    fast_method("knot_fingerprint", skeinlab::py::knot_fingerprint, skeinlab::py::kKnotFingerprintDoc),
    fast_method("iter_xyz", skeinlab::py::iter_xyz, skeinlab::py::kIterXyzDoc),
    fast_method("lammps_frames", skeinlab::py::lammps_frames, skeinlab::py::kLammpsFramesDoc),
    fast_method("unwrap_chains", skeinlab::py::unwrap_chains, skeinlab::py::kUnwrapChainsDoc),
    fast_method("read_lammps_data", skeinlab::py::read_lammps_data, skeinlab::py::kReadLammpsDataDoc),
    fast_method("bonded_chains", skeinlab::py::bonded_chains, skeinlab::py::kBondedChainsDoc),
    fast_method("gather_chains", skeinlab::py::gather_chains, skeinlab::py::kGatherChainsDoc),
    fast_method("linking_pairs", skeinlab::py::linking_pairs, skeinlab::py::kLinkingPairsDoc),
    fast_method("linked_pairs", skeinlab::py::linked_pairs, skeinlab::py::kLinkedPairsDoc),
    fast_method("link_types", skeinlab::py::link_types, skeinlab::py::kLinkTypesDoc),
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "skeinlab._core", "", -1,
                       nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__core(void) {
    import_array();
    if (!skeinlab::py::ready_io_types() || !skeinlab::py::ready_lammps_types()) return nullptr;
    PyRef module = PyRef::steal(PyModule_Create(&kModule));
    if (!module) return nullptr;
    // Adds the functions in table order; the first failure fails the import.
    if (PyModule_AddFunctions(module.get(), kMethods) < 0) return nullptr;
    if (!skeinlab::py::create_internal_error_type()) return nullptr;
    if (PyModule_AddObjectRef(module.get(), "InternalError", skeinlab::py::internal_error_type()) < 0)
        return nullptr;
    return module.release();
}
