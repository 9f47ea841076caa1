"""knot_identify: names with chirality and summands, the grammar of names, and
the arguments, checks and threads of knot_type."""

import re
import sys
from pathlib import Path

import numpy as np
import pytest

import skeinlab
from conftest import figure_eight, torus_knot, twisted_circle, with_tails

# A name: "1", or summands joined by "#"; a summand is a signed table name, a
# parenthesised list of alternatives (the last may be "?" and the crossings of
# a diagram larger than the table's knots), or "?" and a crossing count.
PRIME = r"[+-]?\d+[an]?_\d+"
SUMMAND = rf"(?:{PRIME}|\((?:{PRIME}\|)+(?:{PRIME}|\?\d+)\)|\?\d+)"
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
        (torus_knot(2, 5, 200), "-5_1"),  # 10_132 shares its polynomial but needs 10 crossings
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
    assert skeinlab.knot_identify("examples/rings.xyz", threads=2)[:4] == ["-3_1", "4_1", "-5_1", "1"]


def polynomial_terms(text, first, second=None):
    """{(exponent of first, exponent of second): coefficient} of a polynomial text."""
    terms = {}
    for term in filter(None, re.split(r"(?<!\^)(?=[+-])", text)):
        sign = -1 if term[0] == "-" else 1
        coefficient, a, b = 1, 0, 0
        for factor in term.lstrip("+-").split("*"):
            name, _, power = factor.partition("^")
            if name == first:
                a = int(power or 1)
            elif name == second:
                b = int(power or 1)
            else:
                coefficient = int(name)
        terms[(a, b)] = terms.get((a, b), 0) + sign * coefficient
    return terms


def test_invariants_agree_with_each_other_and_with_knot_type():
    rng = np.random.default_rng(11)
    frames = np.cumsum(rng.normal(size=(32, 600, 3)), axis=1)
    invariants = skeinlab.knot_invariants(frames)
    assert [i["name"] for i in invariants] == skeinlab.knot_identify(frames)
    compared = 0
    for inv, typed in zip(invariants, skeinlab.knot_type(frames)):
        if "_" not in typed and typed != "1":  # a polynomial text: the same Alexander polynomial
            assert inv["alexander"] == typed
            compared += 1
        alexander = polynomial_terms(inv["alexander"], "t")
        assert inv["determinant"] == abs(sum(c * (-1) ** a for (a, _), c in alexander.items()))
        assert inv["crossings"] == sum(s["crossings"] for s in inv["summands"])
        if inv["homfly"] is not None:
            homfly = polynomial_terms(inv["homfly"], "v", "z")
            # P(1, 0) = 1 and V(1) = 1 for every knot.
            assert sum(c for (a, b), c in homfly.items() if b == 0) == 1
            assert sum(polynomial_terms(inv["jones"], "t").values()) == 1
    assert compared >= 3


def test_invariants_of_the_trefoils_and_the_square_knot():
    right, left = skeinlab.knot_invariants(np.stack([RIGHT, LEFT]))
    [square] = skeinlab.knot_invariants(joined(RIGHT, mirror(RIGHT)))
    assert right["homfly"] == "2*v^2-v^4+v^2*z^2" and right["jones"] == "t+t^3-t^4"
    assert left["homfly"] == "-v^-4+2*v^-2+v^-2*z^2" and left["jones"] == "-t^-4+t^-3+t^-1"
    assert right["determinant"] == left["determinant"] == 3 and right["alexander"] == "1-t+t^2"
    assert square["name"] == "+3_1#-3_1" and [s["name"] for s in square["summands"]] == ["+3_1", "-3_1"]
    assert square["alexander"] == "1-2*t+3*t^2-2*t^3+t^4" and square["determinant"] == 9 and square["crossings"] == 6


@pytest.mark.parametrize("q, homfly, jones", [(41, True, True), (61, True, False), (101, False, False)])
def test_large_prime_diagrams_give_what_fits_and_never_fail(q, homfly, jones):
    # (2, q) torus knots: prime, q crossings, outside the table. The sweep gives
    # their HOMFLY-PT polynomial; the Jones polynomial of (2, 61) and the
    # HOMFLY-PT polynomial of (2, 101) need more than 64 bits.
    [inv] = skeinlab.knot_invariants(torus_knot(2, q, 30 * q))
    assert inv["name"] == f"?{q}" and inv["crossings"] == q
    assert (inv["homfly"] is not None, inv["jones"] is not None) == (homfly, jones)
    assert (inv["summands"][0]["homfly"] is not None) == homfly


