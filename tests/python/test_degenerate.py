"""Chains in any unit of length, planar and self-intersecting chains: right or at least possible answers."""
import os
import re

import numpy as np
import pytest

import skeinlab
from conftest import torus_knot

TREFOIL = torus_knot(2, 3)  # diameter about 8


def rotation(rng):
    w, x, y, z = (q := rng.normal(size=4)) / np.linalg.norm(q)
    return np.array([[w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)],
                     [2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)],
                     [2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z]])


def possible(name):
    """A name, or the text of a symmetric polynomial with value +-1 at t = 1."""
    if name == "1" or "_" in name:
        return True
    coeffs = {}
    for sign, c, power in re.findall(r"([+-]?)(\d*)\*?(t(?:\^\d+)?)?", name.replace("*t", "t")):
        if not c and not power:
            continue
        k = 0 if not power else (int(power[2:]) if "^" in power else 1)
        coeffs[k] = (-1 if sign == "-" else 1) * int(c or 1)
    values = [coeffs.get(k, 0) for k in range(max(coeffs) + 1)]
    return abs(sum(values)) == 1 and values == values[::-1]


@pytest.mark.parametrize("scale", [1e-300, 1e-10, 1e-3, 10 ** -2.25, 1e155, 1e300])
def test_a_trefoil_is_a_trefoil_in_any_unit(scale):
    chain = TREFOIL * scale
    assert skeinlab.knot_type(chain) == ["3_1"]
    assert skeinlab.knot_type(chain, "open") == ["3_1"]
    names, [[start, end, length]] = skeinlab.knot_size(chain)
    assert names == ["3_1"] and length > 0
    assert skeinlab.knot_spectrum(chain, samples=5) == [{"3_1": 1.0}]


def test_scaling_is_by_powers_of_two_so_results_match_bit_for_bit():
    # 2**-20 is brought back up by a power of two to the very bits of 2**-2, which is in range already.
    small, in_range = TREFOIL * 2.0 ** -20, TREFOIL * 2.0 ** -2
    assert skeinlab.knot_size(small) == skeinlab.knot_size(in_range)
    assert skeinlab.knot_size(small, "open") == skeinlab.knot_size(in_range, "open")
    reduced = skeinlab.kmt(small)
    np.testing.assert_array_equal(reduced * 2.0 ** 18, skeinlab.kmt(in_range))
    assert np.isin(reduced, small).all()  # the points returned are input points, exactly


def test_five_coplanar_points_in_a_tilted_plane_are_not_knotted():
    five = np.array([[0, 0, 0], [3, 1, 0], [1, 3, 0], [2, -1, 0], [-1, 2, 0]], float)
    tilted = five @ rotation(np.random.default_rng(1)).T
    assert skeinlab.knot_type(tilted, "open") == ["1"]
    assert skeinlab.knot_size(tilted, "open") == (["1"], [[-1, -1, 0]])


def test_planar_chains_never_give_impossible_polynomials():
    rng = np.random.default_rng(0)
    names = []
    for _ in range(400):
        n = int(rng.integers(5, 12))
        angles = np.sort(rng.uniform(0, 2 * np.pi, n)) * rng.integers(1, 4)
        radii = rng.uniform(0.2, 3, n)
        star = np.stack([radii * np.cos(angles), radii * np.sin(angles), np.zeros(n)], axis=1)
        turned = star @ rotation(rng).T
        names += skeinlab.knot_type(turned, "open") + skeinlab.knot_type(turned)
    assert all(possible(name) for name in names), [n for n in names if not possible(n)]


def test_a_ring_drawn_in_one_plane_through_itself_is_typed_unknot():
    t = np.linspace(0, 2 * np.pi, 100, endpoint=False)
    figure = np.stack([np.sin(t), np.sin(2 * t), np.zeros_like(t)], axis=1)
    assert skeinlab.knot_type(figure) == ["1"]
    assert skeinlab.knot_type(figure @ rotation(np.random.default_rng(2)).T) == ["1"]


def test_a_table_path_that_is_not_utf8_is_a_path(monkeypatch, tmp_path):
    missing = os.fsdecode(os.fsencode(str(tmp_path)) + b"/table-\xff.txt")
    monkeypatch.setenv("LOOMCRAFT_ALEXANDER_TABLE", missing)
    with pytest.raises(FileNotFoundError, match="^Alexander table file not found: "):
        skeinlab.knot_type(TREFOIL)
    with open(os.fsencode(missing), "w") as table:
        table.write("tref 1-t+t^2\n")
    assert skeinlab.knot_type(TREFOIL) == ["tref"]


