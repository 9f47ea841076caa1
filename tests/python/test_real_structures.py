"""Knots of real structures, read in place from the shared data folder next to the
repository when it is there (skipped otherwise)."""
import pathlib

import numpy as np
import pytest

import skeinlab

DATA = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data"
pytestmark = pytest.mark.skipif(not DATA.is_dir(), reason="shared data folder not present")


@pytest.mark.parametrize("entry, name", [("2efv", "3_1"), ("1j85", "3_1")])
def test_knotted_proteins(entry, name):
    trace = skeinlab.read_pdb(str(DATA / "proteins" / f"{entry}.pdb"), atom_filter="ca")
    names, [[start, end, length]] = skeinlab.knot_size(trace, "open")
    assert names == [name]
    assert 0 <= start < end < trace.shape[1] and length == end - start + 1


def test_figure_eight_protein_chain():
    # Ketol-acid reductoisomerase carries a 4_1 knot; take chain I only.
    rows = [line for line in open(DATA / "proteins" / "1yve.pdb") if line.startswith("ATOM") and line[12:16] == " CA "]
    chain = np.array([[float(r[30:38]), float(r[38:46]), float(r[46:54])] for r in rows if r[21] == "I"])
    assert skeinlab.knot_type(chain, "open") == ["4_1"]


def test_simulated_rings():
    rings = skeinlab.read_xyz(str(DATA / "rings" / "rings_250.xyz"))
    names = skeinlab.knot_type(rings)
    # Each frame repeats its first bead at the end; dropping it changes nothing.
    assert skeinlab.knot_type(rings[:, :-1]) == names
    assert names == ["4_1", "3_1", "1", "1", "3_1", "3_1", "3_1", "1", "1", "3_1"]
