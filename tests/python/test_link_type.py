"""Link types: rings written as closed braids (words from LinkInfo's braid notation), circles and
torus links, named from the table of prime links; split unions; the Whitehead link and the
Borromean rings, every linking number 0, found linked."""
import sys
from pathlib import Path

import numpy as np
import pytest

import skeinlab

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from check_link_placements import braid_closure, rotated, unsigned_names  # noqa: E402


def names_of(name):
    return name[1:-1].split("|") if name.startswith("(") else [name]


@pytest.mark.parametrize("strands, word, expected", [
    (2, [1, 1], "L2a1"),
    (2, [1, 1, 1, 1], "L4a1"),
    (2, [1] * 6, "L6a3"),                      # the (2, 2k) torus links
    (2, [1] * 8, "L8a14"),
    (2, [1] * 10, "L10a118"),
    (3, [-1, 2, -1, 2, -1], "L5a1"),           # the Whitehead link
    (3, [1, -2, 1, -2, 1, -2], "L6a4"),        # the Borromean rings
    (4, [1, -2, 3, -2, 1, -2, -3, -2], "L6a1"),
    (3, [1, 1, 1, -2, 1, -2, 1], "L7a6"),
    (3, [-1, -2, -1, -2, -1, -2, -2], "L7n1"),
])
def test_closed_braids_are_named_from_the_table_in_any_position(strands, word, expected):
    rings = braid_closure(strands, word)
    for seed in (0, 1):
        link = skeinlab.link_type(rotated(rings, seed))
        assert len(link.sublinks) == 1 and link.sublinks[0].rings == tuple(range(len(rings)))
        assert any(n.startswith(expected + "{") for n in unsigned_names(link.name)), link.name
        # The order of the rings does not matter.
        assert sorted(names_of(skeinlab.link_type(rotated(rings, seed)[::-1]).name)) == sorted(names_of(link.name))
        mirror = skeinlab.link_type([r * np.array([1.0, 1.0, -1.0]) for r in rotated(rings, seed)])
        flip = {"+": "-", "-": "+"}
        assert sorted(flip.get(n[0], "") + n.lstrip("+-") for n in names_of(link.name)) == \
            sorted(names_of(mirror.name))


def test_zero_linking_numbers_yet_linked():
    whitehead = rotated(braid_closure(3, [-1, 2, -1, 2, -1]), 3)
    borromean = rotated(braid_closure(3, [1, -2, 1, -2, 1, -2]), 4)
    assert not skeinlab.linking_matrix(whitehead).any() and not skeinlab.linking_matrix(borromean).any()
    assert skeinlab.linked_clusters(whitehead, zero_pairs=False).clusters == []  # linking numbers only
    clusters, pairs = skeinlab.linked_clusters(whitehead)
    assert clusters == [[0, 1]] and pairs.values.tolist() == [0]
    assert any(n.lstrip("+-").startswith("L5a1{") for n in names_of(pairs.names[0]))
    # Every pair of the Borromean rings is split: no cluster, but the three rings form L6a4.
    assert skeinlab.linked_clusters(borromean).clusters == []
    assert "L6a4" in skeinlab.link_type(borromean).name


def test_degenerate_projections_are_not_read():
    # Three ellipses in the coordinate planes: along z two of them project onto lines, and every fixed
    # turn that leaves two segments meeting or lined up in projection is passed over.
    t = np.linspace(0, 2 * np.pi, 96, endpoint=False) + 0.0123
    zero = 0 * t
    rings = [np.stack(c, axis=1) for c in ([2 * np.cos(t), np.sin(t), zero], [zero, 2 * np.cos(t), np.sin(t)],
                                           [np.sin(t), zero, 2 * np.cos(t)])]
    assert "L6a4" in skeinlab.link_type(rings).name


def test_split_unions_and_knotted_components():
    hopf = rotated(braid_closure(2, [1, 1]), 5)
    trefoil = rotated(braid_closure(2, [1, 1, 1]), 6)
    far = [r + np.array([40.0, 0, 0]) for r in trefoil]
    link = skeinlab.link_type(hopf + far + [hopf[0] + np.array([0, 40.0, 0])])
    assert [p.rings for p in link.sublinks] == [(0, 1), (2,), (3,)]
    assert link.sublinks[1].name in ("+3_1", "-3_1") and link.sublinks[2].name == "1"
    assert link.knots == ["1", "1", link.sublinks[1].name, "1"]
    assert link.name == " U ".join(p.name for p in link.sublinks)
    # A trefoil ring linked with a circle: the knot is the ring's own, the link not in the table.
    knotted = rotated(braid_closure(2, [1, 1, 1]), 7)[0]
    circle = np.array([[9 * np.cos(t), 9 * np.sin(t), 0.0] for t in np.linspace(0, 2 * np.pi, 90, endpoint=False)])
    both = skeinlab.link_type([knotted, circle @ rotated([np.eye(3)], 7)[0].T])
    assert both.knots[0] in ("+3_1", "-3_1") and both.knots[1] == "1"


def test_a_composite_link_is_marked_unknown_not_guessed():
    # Two Hopf links summed along a ring: three rings, one sublink, in no table.
    link = skeinlab.link_type(rotated(braid_closure(3, [1, 1, 2, 2]), 9))
    assert [p.rings for p in link.sublinks] == [(0, 1, 2)] and link.name == "?4"


def test_trajectories_and_shapes():
    hopf = rotated(braid_closure(2, [1, 1]), 8)
    frames = skeinlab.link_type([hopf, [hopf[0], hopf[1] + 30.0]], threads=1)
    assert isinstance(frames, list) and len(frames) == 2
    assert frames[1].name == "1 U 1" and "L2a1" in frames[0].name
