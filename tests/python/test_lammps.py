"""LAMMPS dumps: knotted chains wrapped into boxes smaller than themselves come
back typed as the unwrapped chain; melts split by molecule and by length;
columns in any order; malformed and truncated dumps."""
import numpy as np
import pytest

import skeinlab
from conftest import torus_knot, with_tails

ORTHOGONAL = {"origin": (-1.0, -1.5, -0.5), "lengths": (2.0, 2.5, 1.5), "tilts": (0.0, 0.0, 0.0)}
TRICLINIC = {"origin": (-1.0, -1.5, -0.5), "lengths": (2.0, 2.5, 1.5), "tilts": (0.6, -0.4, 0.5)}


def edges(box):
    (lx, ly, lz), (xy, xz, yz) = box["lengths"], box["tilts"]
    return np.array([[lx, 0, 0], [xy, ly, 0], [xz, yz, lz]], dtype=float)


def wrap(points, box):
    """Points moved into the box by whole box vectors, and their image flags."""
    cell = edges(box)
    fractional = np.linalg.solve(cell.T, (points - np.asarray(box["origin"])).T).T
    images = np.floor(fractional).astype(int)
    return points - images @ cell, images


def dump_text(frames, box, columns="id mol type x y z", images=None, molecules=None, types=None, order=None,
              timestep=0):
    """A dump of frames (each an (atoms, 3) array) in the given columns."""
    (lx, ly, lz), (xy, xz, yz) = box["lengths"], box["tilts"]
    (xlo, ylo, zlo) = box["origin"]
    triclinic = any(box["tilts"])
    lines = []
    for f, points in enumerate(frames):
        n = len(points)
        lines += ["ITEM: TIMESTEP", str(timestep + f), "ITEM: NUMBER OF ATOMS", str(n)]
        if triclinic:
            lines += ["ITEM: BOX BOUNDS xy xz yz pp pp pp",
                      f"{xlo + min(0, xy, xz, xy + xz)!r} {xlo + lx + max(0, xy, xz, xy + xz)!r} {xy!r}",
                      f"{ylo + min(0, yz)!r} {ylo + ly + max(0, yz)!r} {xz!r}", f"{zlo!r} {zlo + lz!r} {yz!r}"]
        else:
            lines += ["ITEM: BOX BOUNDS pp pp pp", f"{xlo!r} {xlo + lx!r}", f"{ylo!r} {ylo + ly!r}",
                      f"{zlo!r} {zlo + lz!r}"]
        names = columns.split()
        lines.append("ITEM: ATOMS " + columns)
        scaled = np.linalg.solve(edges(box).T, (points - np.asarray(box["origin"])).T).T
        values = {"id": np.arange(1, n + 1), "mol": molecules if molecules is not None else np.ones(n, int),
                  "type": types if types is not None else np.ones(n, int)}
        for k, axis in enumerate("xyz"):
            values[axis] = values[axis + "u"] = points[:, k]
            values[axis + "s"] = values[axis + "su"] = scaled[:, k]
            if images is not None:
                values["i" + axis] = images[f][:, k]
        rows = order if order is not None else range(n)
        lines += [" ".join(repr(values[c][i].item()) for c in names) for i in rows]
    return "\n".join(lines) + "\n"


KNOTS = {
    "ring": (torus_knot(2, 3, 600), "ring", "3_1"),
    "open": (with_tails(torus_knot(2, 3, 600), 20, 6.0), "open", "3_1"),
}


@pytest.mark.parametrize("box", [ORTHOGONAL, TRICLINIC], ids=["orthogonal", "triclinic"])
@pytest.mark.parametrize("knot", list(KNOTS))
@pytest.mark.parametrize("flags", [False, True], ids=["minimum_image", "image_flags"])
def test_a_wrapped_knot_is_typed_as_the_unwrapped_chain(tmp_path, box, knot, flags):
    chain, chain_type, name = KNOTS[knot]
    wrapped, images = wrap(chain, box)
    assert np.ptp(chain, axis=0).max() > 3 * max(box["lengths"])  # much larger than the box
    columns = "id mol type x y z ix iy iz" if flags else "id mol type x y z"
    path = tmp_path / "knot.lammpstrj"
    path.write_text(dump_text([wrapped], box, columns, images=[images] if flags else None))
    [frame] = skeinlab.read_lammps(str(path), chain_type)
    assert not frame.winding.any() and list(frame.molecules) == [1]
    unwrapped = frame.chains[0]
    # The chain itself, moved by one box vector at most as a whole.
    shift = unwrapped - chain
    assert np.allclose(shift, shift[0], atol=1e-9)
    assert skeinlab.knot_type(frame.chains, chain_type) == [name]
    # Typing the wrapped coordinates directly is what goes wrong.
    assert skeinlab.knot_type(wrapped, chain_type) != [name]


