"""Frames per second of knot_type, and the cost of knot_size against knot_type.

usage: python3 bench/knot_bench.py [--quick] [--no-slow]

Chains are trefoils sampled with 100, 1,000 and 10,000 points, with a little
noise so that no two frames are alike; rings as they are, open chains with
straight tails of a fifth of the points on each side. Then one 10,000-point
ring alone, knot_size on one thread against all processors (the search of a
single frame spread over the workers), and a 10,000-point trefoil ring with
three tightly twisted hairpins that KMT cannot undo in one go (it leaves
about 1,650 points and needs dozens of passes), knot_size on one thread
(skipped with --quick or --no-slow). Times are wall-clock seconds on this
machine; run with nothing else busy.
"""
import os
import sys
import time

import numpy as np

import skeinlab


def trefoil(n, rng):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False) + 0.0123
    r = 3.0 + np.cos(3 * t)
    pts = np.stack([r * np.cos(2 * t), r * np.sin(2 * t), np.sin(3 * t)], axis=1)
    return pts + rng.normal(scale=1e-3, size=pts.shape)


def open_trefoil(n, rng):
    tail = n // 5
    knot = trefoil(n - 2 * tail, rng)
    steps = np.linspace(10.0, 10.0 / tail, tail)
    head = knot[0] + np.outer(steps, [0, 0, 1.0])
    end = knot[-1] - np.outer(steps[::-1], [0, 0, 1.0])
    return np.vstack([head, knot, end])


def twisted_hairpins(n_knot=8800, turns=50, per_turn=4, radius=0.12, length=3.0):
    """A trefoil ring with a twisted hairpin (two strands wound around each other)
    leaving each of its three outermost points: still a trefoil, since a hairpin
    untwists, but KMT removes a hairpin's points only one by one from its tip."""
    t = np.linspace(0.0, 2.0 * np.pi, n_knot, endpoint=False)
    r = 3.0 + np.cos(3 * t)
    knot = np.stack([r * np.cos(2 * t), r * np.sin(2 * t), np.sin(3 * t)], axis=1)
    pieces, cuts = [], [0, n_knot // 3, 2 * n_knot // 3, n_knot]
    for i in range(3):
        base = knot[cuts[i]]
        out = np.array([base[0], base[1], 0.0]) / np.hypot(base[0], base[1])
        side, up = np.cross([0.0, 0.0, 1.0], out), np.array([0.0, 0.0, 1.0])
        angle = 2 * np.pi * np.arange(turns * per_turn) / per_turn + 0.05
        axis = base + np.outer(np.linspace(0.05, length, turns * per_turn), out)
        wind = radius * (np.outer(np.cos(angle), side) + np.outer(np.sin(angle), up))
        pieces += [axis + wind, (axis - wind)[::-1], knot[cuts[i] + 1:cuts[i + 1]]]
    return np.vstack(pieces)


def timed(fn, *args, repeats=1, **kwargs):
    """The shortest of `repeats` runs, and the result."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        result = fn(*args, **kwargs)
        best = min(best, time.perf_counter() - start)
    return best, result


def main(quick):
    rng = np.random.default_rng(7)
    cpus = len(os.sched_getaffinity(0))
    sizes = (100, 1000) if quick else (100, 1000, 10000)
    print(f"processors available: {cpus}")
    print(f"{'chain':6s} {'points':>7s} {'frames':>7s} {'fps 1 thread':>14s} {'fps all':>10s}"
          f" {'type ms/frame':>14s} {'size ms/frame':>14s} {'size/type':>10s}")
    for chain_type, make in (("ring", trefoil), ("open", open_trefoil)):
        for n in sizes:
            frames_count = {100: 64, 1000: 16, 10000: 4}[n]
            frames = np.stack([make(n, rng) for _ in range(frames_count)])
            t1, names = timed(skeinlab.knot_type, frames, chain_type, threads=1)
            tall, names_all = timed(skeinlab.knot_type, frames, chain_type)
            assert names == names_all and set(names) == {"3_1"}, set(names)
            size_frames = frames[: max(1, frames_count // 8)]
            repeats = 3 if n <= 1000 else 1  # small cases: the shortest of three runs
            ts, (size_names, cores) = timed(skeinlab.knot_size, size_frames, chain_type, threads=1, repeats=repeats)
            tt, _ = timed(skeinlab.knot_type, size_frames, chain_type, threads=1, repeats=repeats)
            per_type = 1000 * tt / len(size_frames)
            per_size = 1000 * ts / len(size_frames)
            print(f"{chain_type:6s} {n:7d} {frames_count:7d} {frames_count / t1:14.1f} {frames_count / tall:10.1f}"
                  f" {per_type:14.2f} {per_size:14.2f} {per_size / per_type:10.1f}")


def single_frames(slow):
    rng = np.random.default_rng(11)
    ring = trefoil(10000, rng)
    t1, one = timed(skeinlab.knot_size, ring, threads=1)
    tall, every = timed(skeinlab.knot_size, ring)
    assert one == every
    print(f"one 10,000-point ring: knot_size {t1:.2f} s on one thread, {tall:.2f} s on all processors"
          f" ({t1 / tall:.2f}x)")
    if slow:
        hairpins = twisted_hairpins()
        seconds, (names, cores) = timed(skeinlab.knot_size, hairpins, threads=1)
        print(f"trefoil ring with twisted hairpins ({len(hairpins)} points, {len(skeinlab.kmt(hairpins))} after KMT):"
              f" knot_size {seconds:.1f} s on one thread -> {names[0]} {cores[0]}")


if __name__ == "__main__":
    quick = "--quick" in sys.argv[1:]
    main(quick)
    single_frames(not quick and "--no-slow" not in sys.argv[1:])
