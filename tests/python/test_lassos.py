"""Lassos through the Python API: a loop pierced by each tail, the records' fields, any dtype, frames and
threads, structure files with SSBOND records, bad bridges refused by name."""
import numpy as np
import pytest

import skeinlab


def lasso_chain(tail="C", direction=1):
    """A loop of 24 points on a circle of radius 5 in z = 0 (counterclockwise), a 20-point tail far away on
    the other side, and a tail of 20 points coming round and 13 passing through the disk (up or down)."""
    t = np.linspace(0.0, 2.0 * np.pi, 24, endpoint=False)
    loop = np.stack([5 * np.cos(t), 5 * np.sin(t), np.zeros(24)], axis=1)
    away = np.stack([np.linspace(12, 30, 20), np.full(20, -12.0), np.linspace(0, 6, 20)], axis=1)
    k = np.arange(20)
    around = np.stack([12 - 0.5 * k[:16], 12 - 0.75 * k[:16], np.full(16, -6.0 * direction)], axis=1)
    through = np.stack([np.full(13, 0.5), np.full(13, 0.3), -6.0 * direction + direction * np.arange(13)], axis=1)
    piercing = np.vstack([away[::-1][:4], around, through])
    if tail == "C":
        chain = np.vstack([away[::-1], loop, piercing])
        return chain, (20, 43)
    chain = np.vstack([piercing[::-1], loop, away])
    return chain, (len(piercing), len(piercing) + 23)


@pytest.mark.parametrize("tail, direction, name", [("C", 1, "L+1C"), ("C", -1, "L-1C"), ("N", -1, "L+1N"),
                                                   ("N", 1, "L-1N")])
def test_a_tail_through_the_loop_is_named_with_its_direction(tail, direction, name):
    chain, bridge = lasso_chain(tail, direction)
    [[lasso]] = skeinlab.lasso_type(chain, bridges=[bridge])
    assert lasso.name == name and lasso.bridge == bridge
    pierced = lasso.piercings_c if tail == "C" else lasso.piercings_n
    assert len(pierced) == 1 and pierced[0][1] == name[1]
    assert lasso.area == pytest.approx(12 * 25 * np.sin(2 * np.pi / 24))  # the flat disk
    # Frames, any dtype, threads: the same records.
    frames = np.stack([chain, chain + 1.0]).astype(np.float32)
    assert [[l.name for l in f] for f in skeinlab.lasso_type(frames, [bridge, (0, 10)], threads=2)] == [
        [name, "L0"], [name, "L0"]]


@pytest.mark.parametrize("bridge, message", [
    ((10, 10), "frame 0: bridge 10-10: i must be below j"),
    ((10, 500), "beyond the chain's"),
    ((10, 11), "a loop needs at least 3 points"),
])
def test_bad_bridges_are_refused_by_name(bridge, message):
    chain, _ = lasso_chain()
    with pytest.raises(ValueError, match=message):
        skeinlab.lasso_type(chain, bridges=[bridge])
    with pytest.raises(ValueError, match="bridges must be given"):
        skeinlab.lasso_type(chain)


def test_a_structure_file_gives_its_disulfides(tmp_path):
    pytest.importorskip("gemmi")
    chain, (i, j) = lasso_chain("C", 1)
    chain = chain * 0.8  # alpha carbons about 3.8 A apart or less
    lines = [f"SSBOND   1 CYS A {i + 1:4d}    CYS A {j + 1:4d}"]
    for k, (x, y, z) in enumerate(chain):
        name = "CYS" if k in (i, j) else "ALA"
        lines.append(f"ATOM  {k + 1:5d}  CA  {name} A{k + 1:4d}    {x:8.3f}{y:8.3f}{z:8.3f}  1.00  0.00           C")
    lines.append("END")
    path = tmp_path / "lasso.pdb"
    path.write_text("\n".join(lines) + "\n")
    [[lasso]] = skeinlab.lasso_type(str(path))
    assert lasso.bridge == (i, j) and lasso.name == "L+1C"
    plain = tmp_path / "plain.pdb"
    plain.write_text("\n".join(lines[1:]) + "\n")
    with pytest.raises(ValueError, match="has no disulfide bridge"):
        skeinlab.lasso_type(str(plain))