def test_a_ring_around_the_box_is_reported_not_typed(tmp_path):
    ring = np.stack([np.linspace(-1.0, 0.9, 20), np.zeros(20), np.zeros(20)], axis=1)
    path = tmp_path / "winding.lammpstrj"
    path.write_text(dump_text([ring, ring], ORTHOGONAL))
    frames = skeinlab.read_lammps(str(path))
    assert [f.winding.tolist() for f in frames] == [[True], [True]]
    assert [f.timestep for f in frames] == [0, 1]
    assert not skeinlab.read_lammps(str(path), "open")[0].winding.any()


@pytest.mark.parametrize("columns", ["mol z type x id y", "id mol type xs ys zs", "id mol type xu yu zu",
                                     "id mol type xsu ysu zsu"])
def test_columns_in_any_order_scaled_and_unwrapped_atoms_out_of_order(tmp_path, columns):
    knot = torus_knot(2, 3, 300) * 0.1  # fits the box: nothing to unwrap
    order = np.random.default_rng(1).permutation(len(knot))
    path = tmp_path / "shuffled.lammpstrj"
    box = {"origin": (-2.0, -2.0, -2.0), "lengths": (4.0, 4.0, 4.0), "tilts": (0.0, 0.0, 0.0)}
    path.write_text(dump_text([knot], box, columns, order=order))
    [frame] = skeinlab.read_lammps(str(path))
    assert np.allclose(frame.chains[0], knot, atol=1e-12)
    assert np.allclose(frame.box, [[-2, -2, -2], [4, 0, 0], [0, 4, 0], [0, 0, 4]])


def melt(count=50, beads=60, seed=3):
    """Rings of a melt: trefoils and circles, shuffled in a box of side 8."""
    rng = np.random.default_rng(seed)
    rings, names = [], []
    for k in range(count):
        shape = torus_knot(2, 3, beads) * 0.5 if k % 3 == 0 else torus_knot(1, 1, beads) * 0.5
        rings.append(shape + rng.uniform(0, 8, 3))
        names.append("3_1" if k % 3 == 0 else "1")
    return rings, names


def test_a_melt_by_molecule_by_length_by_type(tmp_path):
    rings, names = melt()
    box = {"origin": (0.0, 0.0, 0.0), "lengths": (8.0, 8.0, 8.0), "tilts": (0.0, 0.0, 0.0)}
    points = np.concatenate(rings)
    wrapped, _ = wrap(points, box)
    beads = len(rings[0])
    molecules = np.repeat(np.arange(101, 101 + len(rings)), beads)
    types = np.tile(np.r_[np.full(beads - 1, 1), 2], len(rings))  # one side bead type 2 per ring
    path = tmp_path / "melt.lammpstrj"
    path.write_text(dump_text([wrapped], box, molecules=molecules, types=types))

    [frame] = skeinlab.read_lammps(str(path))
    assert frame.chains.shape == (50, beads, 3) and list(frame.molecules) == list(range(101, 151))
    assert skeinlab.knot_type(frame.chains[~frame.winding]) == names

    [by_length] = skeinlab.read_lammps(str(path), chain_length=beads)
    assert list(by_length.molecules) == list(range(1, 51))
    assert skeinlab.knot_type(by_length.chains) == names

    [backbone] = skeinlab.read_lammps(str(path), types=[1], molecules=[101, 104])
    assert backbone.chains.shape == (2, beads - 1, 3) and list(backbone.molecules) == [101, 104]


@pytest.mark.parametrize("text, message", [
    (None, "unexpected end of file in frame 1 (frame 1, line 24 of {path})"),
    ("ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n1\nITEM: BOX BOUNDS pp pp pp\n0 1\n0 1\n0 1\n"
     "ITEM: ATOMS id x y z\n1 0 zero 0\n", "line 10: bad y: invalid float literal (frame 0, line 10 of {path})"),
    ("3\nxyz comment\nC 0 0 0\n", "line 1: expected 'ITEM: TIMESTEP', got '3' (frame 0, line 1 of {path})"),
])
def test_malformed_and_truncated_dumps_name_the_line_and_keep_the_frames_before(tmp_path, text, message):
    path = tmp_path / "bad.lammpstrj"
    if text is None:  # a second frame cut short
        good = dump_text([np.zeros((4, 3)) + 0.5] * 2, ORTHOGONAL)
        text = good[: good.rindex("\n", 0, len(good) - 1) - 20]
    path.write_text(text)
    frames = skeinlab.iter_lammps(str(path))
    kept = 1 if "frame 1" in message else 0
    for _ in range(kept):
        next(frames)
    with pytest.raises(RuntimeError) as error:
        next(frames)
    assert str(error.value) == "failed to parse data: " + message.format(path=path)


