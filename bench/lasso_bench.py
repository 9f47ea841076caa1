"""Lassos: time of skeinlab.lasso_type on one thread.

1. A trajectory of 1,000 frames of a 150-residue lasso (a loop of 60 points closed by its bridge, a C tail
   threading it once, each frame the chain jittered by 0.05), one bridge.
2. Every bridge of a 500-residue chain: five bridges closing loops of 30 to 120 points along a random walk
   of 3.8 A steps (folded by a seeded walk), one frame.

Usage: python3 bench/lasso_bench.py [--repeat R]   (the best of R runs, default 3)
"""
import sys
import time

import numpy as np

import skeinlab


def threaded_lasso(loop_points=60, tail_points=45):
    """A lasso of 2 * tail_points + loop_points points: a planar loop, an N tail far away, a C tail through it."""
    t = np.linspace(0.0, 2.0 * np.pi, loop_points, endpoint=False)
    radius = 3.8 * loop_points / (2 * np.pi)
    loop = np.stack([radius * np.cos(t), radius * np.sin(t), np.zeros(loop_points)], axis=1)
    n_tail = np.stack([np.linspace(radius + 60, radius + 8, tail_points), np.full(tail_points, -radius - 10),
                       np.linspace(20, 0, tail_points)], axis=1)
    half = tail_points // 2
    around = np.stack([np.linspace(radius + 8, 3, half), np.linspace(radius + 10, 1, half),
                       np.full(half, -20.0)], axis=1)
    through = np.stack([np.full(tail_points - half, 3.0), np.full(tail_points - half, 1.0),
                        np.linspace(-20, 20, tail_points - half)], axis=1)
    chain = np.vstack([n_tail, loop, around, through])
    return chain, (tail_points, tail_points + loop_points - 1)


def folded_chain(n=500, seed=4):
    rng = np.random.default_rng(seed)
    steps = rng.normal(size=(n, 3))
    steps *= 3.8 / np.linalg.norm(steps, axis=1, keepdims=True)
    chain = np.zeros((n, 3))
    for k in range(1, n):
        chain[k] = 0.9 * chain[k - 1] + steps[k]
    return chain


def best(function, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        result = function()
        times.append(time.perf_counter() - start)
    return min(times), result


def main(argv):
    repeat = int(argv[argv.index("--repeat") + 1]) if "--repeat" in argv else 3
    chain, bridge = threaded_lasso()
    rng = np.random.default_rng(1)
    frames = chain[None] + rng.normal(0.0, 0.05, (1000, *chain.shape))
    seconds, result = best(lambda: skeinlab.lasso_type(frames, [bridge], threads=1), repeat)
    names = {f[0].name for f in result}
    print(f"1,000 frames of a {len(chain)}-residue lasso, one bridge: {seconds:.2f} s on one thread ({names})")
    chain = folded_chain()
    bridges = [(20, 50), (100, 180), (200, 320), (330, 400), (410, 480)]
    seconds, result = best(lambda: skeinlab.lasso_type(chain, bridges, threads=1), repeat)
    print(f"every bridge of a 500-residue chain (5 bridges): {seconds * 1000:.1f} ms on one thread "
          f"({[l.name for l in result[0]]})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
