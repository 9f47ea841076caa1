"""Simulation files as users have them, through the command line: a small system with known knots (a trefoil
ring, a figure-eight ring, an unknotted ring, an open trefoil with long tails, waters and ions) written as a
LAMMPS data file and dump, as GSD (with bonds), as GRO + XTC (without), and a protein snapshot PDB whose
chain jumps across its box. Bonds decide chains and their types, what is not a chain is never named, and
every failure is one line naming the file."""
import bz2
import gzip
import lzma

import numpy as np
import pytest

import skeinlab
from conftest import figure_eight, torus_knot, twisted_circle, with_tails
from test_lammps import command_rows

mda = pytest.importorskip("MDAnalysis")

pytestmark = pytest.mark.filterwarnings("ignore::UserWarning", "ignore::DeprecationWarning",
                                      "ignore::PendingDeprecationWarning")

BOX = 400.0
NAMES = ["3_1", "4_1", "1", "3_1"]  # the three rings, then the open trefoil


def system():
    """The polymers (three rings, one open chain) and the small molecules, apart in a box of BOX: their
    points, molecule ids, types and bonds (atom indices)."""
    chains = [torus_knot(2, 3, 120), figure_eight(160), twisted_circle(60) * 4.0,
              with_tails(torus_knot(2, 3, 120), tail_points=40, tail_length=30.0)]
    rings = [True, True, True, False]
    points, molecules, types, bonds = [], [], [], []
    for m, (chain, ring) in enumerate(zip(chains, rings)):
        first = sum(len(p) for p in points)
        points.append(chain + np.array([60.0 + 70.0 * m, 200.0, 200.0]))
        molecules += [m + 1] * len(chain)
        types += [1] * len(chain)
        bonds += [(first + i, first + i + 1) for i in range(len(chain) - 1)]
        if ring:
            bonds.append((first + len(chain) - 1, first))
    for w in range(5):  # waters: O bonded to two H
        first = sum(len(p) for p in points)
        points.append(np.array([[20.0 + 6 * w, 20.0, 20.0], [20.8 + 6 * w, 20.0, 20.0], [20.0 + 6 * w, 20.8, 20.0]]))
        molecules += [10 + w] * 3
        types += [2, 3, 3]
        bonds += [(first, first + 1), (first, first + 2)]
    for i in range(3):  # ions
        points.append(np.array([[50.0 + 5 * i, 50.0, 50.0]]))
        molecules.append(20 + i)
        types.append(4)
    return np.concatenate(points), np.array(molecules), np.array(types), np.array(bonds)


def data_text(points, molecules, types, bonds, labels=True):
    lines = ["a small system with known knots", "", f"{len(points)} atoms", f"{len(bonds)} bonds", "4 atom types",
             "1 bond types", "", f"0 {BOX} xlo xhi", f"0 {BOX} ylo yhi", f"0 {BOX} zlo zhi", ""]
    if labels:
        lines += ["Atom Type Labels", "", "1 C", "2 OW", "3 HW", "4 NA", ""]
    lines += ["Masses", "", "1 1", "2 16", "3 1", "4 23", "", "Atoms # full", ""]
    # Atoms listed out of id order, as parallel writers do.
    for a in np.random.default_rng(3).permutation(len(points)):
        x, y, z = points[a]
        lines.append(f"{a + 1} {molecules[a]} {types[a]} 0.0 {x:.6f} {y:.6f} {z:.6f} 0 0 0")
    lines += ["", "Bonds", ""]
    lines += [f"{k + 1} 1 {a + 1} {b + 1}" for k, (a, b) in enumerate(bonds)]
    return "\n".join(lines) + "\n"


def dump_frames(frames, with_molecules=True):
    out = []
    for step, points in enumerate(frames):
        out += ["ITEM: TIMESTEP", str(step * 100), "ITEM: NUMBER OF ATOMS", str(len(points)),
                "ITEM: BOX BOUNDS pp pp pp", f"0 {BOX}", f"0 {BOX}", f"0 {BOX}",
                "ITEM: ATOMS id type x y z" + (" mol" if with_molecules else "")]
        out += [f"{a + 1} 1 {x:.5f} {y:.5f} {z:.5f}" + (" 1" if with_molecules else "")
                for a, (x, y, z) in enumerate(points)]
    return "\n".join(out) + "\n"


def points_of_frame(text):
    """The atom lines of a dump's first frame."""
    return text.split("ITEM: TIMESTEP")[1].strip().splitlines()[8:]


