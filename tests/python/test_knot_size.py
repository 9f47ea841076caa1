import numpy as np
import pytest

import skeinlab
from conftest import figure_eight, torus_knot, twisted_circle, with_tails


def test_empty_and_unknotted_frames():
    assert skeinlab.knot_size(np.zeros((0, 5, 3))) == ([], [])
    names, cores = skeinlab.knot_size(np.stack([twisted_circle(100)] * 2))
    assert names == ["1", "1"] and cores == [[-1, -1, 0], [-1, -1, 0]]


def test_first_list_equals_knot_type_and_threads_agree():
    frames = np.stack([torus_knot(2, 3, 120), figure_eight(120), twisted_circle(120)])
    names, cores = skeinlab.knot_size(frames)
    assert names == skeinlab.knot_type(frames)
    assert all(isinstance(v, int) for core in cores for v in core)
    for threads in (1, 8):
        assert skeinlab.knot_size(frames, threads=threads) == (names, cores)
    open_result = skeinlab.knot_size(frames, "open")
    assert open_result[0] == skeinlab.knot_type(frames, "open")
    assert skeinlab.knot_size(input_data=frames, threads=2, chain_type="open") == open_result


@pytest.mark.parametrize("p, q, name", [(2, 3, "3_1"), (2, 5, "5_1")])
def test_open_chain_core_inside_knotted_stretch(p, q, name):
    tail = 80
    knot = torus_knot(p, q, 150)
    chain = with_tails(knot, tail, 60.0)
    names, [[start, end, length]] = skeinlab.knot_size(chain, "open")
    assert names == [name]
    assert tail - 2 <= start < end <= tail + len(knot) + 1
    assert length == end - start + 1
    assert length < len(chain) / 2


def test_ring_core_in_frame_numbering_across_first_point():
    knot = torus_knot(2, 3, 120)
    a, b = knot[-1], knot[0]
    f = np.arange(1, 100)[:, None] / 100.0
    loop = a + (b - a) * f + np.outer(np.sin(np.pi * f[:, 0]), [20.0, 0.0, 0.0])
    ring = np.vstack([knot, loop])
    n = len(ring)
    names, [[start, end, length]] = skeinlab.knot_size(ring)
    assert names == ["3_1"] and 0 < length < n
    # The same ring started in the middle of the knot: the core now runs across point 0.
    shift = 60
    rotated = np.roll(ring, -shift, axis=0)
    names2, [[s2, e2, l2]] = skeinlab.knot_size(rotated)
    assert names2 == ["3_1"] and 0 < l2 < n
    assert 0 <= s2 < n and 0 <= e2 < n
    assert (e2 - s2) % n + 1 == l2
    assert e2 < s2  # wraps across the first point
    covered = {(s2 + k) % n for k in range(l2)}
    assert covered <= {(i - shift) % n for i in range(len(knot) + 2)} | {(-shift - 1) % n}


def test_argument_checks():
    with pytest.raises(ValueError, match=r"^threads must be >= 1$"):
        skeinlab.knot_size(None, threads=0)
    with pytest.raises(RuntimeError, match=r"^Invalid chain_type"):
        skeinlab.knot_size(torus_knot(2, 3), "loop")