def test_the_command_line_writes_a_row_per_bridge(tmp_path):
    from test_cli import run

    chain, (i, j) = lasso_chain("C", 1)
    path = tmp_path / "lasso.xyz"
    skeinlab.write_xyz(str(path), np.stack([chain, chain + 2.0]))
    status, out, err = run("lasso", str(path), "--bridge", f"{i}-{j}", "--bridge", "0-10", "-f", "csv")
    assert status == 0, err
    header, *rows = out.strip().splitlines()
    assert header == "file,chain,frame,bridge,lasso,piercings,area"
    assert [r.split(",")[2:6] for r in rows] == [["0", f"{i}-{j}", "L+1C", "+70"], ["0", "0-10", "L0", ""],
                                                  ["1", f"{i}-{j}", "L+1C", "+70"], ["1", "0-10", "L0", ""]]
    for arguments, message in ((["--bridge", "4-x"], "--bridge 4-x: expected I-J"), ([], "give the bridges"),
                               (["--bridge", "10-11"], "a loop needs at least 3 points")):
        status, out, err = run("lasso", str(path), *arguments)
        assert status == 1 and out == "" and message in err


def test_the_picture_draws_the_surface_and_the_piercings():
    pytest.importorskip("matplotlib")
    from skeinlab import plot

    chain, bridge = lasso_chain("C", 1)
    [[lasso]] = skeinlab.lasso_type(chain, [bridge])
    figure = plot.lasso(chain, lasso)
    [axes] = figure.axes
    vertices, triangles = skeinlab._core.lasso_surface(chain, *bridge)
    assert triangles.max() < len(vertices) and len(triangles) == 7 * 24  # three interior rings and a fan
    assert len(axes.collections) >= 1  # the surface
    assert lasso.name in axes.get_title()


def test_clusters_get_the_same_lassos():
    pytest.importorskip("dask.dataframe")
    import dask.array as da
    import skeinlab.dask

    chain, bridge = lasso_chain("C", 1)
    frames = np.stack([chain, chain + 1.0, chain * 1.1])
    rows = skeinlab.dask.lasso_type(da.from_array(frames, chunks=(2, -1, -1)), bridges=[bridge]).compute()
    local = skeinlab.lasso_type(frames, [bridge])
    assert rows["frame"].tolist() == [0, 1, 2]
    assert rows["lasso"].tolist() == [f[0].name for f in local] == ["L+1C"] * 3
    assert rows["area"].tolist() == pytest.approx([f[0].area for f in local])


def lasso_system(tmp_path):
    """Two copies of the lasso chain (molecules 1 and 2) and a water, as a LAMMPS data file with bonds and a
    dump of two frames with molecule ids."""
    chain, bridge = lasso_chain("C", 1)
    points = np.vstack([chain + 50.0, chain + 100.0, [[10.0, 10.0, 10.0], [10.8, 10.0, 10.0], [10.0, 10.8, 10.0]]])
    n = len(chain)
    molecules = [1] * n + [2] * n + [3] * 3
    bonds = [(m * n + k, m * n + k + 1) for m in range(2) for k in range(n - 1)] + [(2 * n, 2 * n + 1),
                                                                                   (2 * n, 2 * n + 2)]
    lines = ["lassos", "", f"{len(points)} atoms", f"{len(bonds)} bonds", "2 atom types", "1 bond types", "",
             "0 200 xlo xhi", "0 200 ylo yhi", "0 200 zlo zhi", "", "Masses", "", "1 1", "2 1", "", "Atoms # molecular",
             ""]
    lines += [f"{a + 1} {molecules[a]} {1 if a < 2 * n else 2} {x} {y} {z}" for a, (x, y, z) in enumerate(points)]
    lines += ["", "Bonds", ""] + [f"{k + 1} 1 {a + 1} {b + 1}" for k, (a, b) in enumerate(bonds)]
    data = tmp_path / "run.data"
    data.write_text("\n".join(lines) + "\n")
    frames = []
    for step, shift in enumerate((0.0, 1.5)):
        frames += ["ITEM: TIMESTEP", str(step), "ITEM: NUMBER OF ATOMS", str(len(points)),
                   "ITEM: BOX BOUNDS pp pp pp", "0 200", "0 200", "0 200", "ITEM: ATOMS id mol type x y z"]
        frames += [f"{a + 1} {molecules[a]} {1 if a < 2 * n else 2} {x + shift} {y} {z}"
                   for a, (x, y, z) in enumerate(points)]
    dump = tmp_path / "run.lammpstrj"
    dump.write_text("\n".join(frames) + "\n")
    return str(dump), str(data), bridge


