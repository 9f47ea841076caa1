"""Reading LAMMPS dumps and typing every ring of a melt from the command line.

usage: python3 bench/lammps_bench.py [MEGABYTES] [--keep PATH]

Writes a dump of about MEGABYTES (default 1,000) of a ring melt (bench/melt.py: 1,000 rings of 100 beads
per frame at melt density, 8 distinct frames repeated with new timesteps; id mol type x y z ix iy iz) in
a child process (so that this one stays small: a child's peak memory counts what it shares with its
parent when it starts), then measures:
- iter_lammps over the whole file (parse, cut into rings, unwrap by the image flags): MB/s, one core;
- read_xyz of the same frames written as XYZ (up to 300 MB), the reference reader: MB/s;
- `python -m skeinlab type FILE -q -f csv -o /dev/null` on all cores: wall time, rings per second and
  the child's peak resident memory.
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skeinlab  # noqa: E402
from cli_memory import peak_rss_mb as child  # noqa: E402
from melt import lammps_frame_text, ring_melt  # noqa: E402


def distinct_frames():
    points, molecules, side = ring_melt()
    rng = np.random.default_rng(7)
    return [points + rng.normal(scale=0.05, size=points.shape) for _ in range(8)], molecules, side


def write_dump(path, megabytes):
    """The dump and the XYZ file of the same frames (at most 300 MB), written by a child process."""
    distinct, molecules, side = distinct_frames()
    texts = [lammps_frame_text(p, molecules, side, 0) for p in distinct]
    body = [t[t.index("ITEM: NUMBER OF ATOMS"):] for t in texts]
    frames = 0
    with open(path, "w") as f:
        while f.tell() < megabytes * 1e6:
            f.write(f"ITEM: TIMESTEP\n{1000 * frames}\n" + body[frames % len(body)])
            frames += 1
    written = 0
    xyz = path + ".xyz"
    while written * 100_000 * 35 < min(os.path.getsize(path) / 1e6, 300) * 1e6:
        skeinlab.write_xyz(xyz, distinct[written % len(distinct)][None], append=written > 0)
        written += 1


def main(argv):
    if argv[:1] == ["--write"]:
        return write_dump(argv[1], float(argv[2]))
    megabytes = float(argv[0]) if argv and not argv[0].startswith("--") else 1000.0
    keep = argv[argv.index("--keep") + 1] if "--keep" in argv else None
    with tempfile.TemporaryDirectory() as tmp:
        path = keep or os.path.join(tmp, "melt.lammpstrj")
        subprocess.run([sys.executable, os.path.abspath(__file__), "--write", path, str(megabytes)], check=True)
        size = os.path.getsize(path) / 1e6
        frames = sum(1 for line in open(path) if line.startswith("ITEM: TIMESTEP"))
        rings = frames * 1000
        print(f"dump: {size:.0f} MB, {frames} frames of 1,000 rings of 100 beads ({rings} rings)")

        # First, while this process is small.
        seconds, rss = child([sys.executable, "-m", "skeinlab", "type", path, "-q", "-f", "csv", "-o", os.devnull])
        print(f"skeinlab type (all cores): {seconds:6.1f} s  {rings / seconds:8.0f} rings/s  peak RSS {rss:6.1f} MB")

        start = time.perf_counter()
        read = sum(len(frame.chains) for frame in skeinlab.iter_lammps(path))
        seconds = time.perf_counter() - start
        assert read == rings
        print(f"iter_lammps (one core):  {seconds:6.2f} s  {size / seconds:6.1f} MB/s")

        xyz = path + ".xyz"
        xyz_size = os.path.getsize(xyz) / 1e6
        start = time.perf_counter()
        skeinlab.read_xyz(xyz)
        seconds = time.perf_counter() - start
        print(f"read_xyz (reference):    {seconds:6.2f} s  {xyz_size / seconds:6.1f} MB/s ({xyz_size:.0f} MB)")
        os.remove(xyz)



if __name__ == "__main__":
    main(sys.argv[1:])
