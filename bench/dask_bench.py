"""Frames per second through skeinlab.dask on a LocalCluster against the local call.

usage: python3 bench/dask_bench.py [FILES] [FRAMES]   (after pip install .[dask])

Writes FILES (default 8) XYZ files of FRAMES (default 4,000) 100-bead rings,
then types them (1) locally, file by file with knot_type on all processors, and
(2) through skeinlab.dask.knot_type on a LocalCluster of two worker processes
with one thread each (two cores here), for several chunk sizes; and measures
the overhead per task with files of one frame. Wall-clock seconds, best of two.
"""
import os
import sys
import tempfile
import time

import numpy as np

import skeinlab


def best(fn, runs=2):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def main(argv):
    import dask
    import distributed

    from skeinlab import dask as skdask

    count = int(argv[0]) if argv else 8
    frames = int(argv[1]) if len(argv) > 1 else 4000
    with tempfile.TemporaryDirectory() as tmp:
        rng = np.random.default_rng(1)
        t = np.linspace(0, 2 * np.pi, 100, endpoint=False)
        ring = np.stack([np.cos(t), np.sin(t), 0.3 * np.sin(2 * t)], axis=1)
        paths = []
        for k in range(count):
            path = os.path.join(tmp, f"run{k}.xyz")
            skeinlab.write_xyz(path, ring + rng.normal(scale=0.05, size=(frames, 100, 3)))
            paths.append(path)
        tiny = []
        for k in range(200):
            path = os.path.join(tmp, f"one{k}.xyz")
            skeinlab.write_xyz(path, ring[None])
            tiny.append(path)
        total = count * frames
        local = best(lambda: [skeinlab.knot_type(p) for p in paths])
        print(f"{count} files x {frames} frames of 100 points ({total} frames)")
        print(f"local, knot_type per file, all processors: {local:6.2f} s  {total / local:9.0f} frames/s")
        with dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"}), \
                distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
                distributed.Client(cluster):
            skdask.knot_type(paths[:1]).compute()  # warm the workers
            for chunk in (100, 1000, frames):
                seconds = best(lambda: skdask.knot_type(paths, chunk=chunk).compute())
                print(f"dask, 2 workers x 1 thread, chunk {chunk:5d}:   {seconds:6.2f} s  {total / seconds:9.0f} "
                      f"frames/s  ({local / seconds:.2f}x local)")
            per_task = best(lambda: skdask.knot_type(tiny).compute()) / len(tiny)
            print(f"overhead per task (files of one frame): {1e3 * per_task:.1f} ms")
            print(f"a file's typing takes {1e3 * local / count:.0f} ms locally: tasks of a few hundred frames or more "
                  f"make the overhead negligible")


if __name__ == "__main__":
    main(sys.argv[1:])
