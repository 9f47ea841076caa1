// Topologies: read_lammps_data (a LAMMPS data file's atoms and bonds),
// bonded_chains (the chains its bonds draw) and gather_chains (a frame's chains
// by such a layout, unwrapped and checked for gaps), and the conversions of
// layouts and ragged chains that the LAMMPS stream shares.
#include "numpy_api.hpp"

#include <cstring>

#include "convert.hpp"
#include "functions.hpp"
#include "io/bonded_chains.hpp"
#include "io/frame_chains.hpp"
#include "io/lammps_data.hpp"
#include "io/lines.hpp"

namespace skeinlab::py {
namespace {

// An array argument of the given type and dimensions, C-contiguous (converted
// from any type NumPy casts safely), or nullptr with TypeError naming it.
PyRef typed_array(PyObject* obj, int type, int ndim, const char* name) {
    PyRef array = PyRef::steal(PyArray_FROM_OTF(obj, type, NPY_ARRAY_IN_ARRAY));
    if (!array) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s must be an array of %s", name, type == NPY_BOOL ? "bool" : "integers");
        return {};
    }
    if (PyArray_NDIM(reinterpret_cast<PyArrayObject*>(array.get())) != ndim) {
        PyErr_Format(PyExc_ValueError, "%s must have %d dimension%s", name, ndim, ndim == 1 ? "" : "s");
        return {};
    }
    return array;
}

template <class T>
const T* data_of(const PyRef& array) {
    return static_cast<const T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
}

npy_intp length_of(const PyRef& array, int axis = 0) {
    return PyArray_DIMS(reinterpret_cast<PyArrayObject*>(array.get()))[axis];
}

}  // namespace

PyObject* int64_vector_array(const std::vector<std::int64_t>& values) {
    npy_intp dims[1] = {static_cast<npy_intp>(values.size())};
    PyObject* array = PyArray_SimpleNew(1, dims, NPY_INT64);
    if (array && !values.empty())
        std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)), values.data(), values.size() * sizeof(std::int64_t));
    return array;
}

PyObject* bool_vector_array(const std::vector<bool>& values) {
    npy_intp dims[1] = {static_cast<npy_intp>(values.size())};
    PyObject* array = PyArray_SimpleNew(1, dims, NPY_BOOL);
    if (!array) return nullptr;
    auto* data = static_cast<npy_bool*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)));
    for (std::size_t k = 0; k < values.size(); ++k) data[k] = values[k] ? NPY_TRUE : NPY_FALSE;
    return array;
}

namespace {

// A Chain from an (N, 3) array of any real type (float32 from MDAnalysis).
std::optional<Chain> points_of(PyObject* obj, const char* name) {
    PyRef array = PyRef::steal(PyArray_FROM_OTF(obj, NPY_DOUBLE, NPY_ARRAY_IN_ARRAY | NPY_ARRAY_FORCECAST));
    if (!array) return std::nullopt;
    if (PyArray_NDIM(reinterpret_cast<PyArrayObject*>(array.get())) != 2 || length_of(array, 1) != 3) {
        PyErr_Format(PyExc_ValueError, "%s must have shape (N, 3)", name);
        return std::nullopt;
    }
    const double* data = data_of<double>(array);
    Chain chain(static_cast<std::size_t>(length_of(array)));
    for (std::size_t i = 0; i < chain.size(); ++i) chain[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2]};
    return chain;
}

}  // namespace

std::shared_ptr<const ChainLayout> convert_layout(PyObject* obj) {
    if (!PyTuple_Check(obj) || PyTuple_GET_SIZE(obj) != 5) {
        PyErr_SetString(PyExc_TypeError, "layout must be a tuple (atoms, offsets, labels, rings, topology_atoms)");
        return nullptr;
    }
    PyRef atoms = typed_array(PyTuple_GET_ITEM(obj, 0), NPY_INT64, 1, "layout atoms");
    if (!atoms) return nullptr;
    PyRef offsets = typed_array(PyTuple_GET_ITEM(obj, 1), NPY_INT64, 1, "layout offsets");
    if (!offsets) return nullptr;
    PyRef labels = typed_array(PyTuple_GET_ITEM(obj, 2), NPY_INT64, 1, "layout labels");
    if (!labels) return nullptr;
    PyRef rings = typed_array(PyTuple_GET_ITEM(obj, 3), NPY_BOOL, 1, "layout rings");
    if (!rings) return nullptr;
    const unsigned long long topology_atoms = PyLong_AsUnsignedLongLong(PyTuple_GET_ITEM(obj, 4));
    if (PyErr_Occurred()) return nullptr;
    const npy_intp chains = length_of(labels);
    const std::int64_t* first = data_of<std::int64_t>(offsets);
    bool valid = length_of(offsets) == chains + 1 && length_of(rings) == chains && first[0] == 0 &&
                 first[chains] == static_cast<std::int64_t>(length_of(atoms));
    for (npy_intp k = 0; valid && k < chains; ++k) valid = first[k] <= first[k + 1];
    if (!valid) {
        PyErr_SetString(PyExc_ValueError, "layout offsets must rise from 0 to the number of atoms, one more than the labels");
        return nullptr;
    }
    auto layout = std::make_shared<ChainLayout>();
    layout->atoms.assign(data_of<std::int64_t>(atoms), data_of<std::int64_t>(atoms) + length_of(atoms));
    layout->offsets.assign(first, first + chains + 1);
    layout->labels.assign(data_of<std::int64_t>(labels), data_of<std::int64_t>(labels) + chains);
    const npy_bool* ring = data_of<npy_bool>(rings);
    layout->rings.assign(ring, ring + chains);
    layout->topology_atoms = topology_atoms;
    return layout;
}

