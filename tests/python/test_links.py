"""Several chains: linking numbers of Hopf, Solomon and torus links, split unions, necklaces, against the
Gauss integral on random pairs, under rotations and reorderings; clusters; input shapes."""
import numpy as np
import pytest

import skeinlab

T = np.linspace(0, 2 * np.pi, 96, endpoint=False) + 0.0123


def circle(centre=(0, 0, 0), plane="xy", radius=1.0):
    u, v = radius * np.cos(T), radius * np.sin(T)
    zero = np.zeros_like(T)
    points = np.stack([u, v, zero] if plane == "xy" else [u, zero, v], axis=1)
    return points + np.asarray(centre, dtype=float)


def torus_link(k):
    """The two components of the (2, 2k) torus link."""
    out = []
    for j in range(2):
        phase = k * T + j * np.pi
        r = 3 + np.cos(phase)
        out.append(np.stack([r * np.cos(T), r * np.sin(T), np.sin(phase)], axis=1))
    return out


def mirror(chain):
    return chain * np.array([1.0, 1.0, -1.0])


def closed(chain):
    return np.vstack([chain, chain[:1]])


HOPF = [circle(), circle((1, 0, 0), "xz")]


@pytest.mark.parametrize("chains, value", [
    (HOPF, -1),
    ([mirror(c) for c in HOPF], 1),
    (torus_link(2), -2),          # the Solomon link (these torus links turn left-handed)
    ([mirror(c) for c in torus_link(2)], 2),
    (torus_link(3), -3),
    (torus_link(5), -5),
    ([circle(), circle((3, 0, 0), "xz")], 0),   # a split union
], ids=["hopf_minus", "hopf_plus", "solomon", "solomon_mirror", "torus_2_6", "torus_2_10", "split"])
def test_linking_numbers_of_known_links(chains, value):
    matrix = skeinlab.linking_matrix(chains)
    assert matrix.dtype == np.int64 and matrix.tolist() == [[0, value], [value, 0]]
    gauss = skeinlab.linking_matrix([closed(c) for c in chains], "open")
    assert abs(gauss[0, 1] - value) < 1e-6


def test_against_the_gauss_integral_on_random_pairs_and_under_rotations():
    rng = np.random.default_rng(5)
    linked = 0
    for _ in range(40):
        a = np.cumsum(rng.normal(size=(50, 3)), axis=0)
        b = np.cumsum(rng.normal(size=(50, 3)), axis=0) + rng.normal(size=3)
        exact = skeinlab.linking_matrix([a, b])[0, 1]
        assert abs(skeinlab.linking_matrix([closed(a), closed(b)], "open")[0, 1] - exact) < 1e-6
        q, _ = np.linalg.qr(rng.normal(size=(3, 3)))
        q *= np.sign(np.linalg.det(q))  # a rotation, not a reflection
        assert skeinlab.linking_matrix([a @ q, b @ q])[0, 1] == exact
        assert skeinlab.linking_matrix([b, a])[0, 1] == exact
        linked += exact != 0
    assert linked >= 5


def necklace(count, start=0.0):
    return [circle((start + 1.5 * k, 0, 0), "xy" if k % 2 == 0 else "xz") for k in range(count)]


def test_a_necklace_and_its_clusters_in_any_order():
    rings = necklace(5) + necklace(3, start=30.0) + [circle((0, 40, 0))]
    clusters, pairs = skeinlab.linked_clusters(rings)
    assert clusters == [[0, 1, 2, 3, 4], [5, 6, 7]]
    assert pairs.pairs.tolist() == [[0, 1], [1, 2], [2, 3], [3, 4], [5, 6], [6, 7]]
    assert set(np.abs(pairs.values).tolist()) == {1}
    order = np.random.default_rng(1).permutation(len(rings))
    shuffled, _ = skeinlab.linked_clusters([rings[k] for k in order])
    assert sorted(sorted(order[k] for k in c) for c in shuffled) == [[0, 1, 2, 3, 4], [5, 6, 7]]


