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

With --snappy PYTHON (or SKEINLAB_SNAPPY_PYTHON set), a Python that has SnapPy,
the snappy-15-knots census and database-knotinfo (for KnotInfo's names), in an environment of its own (SnapPy's module
is named like python-snappy, which dask imports), judges the names: the PD code
of every ring named as a prime knot (skeinlab.pd_code) goes to SnapPy, whose
census identifies the knot's exterior by its isometry signature (hyperbolic
knots up to 15 crossings); a name none of whose alternatives is SnapPy's knot is
counted as contradicted (unsigned). Without it the judge is skipped with a note.
"""
import collections
import json
import os
import re
import resource
import subprocess
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


JUDGE = """
import ast, json, sys, snappy
from database_knotinfo import link_list
# SnapPy's census names knots up to 10 crossings as Rolfsen's table did (10_83 and 10_86 swapped, the Perko
# pair twice); KnotInfo, whose names skeinlab uses, corrected them: SnapPy's names are mapped to KnotInfo's
# by identifying KnotInfo's own diagrams.
rename = {}
for k in link_list():
    if k.get("crossing_number") in [str(c) for c in range(3, 11)] and k.get("pd_notation"):
        code = [tuple(c) for c in ast.literal_eval(k["pd_notation"])]
        for m in snappy.Link(code).exterior().identify():
            rename[m.name().split("(")[0]] = k["name"]
out = []
for code in json.load(sys.stdin):
    try:
        found = snappy.Link([tuple(c) for c in code]).exterior().identify()
    except Exception:
        found = []
    out.append([rename.get(m.name().split("(")[0], m.name().split("(")[0]) for m in found])
print(json.dumps(out))
"""


def census_name(name):
    """A knot name as SnapPy's census writes it: 5_2 (up to 10 crossings), K13n1609 beyond."""
    m = re.fullmatch(r"(\d+)([an])_(\d+)", name)
    return f"K{m.group(1)}{m.group(2)}{m.group(3)}" if m else name


def judged(frames, names, python):
    """(judged, contradicted, examples) for the rings named as one prime knot, by SnapPy's census."""
    prime = [k for k, n in enumerate(names) if n != "1" and "#" not in n and "?" not in n]
    codes = skeinlab.pd_code(frames[prime], threads=1) if prime else []
    run = subprocess.run([python, "-c", JUDGE], input=json.dumps(codes), capture_output=True, text=True,
                         check=True)
    verdicts = json.loads(run.stdout)
    count = wrong = 0
    examples = []
    for k, found in zip(prime, verdicts):
        knots = {census_name(f) for f in found if re.fullmatch(r"K\d+[an]\d+|\d+[an]?_\d+", f)}
        if not knots:
            continue  # not hyperbolic (torus knots), or not in SnapPy's census
        count += 1
        ours = {census_name(c.lstrip("+-")) for c in names[k].strip("()").split("|")}
        if not ours & knots:
            wrong += 1
            examples.append(f"ring {k}: {names[k]} against {sorted(knots)}")
    return count, wrong, examples


def timed(function, frames):
    start = time.perf_counter()
    result = function(frames, threads=1)
    return result, time.perf_counter() - start


def main(argv):
    seed = int(argv[argv.index("--seed") + 1]) if "--seed" in argv else 2026
    python = argv[argv.index("--snappy") + 1] if "--snappy" in argv else os.environ.get("SKEINLAB_SNAPPY_PYTHON")
    if python and subprocess.run([python, "-c", "import snappy"], capture_output=True).returncode != 0:
        print(f"note: {python} cannot import snappy; the SnapPy judge is skipped")
        python = None
    elif not python:
        print("note: no Python with SnapPy given (--snappy PYTHON); the SnapPy judge is skipped")
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
        if python:
            count, wrong, contradicted = judged(frames, names, python)
            totals["judged"] += count
            totals["contradicted"] += wrong
            print(f"  SnapPy's census: {count} prime names judged, {wrong} contradicted")
            for line in contradicted[:5]:
                print("    " + line)
    print(f"all: {totals['rings']} rings; knot_type names {totals['knot_type named']}; knot_identify names "
          f"{totals['identified fully']} fully and {totals['identified in part']} in part; "
          f"{totals['knot_type s']:.2f} s against {totals['knot_identify s']:.2f} s "
          f"({totals['knot_identify s'] / totals['knot_type s']:.1f} times)")
    if python:
        print(f"SnapPy's census judged {totals['judged']} prime names and contradicted {totals['contradicted']}")
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