def test_spectra_and_fingerprints_name_samples_by_the_chosen_invariant():
    trace = skeinlab.read_pdb("examples/knotted_backbone.pdb", "ca")
    alexander = skeinlab.knot_spectrum(trace, "open", samples=40, seed=3)
    homfly = skeinlab.knot_spectrum(trace, "open", samples=40, seed=3, invariant="homfly")
    assert skeinlab.knot_spectrum(trace, "open", 40, 3, None, 0, "alexander") == alexander
    # The same samples: every 3_1 of knot_type is a trefoil of one hand or the other.
    assert next(iter(homfly[0])) == "-3_1" and next(iter(alexander[0])) == "3_1"
    assert homfly[0]["-3_1"] + homfly[0].get("+3_1", 0.0) == alexander[0]["3_1"]
    mirrored = skeinlab.knot_spectrum(mirror(trace), "open", samples=40, seed=3, invariant="homfly")
    assert next(iter(mirrored[0])) == "+3_1"
    fp = skeinlab.knot_fingerprint(trace[0], step=20, samples=8, invariant="homfly")
    assert set(fp["knot"]) <= {"1", "-3_1", "+3_1"} and "-3_1" in set(fp["knot"])


@pytest.mark.parametrize("function", [skeinlab.knot_spectrum, skeinlab.knot_fingerprint])
def test_bad_invariant(function):
    with pytest.raises(ValueError, match=r"^invariant must be 'alexander' or 'homfly'$"):
        function(RIGHT, invariant="jones")
    with pytest.raises(TypeError, match="invariant"):
        function(RIGHT, invariant=3)


def test_plots_take_identified_names():
    plot = pytest.importorskip("skeinlab.plot")
    pytest.importorskip("matplotlib")
    trace = skeinlab.read_pdb("examples/knotted_backbone.pdb", "ca")[0]
    fp = skeinlab.knot_fingerprint(trace, step=20, samples=4, invariant="homfly")
    assert plot.fingerprint(fp).axes
    names = skeinlab.knot_identify("examples/rings.xyz")
    cores = [[0, 10, 11]] * len(names)
    assert plot.cores(names, cores, n=80).axes


def crossing_number(name):
    return int(name.lstrip("+-").split("_")[0].rstrip("an"))


def seeded_rings(seed=11):
    """The rings of bench/identify_bench.py: free walks of 600 unit steps, then confined walks of 120."""
    rng = np.random.default_rng(seed)
    steps = rng.normal(size=(150, 600, 3))
    free = np.cumsum(steps / np.linalg.norm(steps, axis=2, keepdims=True), axis=1)
    confined = np.zeros((150, 120, 3))
    steps = rng.normal(size=(150, 120, 3))
    steps /= np.linalg.norm(steps, axis=2, keepdims=True)
    for i in range(1, 120):
        confined[:, i] = 0.8 * confined[:, i - 1] + steps[:, i]
    return free, confined


def test_alternatives_obey_the_crossing_bound_and_large_diagrams_are_never_guessed():
    free, confined = seeded_rings()
    invariants = skeinlab.knot_invariants(free[120:150]) + skeinlab.knot_invariants(confined[40:80])
    largest = 15  # the census's largest knots: every prime knot up to 15 crossings is known
    seen_beyond = 0
    for frame in invariants:
        for summand in frame["summands"]:
            name, crossings = summand["name"], summand["crossings"]
            if name.startswith("?"):
                continue
            candidates = name.strip("()").split("|")
            for candidate in candidates:
                if not candidate.startswith("?"):
                    assert crossing_number(candidate) <= crossings, (name, crossings)
            if crossings > largest:
                seen_beyond += 1
                assert candidates[-1] == f"?{crossings}", (name, crossings)
            else:
                assert "?" not in name
    assert seen_beyond >= 0  # summands beyond 15 crossings are rare in this set