@pytest.fixture
def lammps_files(tmp_path):
    points, molecules, types, bonds = system()
    data = tmp_path / "run.data"
    data.write_text(data_text(points, molecules, types, bonds))
    dump = tmp_path / "run.lammpstrj"
    dump.write_text(dump_frames([points, points + 0.5, points - 0.25]))
    return str(dump), str(data)


def test_a_dump_with_its_data_file_types_the_molecules_its_bonds_draw(lammps_files):
    dump, data = lammps_files
    status, rows, err = command_rows("type", dump, "--topology", data)
    assert status == 0, err
    assert [(r["frame"], r["chain"], r["knot"]) for r in rows] == [
        (str(f), str(m), name) for f in range(3) for m, name in zip(range(1, 5), NAMES)]
    assert "skipped 8 molecules of fewer than 4 atoms" in err
    # --type by label and by number, --molecule, frames sliced as Python slices them.
    for chosen in (["--type", "C"], ["--type", "1"]):
        status, rows, _ = command_rows("type", dump, "--topology", data, *chosen, "--molecule", "2",
                                       "--start", "-2", "--step", "1")
        assert [(r["frame"], r["chain"], r["knot"]) for r in rows] == [("1", "2", "4_1"), ("2", "2", "4_1")]


def test_the_python_api_reads_a_dump_with_its_data_file(lammps_files):
    dump, data = lammps_files
    frames = skeinlab.read_lammps(dump, topology=data, start=1)
    assert [f.timestep for f in frames] == [100, 200]
    assert frames[0].molecules.tolist() == [1, 2, 3, 4]
    assert skeinlab.knot_type(frames[0].chains[:3]) == NAMES[:3]
    assert skeinlab.knot_type(frames[0].chains[3:], "open") == ["3_1"]


@pytest.mark.parametrize("option, value, message", [
    ("--molecule", "99", "no molecule 99"),
    ("--type", "7", "no atom of type 7"),
    ("--type", "XX", "no atom type named XX"),
    ("--select", "type 9", "the selection 'type 9' matches no atom"),
    ("--by", "segment", "--by is for MD trajectories"),
])
def test_a_choice_that_matches_nothing_is_an_error_naming_it(lammps_files, option, value, message):
    dump, data = lammps_files
    status, rows, err = command_rows("type", dump, "--topology", data, option, value)
    assert status == 1 and rows == [] and message in err and err.count("\n") == 1


def test_a_dump_without_molecules_or_topology_whose_one_chain_jumps_is_refused(tmp_path):
    points, *_ = system()
    dump = tmp_path / "all.lammpstrj"
    dump.write_text(dump_frames([points], with_molecules=False))
    status, rows, err = command_rows("type", str(dump))
    assert status == 1 and rows == []
    assert "not one chain" in err and "--topology" in err and "--chain-length" in err


def test_a_molecule_whose_points_jump_is_not_a_chain(tmp_path):
    ring = torus_knot(2, 3, 120)
    jumped = ring.copy()
    jumped[60:] += 50.0  # two halves far apart: no chain
    text = []
    for k, chain in enumerate((ring + 100.0, jumped + 200.0)):
        text += [f"{k * 120 + a + 1} {k + 1} {x:.5f} {y:.5f} {z:.5f}" for a, (x, y, z) in enumerate(chain)]
    dump = tmp_path / "two.lammpstrj"
    dump.write_text("\n".join(["ITEM: TIMESTEP", "0", "ITEM: NUMBER OF ATOMS", "240", "ITEM: BOX BOUNDS ff ff ff",
                               "0 400", "0 400", "0 400", "ITEM: ATOMS id mol x y z"] + text) + "\n")
    status, rows, err = command_rows("type", str(dump))
    assert status == 0
    assert [(r["chain"], r["knot"]) for r in rows] == [("1", "3_1"), ("2", "not a chain")]
    assert "chain 2 frame 0: not a chain: atoms 59 and 60 are" in err


