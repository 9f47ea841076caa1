// kmt(input_data, chain_type="ring"): KMT reduction of one chain.
#include "convert.hpp"
#include "functions.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab::py {

PyObject* kmt(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"input_data", "chain_type"};
        PyObject* bound[2];
        if (!bind_arguments("kmt", names, 2, 1, args, nargs, kwnames, bound)) return nullptr;
        std::optional<std::string> chain_type = std::string("ring");
        if (bound[1] && !(chain_type = convert_str(bound[1], "chain_type"))) return nullptr;
        if (!is_float64_array(bound[0], 2))
            return to_py_runtime_error("kmt expects a NumPy array with shape (N, 3).");
        std::optional<Chain> chain = points_from_array2(bound[0], true);
        if (!chain) return nullptr;
        const std::optional<bool> is_ring = check_chain_type(*chain_type);
        if (!is_ring) return nullptr;
        kmt_reduce(*chain, *is_ring);
        return chain_to_pyarray(*chain);
    });
}

}  // namespace skeinlab::py
