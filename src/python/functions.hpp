// The module's Python functions (fast calls with keywords) and their
// documentation strings.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <optional>
#include <vector>

#include "geometry/periodic.hpp"
#include "io/frame_chains.hpp"

namespace skeinlab::py {

PyObject* kmt(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* read_xyz(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* iter_xyz(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
// Readies the iterator type of iter_xyz; false with an exception set on failure.
bool ready_io_types();
PyObject* lammps_frames(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* linking_pairs(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* linked_pairs(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* link_types(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* unwrap_chains(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* read_lammps_data(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* bonded_chains(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* gather_chains(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
// New 1-D NumPy arrays (int64, bool) of a vector's values.
PyObject* int64_vector_array(const std::vector<std::int64_t>& values);
PyObject* bool_vector_array(const std::vector<bool>& values);
// A box argument: a float64 array (3, 3) of edge vectors or (4, 3) corner and
// edges; nullopt with RuntimeError otherwise.
std::optional<PeriodicBox> convert_box(PyObject* obj);
// A layout argument (atoms, offsets, labels, rings, topology_atoms); null with
// an exception set when it is not one.
std::shared_ptr<const ChainLayout> convert_layout(PyObject* obj);
// Chains as (points (M, 3), offsets (K + 1,), molecules (K,), winding (K,),
// gaps (K, 3): the first gap's index, -1 for none or -2 for scattered atoms;
// the gap's length (scattered: the median distance to the nearest atom); the
// median bond).
PyObject* ragged_chains_tuple(const FrameChains& chains);
// Readies the iterator type of lammps_frames; false with an exception set on failure.
bool ready_lammps_types();
PyObject* write_xyz(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_type(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_size(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_identify(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* pd_code(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* identify_pd(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* lasso_frames(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* lasso_surface(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_invariants(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* read_pdb(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_spectrum(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* knot_fingerprint(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

inline constexpr const char* kKmtDoc = "kmt(input_data, chain_type=\"ring\")\n--\n\n";
inline constexpr const char* kKnotTypeDoc = "knot_type(input_data, chain_type=\"ring\", threads=None)\n--\n\n";
inline constexpr const char* kPdCodeDoc =
    "pd_code(input_data, chain_type=\"ring\", threads=None)\n--\n\n"
    "The PD code of the simplified diagram knot_identify names, per frame: a\n"
    "list of crossings (i, j, k, l) in KnotInfo's convention (edges from 1 along\n"
    "the knot; i the incoming under strand, j, k, l counterclockwise), ready for\n"
    "KnotInfo, SnapPy (snappy.Link(code)) or Regina; [] for a frame with no\n"
    "crossing left. Arguments as knot_identify.";
inline constexpr const char* kIdentifyPdDoc =
    "identify_pd(codes, threads=None)\n--\n\n"
    "Names a list of PD codes as knot_identify names chains: each code a str\n"
    "(\"[[1,5,2,4],[3,1,4,6],[5,3,6,2]]\", as KnotInfo writes them; SnapPy's and\n"
    "Regina's are read too) or a sequence of crossings of four ints; [] is the\n"
    "unknot. Raises ValueError naming a code that is not one knot's planar\n"
    "diagram.";
inline constexpr const char* kLassoFramesDoc =
    "lasso_frames(input_data, bridges, threads=None)\n--\n\n"
    "The lassos of every frame for each bridge (i, j), as tuples ((i, j), name,\n"
    "N-tail piercings, C-tail piercings, area); skeinlab.lasso_type documents them.";
inline constexpr const char* kLassoSurfaceDoc =
    "lasso_surface(chain, i, j)\n--\n\n"
    "The minimal surface lasso_type spans the loop i..j of a chain with, as\n"
    "(vertices (V, 3), triangles (T, 3)); skeinlab.plot.lasso draws it.";
inline constexpr const char* kKnotIdentifyDoc =
    "knot_identify(input_data, chain_type=\"ring\", threads=None)\n--\n\n"
    "The knot of every frame named from its HOMFLY-PT polynomial, with its\n"
    "chirality and its connected summands, as a list of str in frame order:\n"
    "\"1\", \"+3_1\" (right-handed trefoil), \"-3_1\", \"4_1\", \"+3_1#-3_1\" (square\n"
    "knot), \"(+5_1|-10_132)\" (knots sharing the polynomial), \"?17\" (a summand\n"
    "of 17 crossings not in the table of prime knots up to 12 crossings).\n"
    "Inputs, checks, errors and threads as for knot_type.";
inline constexpr const char* kKnotInvariantsDoc =
    "knot_invariants(input_data, chain_type=\"ring\", threads=None)\n--\n\n"
    "The evidence behind knot_identify's names: for every frame a dict with\n"
    "its name, Alexander polynomial, determinant, HOMFLY-PT and Jones\n"
    "polynomials (None when not computed), crossings after simplification, and\n"
    "the same for each summand. Inputs, checks, errors and threads as for\n"
    "knot_type.";
inline constexpr const char* kKnotSizeDoc = "knot_size(input_data, chain_type=\"ring\", threads=None)\n--\n\n";
inline constexpr const char* kWriteXyzDoc = "write_xyz(filename, input_data, append=False)\n--\n\n";
inline constexpr const char* kReadXyzDoc =
    "read_xyz(filename)\n--\n\n"
    "Read XYZ file into a NumPy array with shape `(frames, atoms, 3)`.\n\n"
    "If frames have different atom counts, shorter frames are padded with `NaN`.";
inline constexpr const char* kIterXyzDoc =
    "iter_xyz(filename, chunk=1000)\n--\n\n"
    "Read an XYZ file in chunks of at most `chunk` frames.\n\n"
    "Yields float64 arrays of shape (frames, atoms, 3) in file order, reading\n"
    "the file once; memory is bounded by the chunk. Frames are read as\n"
    "read_xyz reads them; within a chunk, shorter frames are padded with NaN\n"
    "to the longest frame of that chunk.\n\n"
    "Parameters\n"
    "----------\n"
    "filename : str\n"
    "    Path of the XYZ file.\n"
    "chunk : int\n"
    "    Most frames per array, at least 1.\n\n"
    "Raises\n"
    "------\n"
    "FileNotFoundError\n"
    "    \"Cannot open file: {filename}\" when the path does not exist.\n"
    "RuntimeError\n"
    "    The errors of read_xyz, with \" (frame F, line L of FILE)\" added:\n"
    "    the frame that failed (from 0) and its line in the file (from 1).\n"
    "    Complete frames read before it are yielded first.\n"
    "ValueError\n"
    "    chunk below 1.\n\n"
    "Example\n"
    "-------\n"
    ">>> for frames in skeinlab.iter_xyz(\"run.xyz\", chunk=500):\n"
    "...     names = skeinlab.knot_type(frames)";
inline constexpr const char* kLammpsFramesDoc =
    "lammps_frames(filename, chain_type=\"ring\", chain_length=None, types=None, molecules=None, layout=None,\n"
    "              check_gaps=False, ragged=False)\n--\n\n"
    "The chains of every frame of a LAMMPS text dump, one frame at a time, as\n"
    "tuples (timestep, chains, molecules, winding, box), or with ragged=True\n"
    "(timestep, points, offsets, molecules, winding, box, gaps); a layout (atoms\n"
    "by id, offsets, labels, rings, topology atoms) gives the chains;\n"
    "skeinlab.iter_lammps gives the frames as SimulationFrame records and documents them.";
inline constexpr const char* kReadLammpsDataDoc =
    "read_lammps_data(filename)\n--\n\n"
    "The atoms and bonds of a LAMMPS data file, as a dict: style, ids, molecules\n"
    "(None for a style without them), types, positions, type_labels, bonds (B, 2)\n"
    "as atom indices; skeinlab.read_lammps_data documents it.";
inline constexpr const char* kBondedChainsDoc =
    "bonded_chains(atoms, bonds, min_atoms=4, keep=None)\n--\n\n"
    "The chains a bond graph draws, as (atoms, offsets, rings, skipped): its\n"
    "connected components ordered along their bonds, rings and paths; components\n"
    "of fewer than min_atoms atoms and branched ones counted in skipped.";
inline constexpr const char* kGatherChainsDoc =
    "gather_chains(positions, layout, box=None, check_gaps=False)\n--\n\n"
    "A frame's chains by a layout of position indices, unwrapped across the box,\n"
    "as (points, offsets, labels, winding, gaps).";
inline constexpr const char* kLinkingPairsDoc =
    "linking_pairs(frames, chain_type=\"ring\", threads=None)\n--\n\n"
    "The linked pairs of the chains of every frame (a sequence of float64\n"
    "arrays (K, N, 3)), as (pairs (P, 2), values (P,), defined (P,)) per frame;\n"
    "skeinlab.linking_matrix and skeinlab.linked_clusters use it and document it.";
inline constexpr const char* kLinkedPairsDoc =
    "linked_pairs(frames, threads=None)\n--\n\n"
    "The linked pairs of the rings of every frame (a sequence of float64 arrays\n"
    "(K, N, 3)): non-zero linking numbers, and pairs of linking number 0 whose\n"
    "link is shown not split, as (pairs (P, 2), linking (P,), defined (P,),\n"
    "names) per frame; skeinlab.linked_clusters uses it and documents it.";
inline constexpr const char* kLinkTypesDoc =
    "link_types(frames, threads=None)\n--\n\n"
    "The link the rings of every frame form, as (name, sublinks, knots) per frame,\n"
    "sublinks as (rings, name, crossings); skeinlab.link_type documents it.";
inline constexpr const char* kUnwrapChainsDoc =
    "unwrap_chains(chains, box, chain_type=\"ring\")\n--\n\n"
    "Chains unwrapped across a periodic box by the minimum image of every bond,\n"
    "and which rings wind around it, as (chains (K, N, 3), winding (K,));\n"
    "skeinlab.md uses it and documents it.";
inline constexpr const char* kReadPdbDoc =
    "read_pdb(filename, atom_filter=\"all\")\n--\n\n"
    "Read PDB file into a NumPy array with shape `(frames, atoms, 3)`.\n\n"
    "If frames have different atom counts, shorter frames are padded with `NaN`.";

inline constexpr const char* kKnotSpectrumDoc =
    "knot_spectrum(input_data, chain_type=\"ring\", samples=100, seed=0, threads=None, frame_offset=0,\n"
    "              invariant=\"alexander\")\n--\n\n"
    "Knot spectrum of every frame: how often each knot comes out over random\n"
    "projections and, for open chains, random closures.\n\n"
    "Each of the `samples` typings of a frame rotates the chain by a random\n"
    "rotation (uniform over all rotations). A ring is then typed as knot_type\n"
    "types a ring. An open chain is closed through one far point, the chain's\n"
    "centre plus 100 chain radii in a random direction (uniform on the sphere),\n"
    "and that closed polygon is typed as a ring. Sample k of frame f draws from\n"
    "a generator keyed by (seed, f, k) alone, so the result is the same for any\n"
    "`threads`, frame order or machine.\n\n"
    "Parameters\n"
    "----------\n"
    "input_data : str or ndarray\n"
    "    An XYZ file path, or a float64 array of shape (N, 3) (one frame) or\n"
    "    (F, N, 3), as for knot_type.\n"
    "chain_type : str\n"
    "    \"ring\" or \"open\".\n"
    "samples : int\n"
    "    Typings per frame, at least 1.\n"
    "seed : int\n"
    "    Any integer that fits 64 bits (signed or unsigned).\n"
    "threads : int or None\n"
    "    Worker threads (None: one per processor, shared). Frames and blocks of\n"
    "    samples share the workers, so a single frame uses all of them.\n"
    "frame_offset : int\n"
    "    The number of the first frame (frame f is keyed as frame_offset + f):\n"
    "    a trajectory typed chunk by chunk gets the spectra of one whole call.\n"
    "invariant : str\n"
    "    \"alexander\": samples named as knot_type names them; \"homfly\": as\n"
    "    knot_identify names them (\"+3_1\", \"+3_1#-3_1\", ...).\n\n"
    "Returns\n"
    "-------\n"
    "list of dict\n"
    "    One dict per frame, knot name -> fraction of samples (count / samples),\n"
    "    in decreasing fraction; ties in the table's order (\"1\" first, then by\n"
    "    crossing number and index, then polynomial texts). Names are what\n"
    "    knot_type reports: \"1\", \"3_1\", ..., or a polynomial text (with\n"
    "    invariant=\"homfly\", what knot_identify reports).\n\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    samples or threads below 1, an invariant other than \"alexander\" or\n"
    "    \"homfly\".\n"
    "OverflowError\n"
    "    seed outside 64 bits.\n"
    "TypeError, RuntimeError, FileNotFoundError, MemoryError, InternalError\n"
    "    As knot_type, for the same arguments and failures.\n\n"
    "Example\n"
    "-------\n"
    ">>> skeinlab.knot_spectrum(trace, \"open\", samples=200)\n"
    "[{'3_1': 0.84, '1': 0.16}]";

inline constexpr const char* kKnotFingerprintDoc =
    "knot_fingerprint(chain, step=1, samples=50, seed=0, threads=None, invariant=\"alexander\")\n--\n\n"
    "Knot fingerprint of an open chain: the dominant knot of every sub-chain.\n\n"
    "The windows are [start, end] with start and end on the grid 0, step,\n"
    "2*step, ... (the last index N-1 always included) and end - start >= 4.\n"
    "Each window is typed as an open chain by knot_spectrum's method with\n"
    "`samples` samples, sample k drawn from a generator keyed by\n"
    "(seed, start, end, k); its most frequent name (ties in knot_spectrum's\n"
    "order) and that name's fraction make one row.\n\n"
    "Parameters\n"
    "----------\n"
    "chain : str or ndarray\n"
    "    One open chain: a float64 array of shape (N, 3), or a trajectory input\n"
    "    (array or XYZ path) holding exactly one frame.\n"
    "step : int\n"
    "    Grid spacing of window ends, at least 1.\n"
    "samples : int\n"
    "    Typings per window, at least 1.\n"
    "seed : int\n"
    "    Any integer that fits 64 bits.\n"
    "threads : int or None\n"
    "    Worker threads (None: one per processor, shared).\n"
    "invariant : str\n"
    "    \"alexander\" or \"homfly\", as for knot_spectrum.\n\n"
    "Returns\n"
    "-------\n"
    "ndarray\n"
    "    A structured array, one row per window ordered by start, then end, with\n"
    "    fields start (int64), end (int64), knot (str) and fraction (float64).\n"
    "    pandas.DataFrame(result) gives a table with those columns.\n\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    step, samples or threads below 1, a bad invariant, or more or fewer\n"
    "    than one frame.\n"
    "OverflowError\n"
    "    seed outside 64 bits.\n"
    "TypeError, RuntimeError, FileNotFoundError, MemoryError, InternalError\n"
    "    As knot_type, for the same arguments and failures.\n\n"
    "Example\n"
    "-------\n"
    ">>> fp = skeinlab.knot_fingerprint(trace, step=2)\n"
    ">>> fp[(fp[\"knot\"] == \"3_1\") & (fp[\"fraction\"] >= 0.5)][[\"start\", \"end\"]]";

}  // namespace skeinlab::py
