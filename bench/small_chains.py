"""Typing time of the small chains most calls see: proteins and short rings.

usage: python3 bench/small_chains.py [DATA_DIR] [--repeat N]

Types, on one thread, the alpha-carbon traces of the proteins in DATA_DIR/proteins
(open chains; default DATA_DIR ../shared/data), the rings of DATA_DIR/rings, and
seeded random-walk rings of 100 and 1,000 beads, each N times (default 20), and
prints milliseconds per frame for each group. Run it on two builds to compare them.
"""
import glob
import os
import sys
import time

import numpy as np

import skeinlab


def walks(n, count, seed):
    rng = np.random.default_rng(seed)
    return np.cumsum(rng.normal(size=(count, n, 3)), axis=1)


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    repeat = int(argv[argv.index("--repeat") + 1]) if "--repeat" in argv else 20
    data = args[0] if args and not args[0].isdigit() else os.path.join("..", "shared", "data")
    groups = []
    proteins = sorted(glob.glob(os.path.join(data, "proteins", "*.pdb")))
    if proteins:
        traces = []
        for path in proteins:
            ca = skeinlab.read_pdb(path, "ca")[0]
            traces.append(ca[~np.isnan(ca[:, 0])])
        groups.append(("proteins (open)", traces, "open"))
    for path in sorted(glob.glob(os.path.join(data, "rings", "*.xyz"))):
        groups.append((os.path.basename(path), list(skeinlab.read_xyz(path)), "ring"))
    groups.append(("walk rings 100", list(walks(100, 32, 1)), "ring"))
    groups.append(("walk rings 1000", list(walks(1000, 8, 2)), "ring"))
    print(f"{'chains':20s} {'frames':>7s} {'ms/frame':>10s}")
    for name, frames, chain_type in groups:
        start = time.perf_counter()
        for _ in range(repeat):
            for frame in frames:
                skeinlab.knot_type(frame, chain_type, threads=1)
        per = 1000 * (time.perf_counter() - start) / (repeat * len(frames))
        print(f"{name:20s} {len(frames):7d} {per:10.3f}")


if __name__ == "__main__":
    main(sys.argv[1:])