def test_zero_linking_number_links_are_pairwise_zero():
    # The Borromean rings: three mutually perpendicular ellipses; every pair has linking number 0.
    a = np.stack([2 * np.cos(T), np.sin(T), 0 * T], axis=1)
    b = np.stack([0 * T, 2 * np.cos(T), np.sin(T)], axis=1)
    c = np.stack([np.sin(T), 0 * T, 2 * np.cos(T)], axis=1)
    assert not skeinlab.linking_matrix([a, b, c]).any()


def test_input_shapes_and_trajectories():
    one = skeinlab.linking_matrix(np.stack(HOPF))
    assert one.tolist() == [[0, -1], [-1, 0]]
    uneven = skeinlab.linking_matrix([HOPF[0][::2], HOPF[1]])
    assert uneven.tolist() == [[0, -1], [-1, 0]]
    frames = skeinlab.linking_matrix(np.stack([np.stack(HOPF), np.stack([mirror(c) for c in HOPF])]))
    assert [m[0, 1] for m in frames] == [-1, 1]
    listed = skeinlab.linking_matrix([HOPF, [HOPF[0], HOPF[1], circle((9, 9, 9))]], threads=1)
    assert [m.shape for m in listed] == [(2, 2), (3, 3)]
    sparse = skeinlab.linking_pairs([HOPF[0], circle((5, 5, 5)), HOPF[1]])
    assert sparse.pairs.tolist() == [[0, 2]] and sparse.values.tolist() == [-1]
    with pytest.raises(ValueError, match="chains must be an array"):
        skeinlab.linking_matrix(np.zeros((2, 3)))
    with pytest.raises(RuntimeError, match="Invalid chain_type"):
        skeinlab.linking_matrix(HOPF, "loop")


def test_command_line_link_and_clusters(tmp_path):
    from test_lammps import command_rows

    rings = necklace(4) + [circle((0, 30, 0))]
    path = tmp_path / "necklace.xyz"
    skeinlab.write_xyz(str(path), np.concatenate(rings)[None].repeat(2, axis=0))
    n = str(len(T))
    status, rows, err = command_rows("link", str(path), "--chain-length", n)
    assert status == 0, err
    assert [(r["frame"], r["chain1"], r["chain2"], abs(int(r["linking"]))) for r in rows] == [
        (str(f), str(k), str(k + 1), 1) for f in range(2) for k in range(1, 4)]
    assert all("L2a1{" in r["link"] for r in rows)  # each pair of the necklace a Hopf link
    status, rows, _ = command_rows("clusters", str(path), "--chain-length", n)
    assert [(r["frame"], r["cluster"], r["size"], r["chains"]) for r in rows] == [
        ("0", "0", "4", "1 2 3 4"), ("1", "0", "4", "1 2 3 4")]
    status, rows, _ = command_rows("link", str(path), "--chain-length", n, "--open")
    assert len(rows) >= 6 and all(abs(float(r["linking"])) < 1.01 and r["link"] == "" for r in rows)


def test_command_line_links_the_chains_of_a_structure(tmp_path):
    pytest.importorskip("gemmi")
    from test_lammps import command_rows

    lines, serial = [], 1
    for name, chain in zip("AB", [c * 3.8 / 0.0654 / 4 for c in HOPF]):
        for i, (x, y, z) in enumerate(chain[::4], start=1):
            lines.append(f"ATOM  {serial:5d}  CA  ALA {name}{i:4d}    {x:8.3f}{y:8.3f}{z:8.3f}  1.00  0.00           C")
            serial += 1
        lines.append("TER")
    path = tmp_path / "dimer.pdb"
    path.write_text("\n".join(lines + ["END"]) + "\n")
    status, rows, err = command_rows("link", str(path), "--ring")
    assert status == 0, err
    assert [(r["frame"], r["chain1"], r["chain2"], r["linking"]) for r in rows] == [("0", "A", "B", "-1")]
    status, rows, _ = command_rows("link", str(path))  # open chains: the Gauss integral
    assert len(rows) == 1 and -1.0 < float(rows[0]["linking"]) < -0.5
