import inspect

import numpy as np
import pytest

import skeinlab

FUNCTIONS = ["read_xyz", "read_pdb", "write_xyz", "knot_type", "knot_size", "kmt"]
SIGNATURES = {
    "knot_type": '(input_data, chain_type="ring", threads=None)',
    "knot_size": '(input_data, chain_type="ring", threads=None)',
    "kmt": '(input_data, chain_type="ring")',
    "read_xyz": "(filename)",
    "read_pdb": '(filename, atom_filter="all")',
    "write_xyz": "(filename, input_data, append=False)",
}


# Names the package defines in Python (structures, simulation files), with
# their documentation in their own modules.
PYTHON_NAMES = {"read_chains", "Chains", "iter_lammps", "read_lammps", "SimulationFrame", "linking_pairs",
                "linking_matrix", "linked_clusters", "LinkedPairs", "Clusters", "link_type", "LinkedRingPairs",
                "Sublink", "LinkType", "lasso_type", "Lasso"}


def test_functions_registered_in_order_with_empty_module_doc():
    core = skeinlab._core
    names = [n for n in vars(core) if n in FUNCTIONS]
    assert names == FUNCTIONS
    assert core.__doc__ == ""


def test_package_exposes_the_core_functions_themselves():
    public = set(skeinlab.__all__)
    assert set(FUNCTIONS) | {"InternalError", "knot_spectrum", "knot_fingerprint", "iter_xyz"} <= public
    for name in public - {"__version__"} - PYTHON_NAMES:
        assert getattr(skeinlab, name) is getattr(skeinlab._core, name)
    assert isinstance(skeinlab.__version__, str) and skeinlab.__version__


@pytest.mark.parametrize("name", FUNCTIONS)
def test_signatures_and_docstrings(name):
    fn = getattr(skeinlab, name)
    assert str(inspect.signature(fn)) == SIGNATURES[name].replace('"', "'")
    if name in ("read_xyz", "read_pdb"):
        kind = "XYZ" if name == "read_xyz" else "PDB"
        assert fn.__doc__ == (
            f"Read {kind} file into a NumPy array with shape `(frames, atoms, 3)`.\n\n"
            "If frames have different atom counts, shorter frames are padded with `NaN`."
        )
    else:
        assert not fn.__doc__


def test_internal_error_is_a_base_exception():
    assert issubclass(skeinlab.InternalError, BaseException)
    assert not issubclass(skeinlab.InternalError, Exception)


@pytest.mark.parametrize(
    "call, pattern",
    [
        (lambda: skeinlab.kmt(), r"missing required argument 'input_data'"),
        (lambda: skeinlab.kmt(np.zeros((3, 3)), "ring", 1), r"at most 2 arguments \(3 given\)"),
        (lambda: skeinlab.kmt(np.zeros((3, 3)), input_data=np.zeros((3, 3))), r"given by name \('input_data'\)"),
        (lambda: skeinlab.kmt(np.zeros((3, 3)), chain="ring"), r"unexpected keyword argument 'chain'"),
        (lambda: skeinlab.read_xyz("a", "b"), r"exactly 1 positional argument \(2 given\)"),
        (lambda: skeinlab.kmt(np.zeros((3, 3)), chain_type=1), r"^argument 'chain_type': "),
        (lambda: skeinlab.knot_type(np.zeros((3, 3)), threads=1.5), r"^argument 'threads': "),
        (lambda: skeinlab.read_xyz(b"x.xyz"), r"^argument 'filename': "),
        (lambda: skeinlab.write_xyz("x.xyz", np.zeros((1, 3)), append=1), r"^argument 'append': "),
        (lambda: skeinlab.read_pdb("x.pdb", atom_filter=None), r"^argument 'atom_filter': "),
    ],
)
def test_binding_and_conversion_type_errors(call, pattern):
    with pytest.raises(TypeError, match=pattern):
        call()


