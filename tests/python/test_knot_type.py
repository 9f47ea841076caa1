import threading
import time

import numpy as np
import pytest

import skeinlab
from conftest import figure_eight, torus_knot, twisted_circle, with_tails


@pytest.mark.parametrize(
    "chain, name",
    [
        (twisted_circle(), "1"),
        (torus_knot(2, 3), "3_1"),
        (figure_eight(), "4_1"),
        (torus_knot(2, 5, 200), "5_1"),
        (torus_knot(2, 7, 300), "7_1"),
        (torus_knot(3, 4, 300), "8_19"),
    ],
    ids=["unknot", "trefoil", "figure-eight", "5_1", "7_1", "8_19"],
)
def test_ring_knots_and_their_copies(chain, name):
    copies = [chain, chain[::-1], chain * [1, 1, -1], chain * 7.5 + [100, -3, 2]]
    assert skeinlab.knot_type(np.stack(copies)) == [name] * 4


def test_shapes_give_one_name_per_frame():
    knot = torus_knot(2, 3)
    assert skeinlab.knot_type(knot) == ["3_1"]
    assert skeinlab.knot_type(np.stack([knot] * 3)) == ["3_1"] * 3
    assert skeinlab.knot_type(np.zeros((0, 10, 3))) == []
    assert skeinlab.knot_type(np.zeros((2, 0, 3))) == ["1", "1"]


def test_open_chains():
    tied = with_tails(torus_knot(2, 3, 120))
    assert skeinlab.knot_type(tied, "open") == ["3_1"]
    helix = np.stack([np.cos(0.3 * np.arange(200)), np.sin(0.3 * np.arange(200)), 0.05 * np.arange(200)], 1)
    assert skeinlab.knot_type(input_data=helix, threads=2, chain_type="open") == ["1"]


def test_results_identical_for_any_thread_count():
    rng = np.random.default_rng(5)
    frames = np.stack([torus_knot(2, 3), figure_eight(150), twisted_circle(150)] * 5)
    frames = frames + rng.normal(scale=0.01, size=frames.shape)
    expected = skeinlab.knot_type(frames)
    assert expected[:3] == ["3_1", "4_1", "1"]
    for threads in (1, 8, True, 100000):
        assert skeinlab.knot_type(frames, threads=threads) == expected
    assert skeinlab.knot_type(frames, "open") == skeinlab.knot_type(frames, "open", 3)


def test_argument_checks_in_order():
    with pytest.raises(ValueError, match=r"^threads must be >= 1$"):
        skeinlab.knot_type("not an array or file", "bogus", 0)
    with pytest.raises(OverflowError):
        skeinlab.knot_type(torus_knot(2, 3), threads=-1)
    with pytest.raises(OverflowError):
        skeinlab.knot_type(torus_knot(2, 3), threads=2**64)
    with pytest.raises(RuntimeError, match="^Expected input to be XYZ filename"):
        skeinlab.knot_type([[0.0, 0.0, 0.0]], chain_type="bogus")
    with pytest.raises(RuntimeError, match=r"^Invalid chain_type\. Expected 'ring' or 'open'\.$"):
        skeinlab.knot_type(torus_knot(2, 3), chain_type="Ring")


def test_reads_xyz_paths(tmp_path):
    path = str(tmp_path / "t.xyz")
    skeinlab.write_xyz(path, np.stack([torus_knot(2, 3), twisted_circle(150)]))
    assert skeinlab.knot_type(path) == ["3_1", "1"]
    with pytest.raises(FileNotFoundError, match="^Cannot open file: "):
        skeinlab.knot_type(str(tmp_path / "missing.xyz"))


def test_nonfinite_and_degenerate_frames_do_not_crash():
    bad = torus_knot(2, 3)
    bad[5] = np.nan
    bad[9] = np.inf
    frames = np.stack([bad, np.full((150, 3), np.nan), np.zeros((150, 3))])
    for chain_type in ("ring", "open"):
        names = skeinlab.knot_type(frames, chain_type)
        assert len(names) == 3 and names[2] == "1"


