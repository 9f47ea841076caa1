"""Peak memory of `skeinlab type` streaming a long trajectory.

usage: python3 bench/cli_memory.py [FRAMES]

Writes FRAMES (default 100,000) frames of 100-bead rings to a temporary XYZ
file, then runs `python -m skeinlab type FILE -q -f csv -o /dev/null` with the
default chunk, and reports the child's peak resident memory next to that of a
process that only reads the whole file with read_xyz.
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

import skeinlab


def peak_rss_mb(args):
    """Wall seconds and peak resident megabytes of a child process."""
    start = time.perf_counter()
    pid = subprocess.Popen(args).pid
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        raise SystemExit(f"{args} failed with status {status}")
    return time.perf_counter() - start, usage.ru_maxrss / 1024


def main(argv):
    frames = int(argv[0]) if argv else 100_000
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "long.xyz")
        rng = np.random.default_rng(2)
        t = np.linspace(0, 2 * np.pi, 100, endpoint=False)
        ring = np.stack([np.cos(t), np.sin(t), 0.3 * np.sin(2 * t)], axis=1)
        block = ring + rng.normal(scale=0.05, size=(1000, 100, 3))
        for written in range(0, frames, len(block)):
            skeinlab.write_xyz(path, block[: frames - written], append=written > 0)
        size = os.path.getsize(path) / 1e6
        print(f"file: {frames} frames of 100 points, {size:.0f} MB")
        seconds, rss = peak_rss_mb([sys.executable, "-m", "skeinlab", "type", path, "-q", "-f", "csv",
                                    "-o", os.devnull])
        print(f"skeinlab type (chunk 1000): {seconds:6.1f} s, peak RSS {rss:7.1f} MB")
        seconds, rss = peak_rss_mb([sys.executable, "-c", f"import skeinlab; skeinlab.read_xyz({path!r})"])
        print(f"read_xyz of the whole file: {seconds:6.1f} s, peak RSS {rss:7.1f} MB")


if __name__ == "__main__":
    main(sys.argv[1:])