PyObject* ragged_chains_tuple(const FrameChains& chains) {
    std::size_t total = 0;
    for (const Chain& chain : chains.chains) total += chain.size();
    npy_intp dims[2] = {static_cast<npy_intp>(total), 3};
    PyRef points = PyRef::steal(PyArray_SimpleNew(2, dims, NPY_DOUBLE));
    if (!points) return nullptr;
    auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(points.get())));
    std::vector<std::int64_t> offsets{0};
    std::size_t pos = 0;
    for (const Chain& chain : chains.chains) {
        for (const Point3& p : chain) {
            data[pos++] = p.x;
            data[pos++] = p.y;
            data[pos++] = p.z;
        }
        offsets.push_back(offsets.back() + static_cast<std::int64_t>(chain.size()));
    }
    npy_intp gap_dims[2] = {static_cast<npy_intp>(chains.chains.size()), 3};
    PyRef gaps = PyRef::steal(PyArray_SimpleNew(2, gap_dims, NPY_DOUBLE));
    if (!gaps) return nullptr;
    auto* gap = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(gaps.get())));
    for (std::size_t k = 0; k < chains.chains.size(); ++k) {
        const ChainGap found = k < chains.gaps.size() ? chains.gaps[k] : ChainGap{};
        gap[3 * k] = found.scattered ? -2.0 : static_cast<double>(found.index);
        gap[3 * k + 1] = found.distance;
        gap[3 * k + 2] = found.median;
    }
    PyRef offset_array = PyRef::steal(int64_vector_array(offsets));
    PyRef labels = PyRef::steal(int64_vector_array(chains.molecules));
    PyRef winding = PyRef::steal(bool_vector_array(chains.winding));
    if (!offset_array || !labels || !winding) return nullptr;
    return PyTuple_Pack(5, points.get(), offset_array.get(), labels.get(), winding.get(), gaps.get());
}

PyObject* read_lammps_data(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"filename"};
        PyObject* bound[1];
        if (!bind_arguments("read_lammps_data", names, 1, 1, args, nargs, kwnames, bound)) return nullptr;
        const std::optional<std::string> filename = convert_path(bound[0], "filename");
        if (!filename) return nullptr;
        if (!path_exists(*filename)) return raise_with_message(PyExc_FileNotFoundError, "Cannot open file: " + *filename);
        Result<LammpsTopology> topology = KnotError::data_parse("");
        Py_BEGIN_ALLOW_THREADS
        Result<LineReader> reader = LineReader::open(*filename);
        topology = reader ? read_lammps_data(reader.value()) : Result<LammpsTopology>(reader.error());
        Py_END_ALLOW_THREADS
        if (!topology) return to_py_runtime_error(*filename + ": " + topology.error().display());
        const LammpsTopology& t = topology.value();
        npy_intp bond_dims[2] = {static_cast<npy_intp>(t.bonds.size()), 2};
        PyRef bonds = PyRef::steal(PyArray_SimpleNew(2, bond_dims, NPY_INT64));
        if (!bonds) return nullptr;
        if (!t.bonds.empty())
            std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(bonds.get())), t.bonds.data(),
                        t.bonds.size() * 2 * sizeof(std::int64_t));
        PyRef labels = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(t.type_labels.size())));
        if (!labels) return nullptr;
        for (std::size_t k = 0; k < t.type_labels.size(); ++k) {
            PyObject* text = PyUnicode_DecodeUTF8(t.type_labels[k].data(), static_cast<Py_ssize_t>(t.type_labels[k].size()),
                                                  "replace");
            if (!text) return nullptr;
            PyList_SET_ITEM(labels.get(), static_cast<Py_ssize_t>(k), text);
        }
        PyRef ids = PyRef::steal(int64_vector_array(t.ids));
        PyRef molecules = t.molecules.empty() ? PyRef::borrow(Py_None) : PyRef::steal(int64_vector_array(t.molecules));
        PyRef types = PyRef::steal(int64_vector_array(t.types));
        PyRef positions = PyRef::steal(chain_to_pyarray(t.positions));
        if (!ids || !molecules || !types || !positions) return nullptr;
        return Py_BuildValue("{s:s#,s:O,s:O,s:O,s:O,s:O,s:O}", "style", t.style.data(),
                             static_cast<Py_ssize_t>(t.style.size()), "ids", ids.get(), "molecules", molecules.get(),
                             "types", types.get(), "positions", positions.get(), "type_labels", labels.get(), "bonds",
                             bonds.get());
    });
}

