"""knot_identify: names with chirality and summands, the grammar of names, and
the arguments, checks and threads of knot_type."""

import re

import numpy as np
import pytest

import skeinlab
from conftest import figure_eight, torus_knot, twisted_circle, with_tails

# A name: "1", or summands joined by "#"; a summand is a signed table name, a
# parenthesised list of alternatives, or "?" and a crossing count.
PRIME = r"[+-]?\d+[an]?_\d+"
SUMMAND = rf"(?:{PRIME}|\({PRIME}(?:\|{PRIME})+\)|\?\d+)"
NAME = re.compile(rf"^(?:1|{SUMMAND}(?:#{SUMMAND})*)$")

# torus_knot(2, 3) turns about the core of its torus as a left-handed screw.
LEFT = torus_knot(2, 3)
RIGHT = torus_knot(2, -3)


def mirror(chain):
    return chain * [1, 1, -1]


def joined(*knots):
    """The knots as long arcs placed 20 apart along x, every other one run
    backwards, joined at their tails and closed by a strand above them all."""
    arcs = []
    for k, knot in enumerate(knots):
        arc = with_tails(knot, 15, 30.0) + [20.0 * k, 0.0, 0.0]
        arcs.append(arc[::-1] if k % 2 else arc)
    ring = np.vstack(arcs)
    end, start = ring[-1], ring[0]
    closing = [[end[0] + 6, end[1], end[2]], [end[0] + 6, end[1], 40.0], [start[0], start[1], 40.0]]
    return np.vstack([ring, closing])


@pytest.mark.parametrize(
    "chain, name",
    [
        (twisted_circle(), "1"),
        (RIGHT, "+3_1"),
        (LEFT, "-3_1"),
        (figure_eight(), "4_1"),
        (torus_knot(2, 5, 200), "(-5_1|+10_132)"),
        (torus_knot(3, 4, 300), "-8_19"),
        (joined(RIGHT, mirror(RIGHT)), "+3_1#-3_1"),
        (joined(RIGHT, RIGHT), "+3_1#+3_1"),
        (joined(LEFT, figure_eight(), RIGHT), "+3_1#-3_1#4_1"),
    ],
    ids=["unknot", "right-trefoil", "left-trefoil", "figure-eight", "5_1", "8_19", "square", "granny", "three"],
)
def test_names_with_chirality_and_summands(chain, name):
    turned = chain @ np.array([[0.0, 0.0, 1.0], [1.0, 0.0, 0.0], [0.0, 1.0, 0.0]])
    assert skeinlab.knot_identify(np.stack([chain, chain[::-1], turned])) == [name] * 3
    assert NAME.match(name)


def test_a_mirror_image_swaps_every_sign():
    frames = np.stack([RIGHT, LEFT, figure_eight(150)])
    names = skeinlab.knot_identify(frames)
    assert skeinlab.knot_identify(mirror(frames)) == [n.replace("+", "*").replace("-", "+").replace("*", "-")
                                                      for n in names]


def test_open_chains_keep_their_handedness():
    assert skeinlab.knot_identify(with_tails(RIGHT, 40, 30.0), "open") == ["+3_1"]
    assert skeinlab.knot_identify(with_tails(LEFT, 40, 30.0), chain_type="open") == ["-3_1"]


def test_real_structures_and_walks_give_names_of_the_grammar():
    trace = skeinlab.read_pdb("examples/knotted_backbone.pdb", "ca")
    assert skeinlab.knot_identify(trace, "open") == ["-3_1", "-3_1"]
    rng = np.random.default_rng(3)
    walks = np.cumsum(rng.normal(size=(12, 600, 3)), axis=1)
    names = skeinlab.knot_identify(walks)
    assert all(NAME.match(n) for n in names), names
    assert any("#" in n for n in names)
    assert skeinlab.knot_identify(walks, threads=1) == names == skeinlab.knot_identify(walks, threads=3)


def test_agrees_with_knot_type_on_the_table_up_to_chirality():
    frames = skeinlab.read_xyz("examples/rings.xyz")
    for typed, identified in zip(skeinlab.knot_type(frames), skeinlab.knot_identify(frames)):
        first = identified.strip("()").split("|")[0].lstrip("+-")
        assert first == typed


def test_arguments_as_knot_type():
    with pytest.raises(ValueError, match=r"^threads must be >= 1$"):
        skeinlab.knot_identify("not an array or file", "bogus", 0)
    with pytest.raises(RuntimeError, match=r"^Invalid chain_type\. Expected 'ring' or 'open'\.$"):
        skeinlab.knot_identify(RIGHT, "bogus")
    with pytest.raises(FileNotFoundError):
        skeinlab.knot_identify("no/such/file.xyz")
    assert skeinlab.knot_identify(np.zeros((0, 10, 3))) == []
    assert skeinlab.knot_identify(np.broadcast_to(RIGHT, (4, *RIGHT.shape))) == ["+3_1"] * 4
    assert skeinlab.knot_identify("examples/rings.xyz", threads=2)[:4] == ["-3_1", "4_1", "(-5_1|+10_132)", "1"]