def test_caller_array_is_never_written():
    frames = np.stack([torus_knot(2, 3)] * 2)
    frames.flags.writeable = False
    before = frames.copy()
    skeinlab.knot_type(frames)
    np.testing.assert_array_equal(frames, before)


def test_concurrent_python_threads():
    frames = np.stack([torus_knot(2, 3), figure_eight(150)] * 4)
    expected = skeinlab.knot_type(frames)
    results = [None] * 6

    def work(i):
        results[i] = skeinlab.knot_type(frames, threads=None if i % 2 else 2)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * 6


def test_interpreter_lock_is_released():
    # Long random walks: KMT keeps hundreds of points, so typing takes a while.
    frames = np.cumsum(np.random.default_rng(0).normal(size=(4, 12000, 3)), axis=1)
    ticks = []
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(time.perf_counter())
            time.sleep(0.001)

    t = threading.Thread(target=ticker)
    t.start()
    time.sleep(0.01)
    before = len(ticks)
    start = time.perf_counter()
    skeinlab.knot_type(frames, threads=1)
    elapsed = time.perf_counter() - start
    during = len(ticks) - before
    stop.set()
    t.join()
    assert elapsed > 0.05, "the workload is too small to observe"
    assert during >= 3, (elapsed, during)


def lcg_walk(n, seed):
    """A random walk from a fixed linear congruential generator (portable across NumPy versions)."""
    state, values = seed, []
    for _ in range(3 * n):
        state = (6364136223846793005 * state + 1442695040888963407) % 2**64
        values.append((state >> 11) / 2**53 - 0.5)
    return np.cumsum(np.array(values).reshape(n, 3), axis=0)


def parse_polynomial_text(text):
    """Coefficients, lowest exponent first, of a polynomial text such as 2-5*t+2*t^2."""
    import re
    coeffs = {}
    for sign, coeff, t, exp in re.findall(r"([+-]?)(\d*)\*?(t?)(?:\^(\d+))?", text):
        if not coeff and not t:
            continue
        value = int(coeff) if coeff else 1
        power = (int(exp) if exp else 1) if t else 0
        coeffs[power] = -value if sign == "-" else value
    return [coeffs.get(i, 0) for i in range(max(coeffs) + 1)]


def test_diagrams_beyond_64_bit_coefficients_get_their_exact_polynomial():
    # Hundreds of crossings survive KMT here, and elimination in 64-bit
    # integers would overflow. The answer is a knot polynomial: symmetric, with
    # value +-1 at t = 1, the same in every projection and on every thread count.
    walk = lcg_walk(10000, 4)
    [text] = skeinlab.knot_type(walk, threads=2)
    coeffs = parse_polynomial_text(text)
    assert max(abs(c) for c in coeffs) > 2**63
    assert coeffs == coeffs[::-1]
    assert abs(sum(coeffs)) == 1
    rng = np.random.default_rng(3)
    for _ in range(2):
        q, _ = np.linalg.qr(rng.normal(size=(3, 3)))
        assert skeinlab.knot_type(walk @ q.T, threads=1) == [text]
    assert skeinlab.knot_type(torus_knot(2, 3)) == ["3_1"]


def test_a_ring_whose_strands_meet_kmt_triangles_exactly_has_one_type_in_every_position():
    # A closed braid's strands pass exactly through edges of the triangles KMT reduction removes (its
    # swaps are mirror images of each other across planes); removing such an apex passed the chain through
    # itself, and its rotations were typed as eleven different knots (the unrotated ring as the unknot).
    import sys
    from pathlib import Path
    sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
    from check_link_placements import braid_closure

    [ring] = braid_closure(4, [1, 2, 3, 2, 1, 2, 1, 2, 1, 3, 1, 3, 2, 2, 1])
    turns = [np.linalg.qr(np.random.default_rng(seed).normal(size=(3, 3)))[0] for seed in range(12)]
    turns = [q * np.sign(np.linalg.det(q)) for q in turns]
    frames = np.stack([ring] + [ring @ q.T for q in turns])
    assert set(skeinlab.knot_type(frames)) == {"1-t+t^4-t^6+t^8-t^11+t^12"}  # 15n_41185, beyond the table
    assert skeinlab.kmt(ring).shape[0] < len(ring)