@pytest.mark.parametrize("call", [
    lambda p: skeinlab.read_xyz(p), lambda p: skeinlab.iter_xyz(p), lambda p: skeinlab.read_pdb(p),
    lambda p: skeinlab.knot_type(p), lambda p: skeinlab.knot_size(p, "open"),
])
def test_paths_with_lone_surrogates_name_no_file(call):
    with pytest.raises(FileNotFoundError, match=r"^Cannot open file: /no/such/\\ud800\.xyz$"):
        call("/no/such/\ud800.xyz")


def test_file_names_that_are_not_utf8_are_read(tmp_path):
    path = os.fsdecode(os.fsencode(str(tmp_path)) + b"/rings-\xe9.xyz")  # as os.listdir would give it
    skeinlab.write_xyz(path, TREFOIL)
    assert skeinlab.knot_type(path) == ["3_1"]
    np.testing.assert_array_equal(skeinlab.read_xyz(path)[0], np.round(TREFOIL, 5))


def test_a_last_pdb_line_reads_alike_with_or_without_its_line_break(tmp_path):
    line = "ATOM      1  CA  ALA A   1      11.104   6.134  -6.50"  # ends inside the z column
    for text in (line, line + "\n"):
        path = tmp_path / "short.pdb"
        path.write_text("ATOM      2  CA  ALA A   2       1.000   2.000   3.000\n" + text)
        np.testing.assert_array_equal(skeinlab.read_pdb(str(path)), [[[1, 2, 3], [11.104, 6.134, -6.5]]])


def test_a_count_smaller_than_its_points_names_the_line(tmp_path):
    path = tmp_path / "short-count.xyz"
    path.write_text("2\nc\nC 0 0 0\nC 1 0 0\nC 1 1 0\n")
    with pytest.raises(RuntimeError) as error:
        skeinlab.read_xyz(str(path))
    assert str(error.value) == ("failed to parse data: line 5: expected a point count, got 'C 1 1 0' "
                                "(frame 0 has more points than its count)")


@pytest.mark.parametrize("read, text, message", [
    (skeinlab.read_xyz, b"2\n\nC 0 0 0\nC 1 \xff 0\n", "I/O error: stream did not contain valid UTF-8"),
    (skeinlab.knot_type, b"2\n\nC 0 0 0\nC 1 \xff 0\n", "I/O error: stream did not contain valid UTF-8"),
    (skeinlab.read_pdb, b"REMARK \xe9 not read\nATOM      1  CA  ALA A   1       1.000   2.000   3.000\n"
                        b"ATOM      2  CA  AL\xff A   2       1.000   2.000   3.000\n",
     "stream did not contain valid UTF-8"),
])
def test_invalid_utf8_keeps_its_message_and_names_the_line_in_its_cause(tmp_path, read, text, message):
    path = tmp_path / "bad"
    path.write_bytes(text)
    with pytest.raises(RuntimeError) as error:
        read(str(path))
    assert str(error.value) == message
    cause = error.value.__cause__
    assert type(cause) is UnicodeError
    assert str(cause) == f"line {3 if read is skeinlab.read_pdb else 4} is not valid UTF-8"


def test_empty_frames_and_broadcast_views_are_not_materialised():
    # Ten million frames without points: one typing, one shared name, no per-frame copy.
    names = skeinlab.knot_type(np.zeros((10**7, 0, 3)))
    assert len(names) == 10**7 and names[0] == names[-1] == "1"
    # A hundred million equal points, read as three.
    equal = np.broadcast_to(np.zeros(3), (10**8, 3))
    assert skeinlab.knot_type(equal) == ["1"] and skeinlab.knot_size(equal, "open") == (["1"], [[-1, -1, 0]])
    assert skeinlab.kmt(equal).shape == (2, 3) and skeinlab.kmt(equal, "open").shape == (2, 3)