PyObject* bonded_chains(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"atoms", "bonds", "min_atoms", "keep"};
        PyObject* bound[4];
        if (!bind_arguments("bonded_chains", names, 4, 2, args, nargs, kwnames, bound)) return nullptr;
        std::uint64_t atoms = 0, min_atoms = 4;
        const unsigned long long count = PyLong_AsUnsignedLongLong(bound[0]);
        if (PyErr_Occurred()) return nullptr;
        atoms = count;
        if (bound[2] && !convert_positive_count(bound[2], "min_atoms", min_atoms)) return nullptr;
        PyRef pairs = typed_array(bound[1], NPY_INT64, 2, "bonds");
        if (!pairs) return nullptr;
        if (length_of(pairs, 1) != 2 && length_of(pairs) != 0)
            return raise_with_message(PyExc_ValueError, "bonds must have shape (B, 2)");
        std::vector<std::array<std::int64_t, 2>> bonds(static_cast<std::size_t>(length_of(pairs)));
        if (!bonds.empty()) std::memcpy(bonds.data(), data_of<std::int64_t>(pairs), bonds.size() * 2 * sizeof(std::int64_t));
        std::vector<bool> keep;
        if (bound[3] && bound[3] != Py_None) {
            PyRef mask = typed_array(bound[3], NPY_BOOL, 1, "keep");
            if (!mask) return nullptr;
            keep.assign(data_of<npy_bool>(mask), data_of<npy_bool>(mask) + length_of(mask));
        }
        Result<BondedChains> chains = KnotError::data_parse("");
        Py_BEGIN_ALLOW_THREADS
        chains = skeinlab::bonded_chains(static_cast<std::size_t>(atoms), bonds, static_cast<std::size_t>(min_atoms), keep);
        Py_END_ALLOW_THREADS
        if (!chains) return raise_with_message(PyExc_ValueError, chains.error().message());
        const BondedChains& c = chains.value();
        PyRef order = PyRef::steal(int64_vector_array(c.atoms));
        PyRef offsets = PyRef::steal(int64_vector_array(c.offsets));
        PyRef rings = PyRef::steal(bool_vector_array(c.rings));
        if (!order || !offsets || !rings) return nullptr;
        return Py_BuildValue("(OOO{s:K,s:K,s:K,s:K})", order.get(), offsets.get(), rings.get(), "small",
                             static_cast<unsigned long long>(c.small), "small_atoms",
                             static_cast<unsigned long long>(c.small_atoms), "branched",
                             static_cast<unsigned long long>(c.branched), "branched_atoms",
                             static_cast<unsigned long long>(c.branched_atoms));
    });
}

PyObject* gather_chains(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"positions", "layout", "box", "check_gaps"};
        PyObject* bound[4];
        if (!bind_arguments("gather_chains", names, 4, 2, args, nargs, kwnames, bound)) return nullptr;
        std::optional<Chain> positions = points_of(bound[0], "positions");
        if (!positions) return nullptr;
        std::shared_ptr<const ChainLayout> layout = convert_layout(bound[1]);
        if (!layout) return nullptr;
        std::optional<PeriodicBox> box;
        if (bound[2] && bound[2] != Py_None) {
            box = convert_box(bound[2]);
            if (!box) return nullptr;
        }
        bool check_gaps = false;
        if (bound[3] && !convert_bool(bound[3], "check_gaps", check_gaps)) return nullptr;
        Result<FrameChains> chains = KnotError::data_parse("");
        Py_BEGIN_ALLOW_THREADS
        chains = skeinlab::gather_chains(*positions, *layout, box ? &*box : nullptr, check_gaps);
        Py_END_ALLOW_THREADS
        if (!chains) return raise_with_message(PyExc_ValueError, chains.error().message());
        return ragged_chains_tuple(chains.value());
    });
}

}  // namespace skeinlab::py
