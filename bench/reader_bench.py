"""Reading speed of read_xyz and iter_xyz on a generated XYZ file.

usage: python3 bench/reader_bench.py [SIZE_MB]

Writes a trajectory of about SIZE_MB megabytes (default 300) of 1,000-bead
frames with write_xyz into a temporary directory, then reads it with read_xyz
and with iter_xyz (default chunk), each the shortest of three runs after one
run that warms the page cache, and reports megabytes per second (file bytes
over wall-clock seconds, one thread). A build without iter_xyz (an older one,
for comparison) reports read_xyz only.
"""
import os
import sys
import tempfile
import time

import numpy as np

import skeinlab


def best_of(fn, runs=3):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def main(argv):
    sizes = [float(a) for a in argv if not a.startswith("--")]
    target = (sizes[0] if sizes else 300.0) * 1e6
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "trajectory.xyz")
        rng = np.random.default_rng(1)
        block = np.cumsum(rng.normal(size=(100, 1000, 3)), axis=1)
        while not os.path.exists(path) or os.path.getsize(path) < target:
            skeinlab.write_xyz(path, block, append=os.path.exists(path))
        size = os.path.getsize(path)
        frames = skeinlab.read_xyz(path).shape[0]  # also warms the page cache
        print(f"file: {size / 1e6:.0f} MB, {frames} frames of 1,000 points")
        t_read = best_of(lambda: skeinlab.read_xyz(path))
        print(f"read_xyz          {t_read:6.2f} s  {size / t_read / 1e6:7.1f} MB/s")
        if hasattr(skeinlab, "iter_xyz"):
            t_iter = best_of(lambda: sum(chunk.shape[0] for chunk in skeinlab.iter_xyz(path)))
            print(f"iter_xyz          {t_iter:6.2f} s  {size / t_iter / 1e6:7.1f} MB/s")


if __name__ == "__main__":
    main(sys.argv[1:])