@pytest.mark.parametrize("chain_type", ["ring", "open"])
def test_broadcast_views_type_as_their_copies(chain_type):
    view = np.broadcast_to(TREFOIL, (50, *TREFOIL.shape))
    copy = np.ascontiguousarray(view)
    assert skeinlab.knot_type(view, chain_type) == skeinlab.knot_type(copy, chain_type)
    names, cores = skeinlab.knot_size(view, chain_type)
    assert (names, cores) == skeinlab.knot_size(copy, chain_type)
    cores[0][0] = -5  # each frame has a list of its own
    assert cores[1][0] != -5
    assert skeinlab.knot_spectrum(view[:4], chain_type, samples=4) == skeinlab.knot_spectrum(copy[:4], chain_type,
                                                                                          samples=4)
    points = np.broadcast_to(np.arange(3.0), (7, 3))
    assert skeinlab.knot_type(points, chain_type) == skeinlab.knot_type(np.ascontiguousarray(points), chain_type)
    np.testing.assert_array_equal(skeinlab.kmt(points, chain_type), skeinlab.kmt(np.ascontiguousarray(points),
                                                                                  chain_type))


def noisy_knots(count, seed=5):
    """Noisy torus knots (3_1, 5_1, 8_19) of 40 to 200 points, turned and started anywhere."""
    rng = np.random.default_rng(seed)
    chains = []
    for k in range(count):
        n = int(rng.integers(40, 200))
        p, q = [(2, 3), (2, 5), (3, 4)][k % 3]
        chain = torus_knot(p, q, n) + rng.normal(scale=0.3, size=(n, 3))
        chains.append(np.roll(chain @ rotation(rng), int(rng.integers(n)), axis=0))
    return chains


@pytest.mark.parametrize("chain_type", ["ring", "open"])
def test_padded_frames_type_as_the_frames_they_pad(tmp_path, chain_type):
    chains = noisy_knots(30)
    path = str(tmp_path / "ragged.xyz")
    for chain in chains:
        skeinlab.write_xyz(path, chain, append=True)
    frames = skeinlab.read_xyz(path)
    assert np.isnan(frames).any()
    names = [skeinlab.knot_type(frame[: len(chain)], chain_type)[0] for frame, chain in zip(frames, chains)]
    assert skeinlab.knot_type(frames, chain_type) == names
    sizes = [skeinlab.knot_size(frame[: len(chain)], chain_type) for frame, chain in zip(frames[:12], chains)]
    assert skeinlab.knot_size(frames[:12], chain_type) == ([n for [n], _ in sizes], [c for _, [c] in sizes])
    for frame, chain in zip(frames[:6], chains):  # one frame per call: samples are keyed by frame
        assert (skeinlab.knot_spectrum(frame, chain_type, samples=6)
                == skeinlab.knot_spectrum(frame[: len(chain)], chain_type, samples=6))


@pytest.mark.parametrize("chain_type", ["ring", "open"])
def test_a_missing_point_is_left_out_whichever_way_the_chain_is_turned(chain_type):
    rng = np.random.default_rng(7)
    for chain in noisy_knots(12, seed=7):
        i = int(rng.integers(1, len(chain) - 1))
        missing = chain.copy()
        missing[i, i % 3] = [np.nan, np.inf, -np.inf][i % 3]  # one coordinate is enough
        dropped = np.delete(chain, i, axis=0)
        for _ in range(3):
            turn = rotation(rng)
            with np.errstate(invalid="ignore"):
                turned = missing @ turn
            assert skeinlab.knot_type(turned, chain_type) == skeinlab.knot_type(dropped @ turn, chain_type)
        np.testing.assert_array_equal(skeinlab.kmt(missing, chain_type), skeinlab.kmt(dropped, chain_type))


def test_a_core_around_missing_points_is_given_in_the_frames_positions():
    chain = TREFOIL.copy()
    missing = np.insert(chain, [10, 10, 80], np.nan, axis=0)  # two points before 10, one before 80
    [name], [[start, end, length]] = skeinlab.knot_size(chain, "open")
    [name_missing], [[start_m, end_m, length_m]] = skeinlab.knot_size(missing, "open")
    shift = lambda i: i + (2 if i >= 10 else 0) + (1 if i >= 80 else 0)  # noqa: E731
    assert (name_missing, start_m, end_m, length_m) == (name, shift(start), shift(end), length)
    assert len(skeinlab.kmt(np.vstack([chain, np.full((5, 3), np.nan)]))) == len(skeinlab.kmt(chain))