@pytest.mark.parametrize("text", ["", "\n\n"])
def test_an_empty_dump_is_an_error(tmp_path, text):
    path = tmp_path / "empty.lammpstrj"
    path.write_text(text)
    with pytest.raises(RuntimeError, match=f"{path}: no frames \\(an empty file\\)"):
        skeinlab.read_lammps(str(path))
    status, rows, err = command_rows("type", str(path))
    assert status == 1 and rows == [] and "no frames (an empty file)" in err


def test_arguments(tmp_path):
    with pytest.raises(FileNotFoundError, match="Cannot open file: /no/such.dump"):
        skeinlab.read_lammps("/no/such.dump")
    path = tmp_path / "one.lammpstrj"
    path.write_text(dump_text([np.zeros((6, 3))], ORTHOGONAL))
    with pytest.raises(RuntimeError, match="6 atoms are not a whole number of chains of 4"):
        skeinlab.read_lammps(str(path), chain_length=4)
    with pytest.raises(ValueError, match="chain_length must be >= 1"):
        skeinlab.read_lammps(str(path), chain_length=0)
    with pytest.raises(TypeError, match="types must be a sequence of int or None"):
        skeinlab.read_lammps(str(path), types=1)
    with pytest.raises(RuntimeError, match="Invalid chain_type"):
        skeinlab.read_lammps(str(path), "loop")
    assert skeinlab.read_lammps(str(path), molecules=[5])[0].chains.shape == (0, 0, 3)


def command_rows(*args):
    """The rows of a command run in this process, as dicts (CSV output)."""
    import csv
    import io
    import sys

    from skeinlab import cli

    out, err = io.StringIO(), io.StringIO()
    old = sys.stdout, sys.stderr
    sys.stdout, sys.stderr = out, err
    try:
        status = cli.main([*args, "-f", "csv", "-q"])
    finally:
        sys.stdout, sys.stderr = old
    return status, list(csv.DictReader(io.StringIO(out.getvalue()))), err.getvalue()


def test_command_line_types_every_ring_of_every_frame(tmp_path):
    rings, names = melt(count=6)
    box = {"origin": (0.0, 0.0, 0.0), "lengths": (8.0, 8.0, 8.0), "tilts": (0.0, 0.0, 0.0)}
    winding = np.stack([np.linspace(0.0, 7.9, 60), np.full(60, 4.0), np.full(60, 4.0)], axis=1)
    points = np.concatenate(rings + [winding])
    beads = len(winding)
    molecules = np.repeat(np.arange(1, 8) * 10, beads)
    path = tmp_path / "melt.lammpstrj"
    path.write_text(dump_text([wrap(points, box)[0]] * 2, box, molecules=molecules))

    status, rows, err = command_rows("type", str(path))
    assert status == 0 and err == ""
    assert [(r["frame"], r["chain"], r["knot"]) for r in rows] == [
        (str(f), str(10 * m), name) for f in range(2) for m, name in enumerate(names + ["winding"], start=1)]

    status, rows, _ = command_rows("size", str(path), "--molecule", "10", "--molecule", "70", "--chunk", "1")
    assert [(r["frame"], r["chain"], r["knot"], r["length"]) for r in rows] == [
        ("0", "10", "3_1", rows[0]["length"]), ("0", "70", "winding", "-1"),
        ("1", "10", "3_1", rows[0]["length"]), ("1", "70", "winding", "-1")]

    status, rows, _ = command_rows("spectrum", str(path), "--chain-length", str(beads), "--samples", "10")
    assert [r["knot"] for r in rows[:7]] == names + ["winding"]


def test_command_line_cuts_xyz_melts_by_length(tmp_path):
    rings, names = melt(count=4)
    path = tmp_path / "melt.xyz"
    skeinlab.write_xyz(str(path), np.concatenate(rings)[None].repeat(3, axis=0))
    status, rows, _ = command_rows("type", str(path), "--chain-length", str(len(rings[0])))
    assert status == 0
    assert [(r["frame"], r["chain"], r["knot"]) for r in rows] == [
        (str(f), str(k), name) for f in range(3) for k, name in enumerate(names, start=1)]
    status, rows, _ = command_rows("type", str(path), "--chain-length", str(len(rings[0])), "--molecule", "3")
    assert [(r["frame"], r["chain"]) for r in rows] == [("0", "3"), ("1", "3"), ("2", "3")]
    status, rows, err = command_rows("type", str(path), "--chain-length", "7")
    assert status == 1 and rows == [] and "are not a whole number of chains of 7" in err
    status, _, err = command_rows("type", str(path), "--type", "1")
    assert status == 1 and "--type needs a LAMMPS dump" in err