def test_a_truncated_dump_writes_the_rows_of_every_complete_frame_at_any_chunk(lammps_files, tmp_path):
    dump, data = lammps_files
    text = open(dump).read()
    cut = tmp_path / "cut.lammpstrj"
    cut.write_text(text[: len(text) * 5 // 6])
    for chunk in ("1", "1000"):
        status, rows, err = command_rows("type", str(cut), "--topology", data, "--chunk", chunk)
        assert status == 1 and sorted({r["frame"] for r in rows}) == ["0", "1"], (chunk, err)
        assert "(frame 2, line" in err and err.count("skeinlab: error") == 1


def test_compressed_dumps_are_read(lammps_files, tmp_path):
    dump, data = lammps_files
    packed = tmp_path / "run.lammpstrj.gz"
    packed.write_bytes(gzip.compress(open(dump, "rb").read()))
    status, rows, err = command_rows("type", str(packed), "--topology", data, "--stop", "1")
    assert status == 0, err
    assert [r["knot"] for r in rows] == NAMES
    # A fault in a compressed file is named in the file given, at the line of its text.
    text = open(dump).read()
    for suffix, pack in ((".bz2", bz2.compress), (".xz", lzma.compress)):
        broken = tmp_path / f"broken.lammpstrj{suffix}"
        broken.write_bytes(pack(text.replace("ITEM: TIMESTEP\n100", "ITEM: TIMESTEP\nlater").encode()))
        status, rows, err = command_rows("type", str(broken), "--topology", data)
        assert status == 1 and len(rows) == 4
        assert f"line {len(points_of_frame(text)) + 11}" in err and f"of {broken})" in err, err


def universe_of_system(with_bonds):
    points, molecules, types, bonds = system()
    n = len(points)
    _, resindex = np.unique(molecules, return_inverse=True)
    universe = mda.Universe.empty(n, n_residues=resindex.max() + 1, atom_resindex=resindex, trajectory=True)
    universe.add_TopologyAttr("resid", np.unique(molecules))
    universe.add_TopologyAttr("resname", ["POL"] * 4 + ["SOL"] * 5 + ["NA"] * 3)
    universe.add_TopologyAttr("name", [["C", "OW", "HW", "NA"][t - 1] for t in types])
    universe.add_TopologyAttr("type", [["C", "OW", "HW", "NA"][t - 1] for t in types])
    if with_bonds:
        universe.add_TopologyAttr("bonds", [tuple(b) for b in bonds.tolist()])
    from MDAnalysis.coordinates.memory import MemoryReader
    universe.load_new(np.stack([points, points + 0.5]).astype(np.float32), format=MemoryReader,
                      dimensions=[BOX, BOX, BOX, 90.0, 90.0, 90.0])
    return universe


def test_gro_and_xtc_without_bonds_type_the_molecules_and_skip_waters_and_ions(tmp_path):
    universe = universe_of_system(with_bonds=False)
    gro, xtc = str(tmp_path / "run.gro"), str(tmp_path / "run.xtc")
    universe.atoms.write(gro)
    with mda.Writer(xtc, universe.atoms.n_atoms) as writer:
        for _ in universe.trajectory:
            writer.write(universe.atoms)
    status, rows, err = command_rows("type", xtc, "--topology", gro)
    assert status == 0, err
    # No bonds: every molecule is typed as a ring (the open one too, as with --ring) unless --open says otherwise.
    assert [(r["frame"], r["knot"]) for r in rows][:3] == [("0", "3_1"), ("0", "4_1"), ("0", "1")]
    assert "skipped 8 molecules of fewer than 4 atoms" in err
    status, rows, err = command_rows("type", xtc, "--topology", gro, "--open", "--molecule", "4")
    assert [r["knot"] for r in rows] == ["3_1", "3_1"]
    # A trajectory without its topology, a topology of another system: one line naming the file.
    status, rows, err = command_rows("type", xtc)
    assert status == 1 and err == f"skeinlab: error: {xtc}: needs --topology (.gro, .tpr, .psf, .pdb or .data)\n"
    other = str(tmp_path / "other.gro")
    universe.atoms[:100].write(other)
    status, rows, err = command_rows("type", xtc, "--topology", other)
    assert status == 1 and err.count("\n") == 1 and f"{xtc}: has {universe.atoms.n_atoms} atoms" in err
    assert "has 100" in err
    # MDAnalysis' warnings (a DCD reader's deprecation) are hidden unless -v.
    dcd = str(tmp_path / "run.dcd")
    with mda.Writer(dcd, universe.atoms.n_atoms) as writer:
        for _ in universe.trajectory:
            writer.write(universe.atoms)
    status, rows, err = command_rows("type", dcd, "--topology", gro, "--stop", "1")
    assert status == 0 and "Warning" not in err and len(rows) == 4
    status, rows, err = command_rows("type", xtc, "--topology", gro, "--select", "resname XYZ")
    assert status == 1 and "the selection 'resname XYZ' matches no atom" in err


def test_gsd_with_bonds_types_rings_as_rings_and_paths_as_open_chains(tmp_path):
    gsd_hoomd = pytest.importorskip("gsd.hoomd")
    points, molecules, types, bonds = system()
    path = str(tmp_path / "run.gsd")
    with gsd_hoomd.open(path, "w") as trajectory:
        for shift in (0.0, 0.5):
            frame = gsd_hoomd.Frame()
            frame.particles.N = len(points)
            frame.particles.position = (points + shift - BOX / 2).astype(np.float32)
            frame.particles.types = ["C", "OW", "HW", "NA"]
            frame.particles.typeid = (types - 1).astype(np.uint32)
            frame.configuration.box = [BOX, BOX, BOX, 0, 0, 0]
            frame.bonds.N = len(bonds)
            frame.bonds.types = ["b"]
            frame.bonds.group = bonds.astype(np.uint32)
            trajectory.append(frame)
    status, rows, err = command_rows("type", path)
    assert status == 0, err
    assert [r["knot"] for r in rows] == NAMES * 2  # the path typed open: its tails do not close it wrongly
    assert "skipped 8 molecules of fewer than 4 atoms" in err  # GSD numbers no molecules: counted by bonds
    status, rows, err = command_rows("identify", path, "--select", "type C", "--stop", "1")
    assert [r["knot"].lstrip("+-") for r in rows] == NAMES


def test_a_protein_snapshot_whose_chain_jumps_across_its_box_is_unwrapped(tmp_path):
    pytest.importorskip("gemmi")
    trace = torus_knot(2, 3, 150) * 3.0  # about 3.8 A between alpha carbons
    trace = with_tails(trace, 30, 100.0)
    box = 60.0
    wrapped = trace % box
    lines = [f"CRYST1{box:9.3f}{box:9.3f}{box:9.3f}  90.00  90.00  90.00 P 1           1"]
    for i, (x, y, z) in enumerate(wrapped):
        lines.append(f"ATOM  {i + 1:5d}  CA  ALA X{i + 1:4d}    {x:8.3f}{y:8.3f}{z:8.3f}  1.00  0.00           C")
    lines.append(f"HETATM{len(wrapped) + 1:5d}  OW  SOL X{len(wrapped) + 1:4d}    {1.0:8.3f}{1.0:8.3f}{1.0:8.3f}"
                 "  1.00  0.00           O")
    lines.append("END")
    pdb = tmp_path / "snapshot.pdb"
    pdb.write_text("\n".join(lines) + "\n")
    status, rows, err = command_rows("type", str(pdb))
    assert status == 0 and "break" not in err
    assert [r["knot"] for r in rows] == ["3_1"]


@pytest.mark.parametrize("dtype", [np.float32, np.float16, np.int32])
def test_functions_beyond_knot_type_and_knot_size_take_any_real_dtype(dtype):
    knot = torus_knot(2, 3, 120) * 10.0
    assert skeinlab.knot_identify(knot.astype(dtype)) == skeinlab.knot_identify(knot)
    assert skeinlab.knot_identify(np.asfortranarray(knot.astype(dtype))[::1]) == skeinlab.knot_identify(knot)
    with pytest.raises(RuntimeError, match="got dtype complex128"):
        skeinlab.knot_identify(knot.astype(complex))
    with pytest.raises(RuntimeError, match="Expected input to be XYZ filename"):
        skeinlab.knot_type(knot.astype(np.float32))  # knot_type keeps its float64 contract
    pair = np.stack([torus_knot(2, 3, 120), torus_knot(2, 3, 120, shift=(40.0, 0.0, 0.0))]) * 10.0
    assert np.array_equal(skeinlab.linking_matrix(pair.astype(dtype)), skeinlab.linking_matrix(pair))
    assert skeinlab.knot_spectrum(knot.astype(dtype), samples=4) == skeinlab.knot_spectrum(knot, samples=4)
    with pytest.raises(RuntimeError, match="got dtype complex128"):
        skeinlab.linking_matrix(pair.astype(complex))
    with pytest.raises(RuntimeError, match="got dtype <U"):
        skeinlab.linking_matrix([knot.astype(str)])


def test_summary_counts_frames_per_knot_and_chain_untyped_apart(lammps_files, tmp_path):
    dump, data = lammps_files
    status, rows, err = command_rows("type", dump, "--topology", data, "--summary")
    assert status == 0, err
    assert [(r["chain"], r["knot"], r["frames"], r["fraction"]) for r in rows] == [
        ("1", "3_1", "3", "1.0"), ("2", "4_1", "3", "1.0"), ("3", "1", "3", "1.0"), ("4", "3_1", "3", "1.0"),
        ("*", "3_1", "6", "0.5"), ("*", "1", "3", "0.25"), ("*", "4_1", "3", "0.25")]
    # A chain that is no chain in every frame: counted apart, without a fraction.
    ring = torus_knot(2, 3, 120)
    jumped = ring.copy()
    jumped[60:] += 50.0
    text = []
    for step in range(2):
        text += ["ITEM: TIMESTEP", str(step), "ITEM: NUMBER OF ATOMS", "240", "ITEM: BOX BOUNDS ff ff ff",
                 "0 400", "0 400", "0 400", "ITEM: ATOMS id mol x y z"]
        for k, chain in enumerate((ring + 100.0, jumped + 200.0)):
            text += [f"{k * 120 + a + 1} {k + 1} {x:.5f} {y:.5f} {z:.5f}" for a, (x, y, z) in enumerate(chain)]
    two = tmp_path / "two.lammpstrj"
    two.write_text("\n".join(text) + "\n")
    status, rows, err = command_rows("type", str(two), "--summary")
    assert [(r["chain"], r["knot"], r["frames"], r["fraction"]) for r in rows] == [
        ("1", "3_1", "2", "1.0"), ("2", "not a chain", "2", ""), ("*", "3_1", "2", "1.0"),
        ("*", "not a chain", "2", "")]


def test_plot_draws_each_chains_knot_over_the_frames(lammps_files, tmp_path):
    pytest.importorskip("matplotlib")
    dump, data = lammps_files
    picture = tmp_path / "knots.png"
    status, _, err = command_rows("type", dump, "--topology", data, "--plot", str(picture))
    assert status == 0, err
    assert picture.stat().st_size > 10_000
    from skeinlab import plot
    figure = plot.knots({"1": ["3_1", "3_1", "winding"], "2": ["1", "not a chain", "4_1"]})
    labels = [t.get_text() for t in figure.axes[0].get_legend().get_texts()]
    assert labels == ["3_1", "4_1", "unknot"]  # untyped frames have no colour


def test_random_atoms_listed_as_one_molecule_are_no_chain(tmp_path):
    rng = np.random.default_rng(5)
    gas = rng.uniform(0.0, 10.0, size=(100, 3))
    lines = ["ITEM: TIMESTEP", "0", "ITEM: NUMBER OF ATOMS", "100", "ITEM: BOX BOUNDS pp pp pp", "0 10", "0 10",
             "0 10", "ITEM: ATOMS id mol x y z"] + [f"{a + 1} 1 {x} {y} {z}" for a, (x, y, z) in enumerate(gas)]
    dump = tmp_path / "gas.lammpstrj"
    dump.write_text("\n".join(lines) + "\n")
    status, rows, err = command_rows("type", str(dump))
    assert status == 1 and rows == [] and "its atoms are scattered" in err


def test_a_pdb_snapshot_written_by_mdanalysis_has_its_protein_typed_across_the_box(tmp_path):
    pytest.importorskip("gemmi")
    trace = with_tails(torus_knot(2, 3, 150) * 3.0, 30, 100.0)  # alpha carbons about 3.8 A apart
    residues = len(trace)
    n = residues + 3 * 4  # and four waters
    universe = mda.Universe.empty(n, n_residues=residues + 4, atom_resindex=list(range(residues)) +
                                  [residues + w for w in range(4) for _ in range(3)], trajectory=True)
    universe.add_TopologyAttr("resname", ["ALA"] * residues + ["SOL"] * 4)
    universe.add_TopologyAttr("resid", list(range(1, residues + 5)))
    universe.add_TopologyAttr("name", ["CA"] * residues + ["OW", "HW1", "HW2"] * 4)
    universe.add_TopologyAttr("chainID", ["X"] * n)
    waters = np.array([[1.0, 1.0, 1.0], [1.8, 1.0, 1.0], [1.0, 1.8, 1.0]])
    box = 60.0
    positions = np.concatenate([trace % box] + [waters + 10 * w for w in range(4)])
    universe.atoms.positions = positions
    universe.dimensions = [box, box, box, 90.0, 90.0, 90.0]
    pdb = str(tmp_path / "snapshot.pdb")
    universe.atoms.write(pdb)
    status, rows, err = command_rows("type", pdb)
    assert status == 0, err
    assert [r["knot"] for r in rows] == ["3_1"] and "break" not in err
    # A snapshot without any protein or polymer says what it holds.
    universe.atoms[residues:].write(str(tmp_path / "water.pdb"))
    status, rows, err = command_rows("type", str(tmp_path / "water.pdb"))
    assert status == 1 and "no polymer chain: 12 atoms in 4 residues (SOL)" in err
