// read_pdb(filename, atom_filter="all"): atom positions of a PDB file, one
// frame per model.

#include "convert.hpp"
#include "functions.hpp"
#include "io/lines.hpp"
#include "io/pdb.hpp"

namespace skeinlab::py {

PyObject* read_pdb(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static const char* const names[] = {"filename", "atom_filter"};
        PyObject* bound[2];
        if (!bind_arguments("read_pdb", names, 2, 1, args, nargs, kwnames, bound)) return nullptr;
        const std::optional<std::string> filename = convert_path(bound[0], "filename");
        if (!filename) return nullptr;
        std::optional<std::string> atom_filter = std::string("all");
        if (bound[1] && !(atom_filter = convert_str(bound[1], "atom_filter"))) return nullptr;

        if (!path_exists(*filename)) {
            return raise_with_message(PyExc_FileNotFoundError, "Cannot open file: " + *filename);
        }
        std::string filter = *atom_filter;
        for (char& c : filter)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (filter != "all" && filter != "ca") {
            PyErr_SetString(PyExc_ValueError, "Invalid atom_filter. Expected 'all' or 'ca'.");
            return nullptr;
        }
        const bool alpha_carbons_only = filter == "ca";

        Result<LineReader> opened = LineReader::open(*filename);
        if (!opened) return to_py_runtime_error(opened.error().message());
        Result<FrameSet> frames = read_pdb_frames(opened.value(), alpha_carbons_only);
        if (!frames) {
            to_py_runtime_error(frames.error().message());
            return add_decode_cause(frames.error().note());
        }
        return frames_to_pyarray(frames.value());
    });
}

}  // namespace skeinlab::py
