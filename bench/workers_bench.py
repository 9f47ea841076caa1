"""One frame on one worker against several: knot_type's threads=1 and threads=N.

usage: python3 bench/workers_bench.py FRAME.xyz [--threads N] [--pairs P]

Each run is a fresh process (so that no run inherits another's warm caches or
pool) that reads the frame and times knot_type on it alone; the two settings
run in turn, one worker first, P pairs (3 by default), and the script prints
every pair, the medians and the median of the pairs' ratios. The frame is
any XYZ file: the compact rings of the figures are written by the C++
benchmark, `long_chain_bench --write confined 3000 lc3000.xyz` (built with
-DSKEINLAB_BUILD_BENCH=ON). Wall-clock seconds on this machine; run with
nothing else busy. The names of every run must agree.
"""
import argparse
import statistics
import subprocess
import sys

RUN = """
import sys, time, skeinlab
chain = skeinlab.read_xyz(sys.argv[1])
if isinstance(chain, list):
    chain = chain[0]
start = time.perf_counter()
name = skeinlab.knot_type(chain, threads=int(sys.argv[2]))
print(time.perf_counter() - start, name)
"""


def run(frame, threads):
    out = subprocess.run([sys.executable, "-c", RUN, frame, str(threads)], check=True, capture_output=True,
                         text=True).stdout.split(maxsplit=1)
    return float(out[0]), out[1].strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("frame")
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--pairs", type=int, default=3)
    args = parser.parse_args()
    ones, manys, names = [], [], set()
    for pair in range(args.pairs):
        one, name_one = run(args.frame, 1)
        many, name_many = run(args.frame, args.threads)
        names.update([name_one, name_many])
        ones.append(one)
        manys.append(many)
        print(f"pair {pair + 1}: threads=1 {one:.2f} s, threads={args.threads} {many:.2f} s, "
              f"{one / many:.3f}x", flush=True)
    ratios = [a / b for a, b in zip(ones, manys)]
    print(f"medians: threads=1 {statistics.median(ones):.2f} s, threads={args.threads} "
          f"{statistics.median(manys):.2f} s; ratio {statistics.median(ratios):.3f}x "
          f"({min(ratios):.3f} to {max(ratios):.3f})")
    if len(names) != 1:
        sys.exit(f"the runs disagree: {sorted(names)}")


if __name__ == "__main__":
    main()