def test_kmt_failures_in_check_order():
    with pytest.raises(TypeError, match="^argument 'chain_type'"):
        skeinlab.kmt([[0, 0, 0]], chain_type=3)
    for bad in ([[0.0, 0.0, 0.0]], np.zeros((2, 4, 3)), np.zeros((4, 3), np.float32), "path.xyz",
                np.zeros((4, 3)).astype(">f8")):
        with pytest.raises(RuntimeError, match=r"^kmt expects a NumPy array with shape \(N, 3\)\.$"):
            skeinlab.kmt(bad, chain_type="nonsense")
    with pytest.raises(RuntimeError, match=r"^Expected array with shape \(N, 3\) or \(F, N, 3\)\.$"):
        skeinlab.kmt(np.zeros((5, 4)), chain_type="nonsense")
    for chain_type in ("RING", "ring ", "Open", ""):
        with pytest.raises(RuntimeError, match=r"^Invalid chain_type\. Expected 'ring' or 'open'\.$"):
            skeinlab.kmt(np.zeros((5, 3)), chain_type)


def test_kmt_results():
    assert skeinlab.kmt(np.zeros((0, 3))).shape == (0, 3)
    three = np.array([[0.0, 0, 0], [1, 2, 3], [4, 0, 1]])
    np.testing.assert_array_equal(skeinlab.kmt(three, "open"), three[[0, 2]])
    square = np.array([[0.0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]])
    np.testing.assert_array_equal(skeinlab.kmt(input_data=square, chain_type="open"), square)


def test_kmt_reads_views_and_never_writes():
    from conftest import torus_knot

    knot = torus_knot(2, 3, 120)
    expected = skeinlab.kmt(knot)
    transposed = np.ascontiguousarray(knot.T).T  # Fortran-ordered view
    assert not transposed.flags.c_contiguous
    np.testing.assert_array_equal(skeinlab.kmt(transposed), expected)
    reversed_rows = knot[::-1][::-1]
    np.testing.assert_array_equal(skeinlab.kmt(reversed_rows), expected)
    strided = np.repeat(knot, 2, axis=0)[::2]
    np.testing.assert_array_equal(skeinlab.kmt(strided), expected)
    frozen = knot.copy()
    frozen.flags.writeable = False
    result = skeinlab.kmt(frozen)
    np.testing.assert_array_equal(frozen, knot)
    assert result.dtype == np.float64 and result.flags.c_contiguous and result.flags.owndata


def test_kmt_survives_nonfinite_and_one_point_chains():
    assert skeinlab.kmt(np.array([[1.0, 2.0, 3.0]])).shape == (1, 3)
    bad = np.full((10, 3), np.nan)
    assert skeinlab.kmt(bad).shape[1] == 3
    bad[3] = np.inf
    assert skeinlab.kmt(bad, "open").shape[1] == 3


def test_kmt_accepts_array_subclasses():
    class Tagged(np.ndarray):
        pass

    pts = np.random.default_rng(1).random((20, 3)).view(Tagged)
    assert skeinlab.kmt(pts).shape[1] == 3


def test_every_public_name_has_a_documented_stub():
    import ast
    import pathlib

    stub = pathlib.Path(skeinlab._core.__file__).with_name("_core.pyi")
    tree = ast.parse(stub.read_text())
    defined = {node.name: node for node in tree.body if isinstance(node, (ast.FunctionDef, ast.ClassDef))}
    for name in set(skeinlab.__all__) - {"__version__"} - PYTHON_NAMES:
        assert name in defined, name
        doc = ast.get_docstring(defined[name])
        assert doc, name
        if isinstance(defined[name], ast.FunctionDef):
            assert "Raises" in doc and "Example" in doc, name
    assert (stub.parent / "py.typed").exists()
    # The Python-level functions carry their documentation themselves.
    for function in (skeinlab.read_chains, skeinlab.iter_lammps):
        assert "Raises" in function.__doc__ and "Example" in function.__doc__
