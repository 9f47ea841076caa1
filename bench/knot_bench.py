"""Frames per second of knot_type, and the cost of knot_size against knot_type.

usage: python3 bench/knot_bench.py [--quick]

Chains are trefoils sampled with 100, 1,000 and 10,000 points, with a little
noise so that no two frames are alike; rings as they are, open chains with
straight tails of a fifth of the points on each side. Times are wall-clock
seconds on this machine; run with nothing else busy.
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


def timed(fn, *args, **kwargs):
    start = time.perf_counter()
    result = fn(*args, **kwargs)
    return time.perf_counter() - start, result


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
            ts, (size_names, cores) = timed(skeinlab.knot_size, size_frames, chain_type, threads=1)
            tt, _ = timed(skeinlab.knot_type, size_frames, chain_type, threads=1)
            per_type = 1000 * tt / len(size_frames)
            per_size = 1000 * ts / len(size_frames)
            print(f"{chain_type:6s} {n:7d} {frames_count:7d} {frames_count / t1:14.1f} {frames_count / tall:10.1f}"
                  f" {per_type:14.2f} {per_size:14.2f} {per_size / per_type:10.1f}")


if __name__ == "__main__":
    main("--quick" in sys.argv[1:])
