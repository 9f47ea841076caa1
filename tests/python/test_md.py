"""MD trajectories through MDAnalysis: a melt written by MDAnalysis itself (DCD, XTC) gives the rows of the
native LAMMPS reader; chains by molecule, fragment and segment; unwrapping and winding rings."""
import numpy as np
import pytest

import skeinlab
from test_lammps import dump_text, melt, wrap

mda = pytest.importorskip("MDAnalysis")
import skeinlab.md  # noqa: E402

# MDAnalysis warns about attributes these made-up topologies leave out (elements, masses).
pytestmark = pytest.mark.filterwarnings("ignore::UserWarning", "ignore::DeprecationWarning",
                                      "ignore::PendingDeprecationWarning")

BOX = {"origin": (0.0, 0.0, 0.0), "lengths": (8.0, 8.0, 8.0), "tilts": (0.0, 0.0, 0.0)}


def melt_universe(frames, beads, count, bonds=False):
    """An in-memory Universe of `count` molecules (residues) of `beads` atoms, one segment each."""
    n = beads * count
    universe = mda.Universe.empty(n, n_residues=count, n_segments=count,
                                  atom_resindex=np.repeat(np.arange(count), beads),
                                  residue_segindex=np.arange(count), trajectory=True)
    universe.add_TopologyAttr("resid", np.arange(1, count + 1) * 10)
    universe.add_TopologyAttr("type", ["1"] * n)
    if bonds:
        universe.add_TopologyAttr("bonds", [(m * beads + i, m * beads + i + 1) for m in range(count)
                                            for i in range(beads - 1)])
    from MDAnalysis.coordinates.memory import MemoryReader
    coordinates = np.stack(frames).astype(np.float32)
    universe.load_new(coordinates, format=MemoryReader, dimensions=[8.0, 8.0, 8.0, 90.0, 90.0, 90.0])
    return universe


@pytest.mark.parametrize("suffix", ["dcd", "xtc"])
def test_a_trajectory_written_by_mdanalysis_gives_the_rows_of_the_native_reader(tmp_path, suffix):
    rings, names = melt(count=12)
    beads = len(rings[0])
    frames = [wrap(np.concatenate(rings) + shift, BOX)[0] for shift in (0.0, 0.3, 2.1)]
    dump = tmp_path / "melt.lammpstrj"
    dump.write_text(dump_text(frames, BOX, molecules=np.repeat(np.arange(1, 13) * 10, beads)))
    native = skeinlab.read_lammps(str(dump))

    memory = melt_universe(frames, beads, 12)
    path = str(tmp_path / f"melt.{suffix}")
    with mda.Writer(path, memory.atoms.n_atoms) as writer:
        for _ in memory.trajectory:
            writer.write(memory.atoms)
    universe = mda.Universe(memory._topology, path)
    through_md = list(skeinlab.md.iter_universe(universe, by="molecule"))

    assert len(through_md) == len(native) == 3
    for ours, theirs in zip(through_md, native):
        assert list(ours.molecules) == list(theirs.molecules) == list(range(10, 130, 10))
        assert not ours.winding.any()
        assert np.allclose(ours.chains, theirs.chains, atol=1e-2)  # XTC keeps 0.01 (MDAnalysis' default)
        assert skeinlab.knot_type(ours.chains) == skeinlab.knot_type(theirs.chains) == names
        assert np.allclose(ours.box[1:], np.diag([8.0, 8.0, 8.0]))


@pytest.mark.parametrize("by", ["molecule", "fragment", "segment", "residue"])
def test_chains_by_molecule_fragment_segment_or_residue(by):
    rings, names = melt(count=5)
    universe = melt_universe([wrap(np.concatenate(rings), BOX)[0]], len(rings[0]), 5, bonds=True)
    [frame] = skeinlab.md.iter_universe(universe, by=by)
    assert len(frame.chains) == 5 and skeinlab.knot_type(frame.chains) == names
    selected = list(skeinlab.md.iter_universe(universe, select="resid 10 30", by=by))
    assert len(selected[0].chains) == 2


def test_winding_rings_and_bad_arguments():
    line = np.stack([np.linspace(0.1, 7.9, 40), np.full(40, 4.0), np.full(40, 4.0)], axis=1)
    universe = melt_universe([line], 40, 1)
    [frame] = skeinlab.md.iter_universe(universe)
    assert frame.winding.tolist() == [True]
    [frame] = skeinlab.md.iter_universe(universe, chain_type="open")
    assert frame.winding.tolist() == [False]
    with pytest.raises(ValueError, match="by must be"):
        next(skeinlab.md.iter_universe(universe, by="atom"))  # type: ignore[arg-type]
    with pytest.raises(RuntimeError, match="box edges must be"):
        skeinlab._core.unwrap_chains(line, np.array([[1.0, 1.0, 0], [0, 1.0, 0], [0, 0, 1.0]]))


def test_command_line_reads_trajectories_with_a_topology(tmp_path):
    from test_lammps import command_rows

    rings, names = melt(count=6)
    beads = len(rings[0])
    frames = [wrap(np.concatenate(rings) + shift, BOX)[0] for shift in (0.0, 1.3)]
    memory = melt_universe(frames, beads, 6)
    topology, trajectory = str(tmp_path / "melt.pdb"), str(tmp_path / "melt.dcd")
    memory.atoms.write(topology)
    with mda.Writer(trajectory, memory.atoms.n_atoms) as writer:
        for _ in memory.trajectory:
            writer.write(memory.atoms)
    status, rows, err = command_rows("type", trajectory, "--topology", topology)
    assert status == 0, err
    assert [(r["frame"], r["chain"], r["knot"]) for r in rows] == [
        (str(f), str(10 * m), name) for f in range(2) for m, name in enumerate(names, start=1)]
    status, rows, _ = command_rows("type", trajectory, "--topology", topology, "--molecule", "20")
    assert [(r["frame"], r["chain"]) for r in rows] == [("0", "20"), ("1", "20")]
    status, _, err = command_rows("type", trajectory)
    assert status == 1 and err.startswith("skeinlab: error: " + trajectory)
