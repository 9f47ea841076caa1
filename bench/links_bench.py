"""Linking numbers and linked clusters of ring melts.

usage: python3 bench/links_bench.py

Ring melts from bench/melt.py (closed random walks of unit steps at bead density 0.85 in a cube):
1,000 rings of 100 beads and 10,000 rings of 50 beads. For each, on one thread: linking_pairs (the sparse
linking matrix), linking_matrix (dense; the first melt only) and linked_clusters, with the number of
linked pairs, the largest cluster and the process's peak memory.
"""
import os
import resource
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skeinlab  # noqa: E402
from melt import ring_melt  # noqa: E402


def timed(function, *args, **kwargs):
    start = time.perf_counter()
    result = function(*args, **kwargs)
    return result, time.perf_counter() - start


def main():
    for rings, beads, dense in [(1000, 100, True), (10000, 50, False)]:
        points, _, side = ring_melt(rings, beads)
        chains = points.reshape(rings, beads, 3)
        print(f"melt: {rings} rings of {beads} beads in a cube of side {side:.1f}")
        pairs, seconds = timed(skeinlab.linking_pairs, chains, threads=1)
        print(f"  linking_pairs (one thread):   {seconds:6.3f} s, {len(pairs.pairs)} linked pairs")
        if dense:
            _, seconds = timed(skeinlab.linking_matrix, chains, threads=1)
            print(f"  linking_matrix (one thread):  {seconds:6.3f} s")
        (clusters, _), seconds = timed(skeinlab.linked_clusters, chains, threads=1)
        largest = max((len(c) for c in clusters), default=0)
        print(f"  linked_clusters (one thread): {seconds:6.3f} s, {len(clusters)} clusters, the largest of {largest}")
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(f"  peak memory of the process so far: {peak:.0f} MB")


if __name__ == "__main__":
    main()