def test_the_command_line_reads_the_lassos_of_simulation_files(tmp_path):
    from test_cli import run

    dump, data, (i, j) = lasso_system(tmp_path)
    status, out, err = run("lasso", dump, "--topology", data, "--bridge", f"{i}-{j}", "-f", "csv")
    assert status == 0, err
    rows = [r.split(",")[1:6] for r in out.strip().splitlines()[1:]]
    assert rows == [[m, f, f"{i}-{j}", "L+1C", "+70"] for f in "01" for m in "12"]  # the water is not a chain
    status, out, err = run("lasso", dump, "--topology", data, "--bridge", f"{i}-{j}", "--molecule", "2",
                           "--start", "1", "-f", "csv")
    assert status == 0 and [r.split(",")[1:5] for r in out.strip().splitlines()[1:]] == [["2", "1", f"{i}-{j}",
                                                                                          "L+1C"]]
    # Without the data file, the molecules' atoms jump (the synthetic chain is drawn in pieces): never a lasso.
    status, out, err = run("lasso", dump, "--bridge", f"{i}-{j}", "--type", "1", "-f", "csv")
    assert status == 0 and {r.split(",")[4] for r in out.strip().splitlines()[1:]} == {"not a chain"}
    assert "not a chain" in err
    for arguments, message in ((["--bridge", "10-900", "--topology", data], "chain 1 frame 0: bridge 10-900: beyond"),
                               (["--topology", data], "give the bridges of a trajectory"),
                               (["--bridge", "5-30", "--topology", data, "--by", "molecule"], "--by is for MD")):
        status, out, err = run("lasso", dump, *arguments)
        assert status == 1 and out == "" and message in err, err


def smooth_lasso(loop_points=15, radius=9.0):
    """Alpha carbons 3.8 A apart: an N tail rising along the z axis through a loop of `loop_points` in the
    plane z = 0, then the loop, then a C tail leaving it outwards; the bridge joins the loop's ends."""
    tail = [np.array([0.0, 0.0, -30.0 + 3.8 * k]) for k in range(11)]
    top, start = tail[-1], np.array([radius, 0.0, 0.0])
    tail += [top + (start - top) * s for s in (1 / 3, 2 / 3)]
    t = 2 * np.pi * np.arange(loop_points) / (loop_points + 1)
    loop = [np.array([radius * np.cos(a), radius * np.sin(a), 0.0]) for a in t]
    out = np.array([np.cos(t[-1]), np.sin(t[-1]), 0.0])
    c_tail = [loop[-1] + out * 3.8 * (k + 1) for k in range(10)]
    chain = np.array(tail + loop + c_tail)
    return chain, (len(tail), len(tail) + loop_points - 1)


def test_an_md_trajectory_gives_the_disulfides_of_its_alpha_carbon_trace(tmp_path):
    """A GRO file of a protein whose two cysteines' SG atoms touch: the bridge is found without --bridge, and
    rows name residues."""
    pytest.importorskip("MDAnalysis")
    from test_cli import run

    chain, (i, j) = smooth_lasso()
    atoms = []
    for k, point in enumerate(chain):
        name = "CYS" if k in (i, j) else "ALA"
        atoms.append((k + 1, name, "CA", point))
        if k in (i, j):
            other = chain[j if k == i else i]
            atoms.append((k + 1, name, "SG", point + 0.35 * (other - point)))  # SG atoms 2.1 A apart
    lines = ["a lasso", str(len(atoms))]
    for n, (resid, resname, name, (x, y, z)) in enumerate(atoms):
        lines.append(f"{resid:5d}{resname:<5}{name:>5}{n + 1:5d}{(x + 50) / 10:8.3f}{(y + 50) / 10:8.3f}"
                     f"{(z + 50) / 10:8.3f}")
    lines.append("  20.00000  20.00000  20.00000")
    gro = tmp_path / "lasso.gro"
    gro.write_text("\n".join(lines) + "\n")
    status, out, err = run("lasso", str(gro), "-f", "csv")
    assert status == 0, err
    [row] = [r.split(",") for r in out.strip().splitlines()[1:]]
    assert row[3] == f"{i + 1}-{j + 1}" and row[4] in ("L+1N", "L-1N"), row
    assert int(row[5][1:]) <= i  # the piercing by residue number, on the N tail
    # The same array through the API, and a protein without cysteines: a note, no rows.
    [[lasso]] = skeinlab.lasso_type(chain, [(i, j)])
    assert lasso.name == row[4]
    gro.write_text(gro.read_text().replace("CYS", "ALA"))
    status, out, err = run("lasso", str(gro), "-f", "csv")
    assert status == 0 and out.strip().splitlines()[1:] == [] and "no disulfide bridge" in err