# Knots of 13 to 15 crossings as closed braids (words by Vogel's algorithm from the enumeration's diagrams),
# named from the census in both chiralities; the chirality of a word's closure is the census's "+".
CENSUS_BRAIDS = [
    ("13n_1609", [-1, 2, -3, -3, 2, -4, 3, -4, 3, -5, 2, -4, 1, -3, 2, -3, 4, -3, 5, -3, -2]),
    ("13a_4878", [1] * 13),
    ("14n_11378", [-1, 2, -3, 4, -5, 4, -6, 4, 3, -2, 1, 3, -4, 5, -4, -3, -2, -4, 3, -4, 5, 4, 6, -5, 4, -3, 2,
                   -4]),
    ("14a_19470", [-1, 2] * 7),
    ("15a_85263", [1] * 15),
    ("15n_41185", [1, 2, 3, 2, 1, 2, 1, 2, 1, 3, 1, 3, 2, 2, 1]),
]


@pytest.mark.parametrize("knot, word", CENSUS_BRAIDS, ids=[k for k, _ in CENSUS_BRAIDS])
def test_knots_of_thirteen_to_fifteen_crossings_are_named_from_the_census(knot, word):
    sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
    from check_link_placements import braid_closure, rotated

    [ring] = rotated(braid_closure(max(abs(g) for g in word) + 1, word), 2)
    name, mirrored = skeinlab.knot_identify(np.stack([ring, mirror(ring)]))
    # The knot, alone or among the knots whose HOMFLY-PT polynomial it shares (13n_1609 with 12n_181 and
    # 13n_2692, 14n_11378 with 12a_307 and 12a_781), with "+": a word's closure has the chirality of the
    # enumeration's diagram; its mirror image every sign turned.
    candidates = name.strip("()").split("|")
    assert f"+{knot}" in candidates or knot in candidates, name  # no sign: the polynomial equals its mirror's
    assert "?" not in name and NAME.match(name)
    assert mirrored == name.replace("+", "*").replace("-", "+").replace("*", "-")


def test_pd_codes_out_and_in_name_as_the_chains_do():
    frames = np.stack([RIGHT, LEFT, figure_eight(200)[:150], twisted_circle(150)])
    codes = skeinlab.pd_code(frames, threads=2)
    assert codes[3] == [] and len(codes[0]) == 3
    assert all(isinstance(c, tuple) and len(c) == 4 for c in codes[0])
    # Every edge twice, numbered 1 to 2n.
    for code in codes:
        edges = sorted(e for crossing in code for e in crossing)
        assert edges == sorted(list(range(1, 2 * len(code) + 1)) * 2)
    assert skeinlab.identify_pd(codes) == skeinlab.knot_identify(frames)
    texts = ["[" + ",".join("[" + ",".join(map(str, c)) + "]" for c in code) + "]" for code in codes]
    assert skeinlab.identify_pd(texts) == skeinlab.knot_identify(frames)
    # As KnotInfo, SnapPy and Regina write them.
    assert skeinlab.identify_pd(["[[1,5,2,4],[3,1,4,6],[5,3,6,2]]", "PD[X[1,5,2,4], X[3,1,4,6], X[5,3,6,2]]",
                                 [(4, 2, 5, 1), (8, 6, 1, 5), (6, 3, 7, 4), (2, 7, 3, 8)]]) == ["+3_1", "+3_1", "4_1"]


@pytest.mark.parametrize("codes, error, message", [
    (["[[1,5,2]]"], ValueError, "code 0: PD code: a crossing of fewer than four edges"),
    ([[(1, 5, 2, 4)]], ValueError, "code 0: PD code: edges are not numbered 1 to 2"),
    (["[[1,5,2,4],[3,1,4,6],[5,3,6,2]]", "[[1,2,3,4]]"], ValueError, "code 1: PD code"),
    ([[(1, 2)]], ValueError, "code 0: crossing 0 is not four edge numbers"),
    ("[[1,5,2,4]]", TypeError, "a str is one code"),
])
def test_pd_codes_that_are_no_knot_diagram_are_refused_by_name(codes, error, message):
    with pytest.raises(error, match=re.escape(message)):
        skeinlab.identify_pd(codes)


def test_the_command_line_writes_the_pd_code_beside_the_name(tmp_path):
    from test_cli import run

    path = tmp_path / "knots.xyz"
    skeinlab.write_xyz(str(path), np.stack([RIGHT, LEFT]))
    status, out, _ = run("identify", str(path), "--pd", "-f", "csv")
    assert status == 0
    header, *rows = out.strip().splitlines()
    assert header == "file,chain,frame,knot,pd"
    codes = [row.split(",", 4)[4].strip('"') for row in rows]
    assert skeinlab.identify_pd(codes) == ["+3_1", "-3_1"]
