"""Naming knots with knot_identify on the rings polymer scientists make.

usage: python3 bench/identify_bench.py [--seed S] [--no-globule] [--no-torus]

300 seeded random rings (default seed 2026): 150 free random walks of 600 unit
steps, and 150 confined walks of 120 steps, each step (a unit vector in a random
direction) added to 0.8 times the previous position. Each ring is typed with
knot_type and identified with knot_identify, one thread, and the answers are
counted: by knot_type, table names against polynomial texts; by knot_identify,
rings named fully (every summand in the table), named in part (some summand
"?N"), and not at all. Prints the counts, the times of both calls, the largest
unknown summands, and a few names of each kind. Then a compact globule of 1,000
beads (a confined walk, each unit step added to 0.9 times the previous position)
is identified on one thread: its name, the time and the process's peak memory.
Last, large prime diagrams: (p, q) torus knots of 41 to 104 crossings (outside
the table) through knot_invariants, one thread: the crossings, whether their
HOMFLY-PT polynomial was computed, and the time.
"""
import collections
import re
import resource
import sys
import time

import numpy as np

import skeinlab


def unit_steps(rng, count, n):
    steps = rng.normal(size=(count, n, 3))
    return steps / np.linalg.norm(steps, axis=2, keepdims=True)


def rings(seed):
    rng = np.random.default_rng(seed)
    free = np.cumsum(unit_steps(rng, 150, 600), axis=1)
    confined = np.zeros((150, 120, 3))
    steps = unit_steps(rng, 150, 120)
    for i in range(1, 120):
        confined[:, i] = 0.8 * confined[:, i - 1] + steps[:, i]
    return [("free walks of 600 steps", free), ("confined walks of 120 steps", confined)]


def timed(function, frames):
    start = time.perf_counter()
    result = function(frames, threads=1)
    return result, time.perf_counter() - start


def main(argv):
    seed = int(argv[argv.index("--seed") + 1]) if "--seed" in argv else 2026
    totals = collections.Counter()
    for label, frames in rings(seed):
        types, type_seconds = timed(skeinlab.knot_type, frames)
        names, identify_seconds = timed(skeinlab.knot_identify, frames)
        tabled = sum("_" in t or t == "1" for t in types)
        full = sum("?" not in n for n in names)
        partly = sum("?" in n and bool(re.search(r"\d_", n)) for n in names)
        unknown = [int(u) for n in names for u in re.findall(r"\?(\d+)", n)]
        counts = collections.Counter({"rings": len(frames), "knot_type named": tabled, "identified fully": full,
                                      "identified in part": partly, "unknown summands": len(unknown)})
        totals.update(counts)
        totals["knot_type s"] += type_seconds
        totals["knot_identify s"] += identify_seconds
        print(f"{label}: {len(frames)} rings")
        print(f"  knot_type:     {tabled} named from the table, {len(frames) - tabled} polynomial texts, "
              f"{type_seconds:.2f} s")
        print(f"  knot_identify: {full} named fully, {partly} in part, "
              f"{len(frames) - full - partly} not at all, {identify_seconds:.2f} s "
              f"({identify_seconds / type_seconds:.1f} times knot_type)")
        if unknown:
            print(f"  unknown summands: {len(unknown)}, crossings {min(unknown)} to {max(unknown)}")
        examples = [n for n in names if "#" in n][:3] + [n for n in names if "?" in n][:2]
        print("  e.g. " + ", ".join(examples))
    print(f"all: {totals['rings']} rings; knot_type names {totals['knot_type named']}; knot_identify names "
          f"{totals['identified fully']} fully and {totals['identified in part']} in part; "
          f"{totals['knot_type s']:.2f} s against {totals['knot_identify s']:.2f} s "
          f"({totals['knot_identify s'] / totals['knot_type s']:.1f} times)")
    if "--no-globule" not in argv:
        rng = np.random.default_rng(seed)
        steps = unit_steps(rng, 1, 1000)[0]
        globule = np.zeros((1000, 3))
        for i in range(1, 1000):
            globule[i] = 0.9 * globule[i - 1] + steps[i]
        names, seconds = timed(skeinlab.knot_identify, globule)
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(f"globule of 1,000 beads: {names[0]} in {seconds:.2f} s, peak memory {peak:.0f} MB")
    if "--no-torus" not in argv:
        for p, q in [(2, 41), (2, 61), (3, 31), (4, 27), (3, 52), (5, 21)]:
            t = 2 * np.pi * np.arange(30 * p * q) / (30 * p * q) + 0.0123
            r = 3 + np.cos(q * t)
            ring = np.stack([r * np.cos(p * t), r * np.sin(p * t), np.sin(q * t)], axis=1)
            [inv], seconds = timed(skeinlab.knot_invariants, ring)
            state = "computed" if inv["homfly"] else "not computed"
            print(f"torus knot ({p}, {q}): {inv['crossings']} crossings, HOMFLY-PT {state}, {seconds:.3f} s")


if __name__ == "__main__":
    main(sys.argv[1:])
