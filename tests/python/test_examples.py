"""The example files that ship with the project type as they were built."""
import pathlib
import numpy as np

import skeinlab

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def test_rings_by_path_and_by_array():
    path = str(EXAMPLES / "rings.xyz")
    expected = ["3_1", "4_1", "5_1", "1"] * 30
    assert skeinlab.knot_type(path) == expected
    assert skeinlab.knot_type(skeinlab.read_xyz(path)) == expected


def test_open_chains_and_their_cores():
    path = str(EXAMPLES / "open_chains.xyz")
    names, cores = skeinlab.knot_size(path, "open")
    assert names == ["3_1", "1"] * 40
    for name, (start, end, length) in zip(names, cores):
        if name == "3_1":
            assert 15 <= start < end <= 85 and length < 70
        else:
            assert (start, end, length) == (-1, -1, 0)


def test_pdb_example():
    trace = skeinlab.read_pdb(str(EXAMPLES / "knotted_backbone.pdb"), "ca")
    assert trace.shape == (2, 140, 3) and not np.isnan(trace).any()
    names, cores = skeinlab.knot_size(trace, "open")
    assert names == ["3_1", "3_1"] and all(0 < start < end < 140 for start, end, _ in cores)


def test_ring_melt_dump():
    frames = skeinlab.read_lammps(str(EXAMPLES / "ring_melt.lammpstrj"))
    assert [f.timestep for f in frames] == [0, 1000, 2000]
    for frame in frames:
        assert frame.chains.shape == (24, 60, 3) and not frame.winding.any()
        assert skeinlab.knot_type(frame.chains) == ["3_1", "4_1", "1"] * 8


def test_protein_example_is_a_right_handed_trefoil():
    # YibK (PDB 1J85), chain A: 156 alpha carbons, a deep trefoil.
    trace = skeinlab.read_pdb(str(EXAMPLES / "1j85.pdb"), "ca")
    assert trace.shape == (1, 156, 3)
    names, cores = skeinlab.knot_size(trace, "open")
    assert names == ["3_1"] and cores[0][:2] == [74, 120]
    assert skeinlab.knot_identify(trace, "open") == ["+3_1"]
