"""Simulation files through the command line: time and peak memory of `skeinlab type` on

1. a 60,000-atom GROMACS system (a 2,000-residue alpha-carbon trace in 19,000 three-site waters, GRO + XTC,
   10 frames), on one thread;
2. `adk_oplsaa.xtc` with its `.tpr`, `--molecule 0 --open` (from the MD community's test data, the package
   MDAnalysisTests; skipped when it is not installed);
3. a LAMMPS dump of 1,000 rings of 100 beads (5 frames) with its data file: rows per second.

Usage: python bench/md_files_bench.py [--skeinlab CMD ...] [--workdir DIR] [--threads N]
Each --skeinlab names a command (default: the `skeinlab` next to this Python); several are measured in
turn, case by case, so that two builds are compared in the same run. Needs MDAnalysis (skeinlab[md]).
"""
from __future__ import annotations

import argparse
import os
import shlex
import subprocess
import sys
import tempfile
import time
import warnings

import numpy as np


def measure(command: list[str]) -> tuple[float, float, int, str]:
    """Wall seconds, peak resident MB, exit status and the last line of stderr of a command."""
    started = time.perf_counter()
    with tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - started
        err.seek(0)
        lines = err.read().decode(errors="replace").strip().splitlines()
    process.returncode = os.waitstatus_to_exitcode(status)
    return seconds, usage.ru_maxrss / 1024.0, process.returncode, lines[-1][:110] if lines else ""


def knotted_trace(residues: int, rng: np.random.Generator) -> np.ndarray:
    """A trefoil with tails, resampled to steps of 3.8 A: a long alpha-carbon trace."""
    t = np.linspace(0.0, 2.0 * np.pi, 4000, endpoint=False)
    knot = np.stack([np.sin(t) + 2 * np.sin(2 * t), np.cos(t) - 2 * np.cos(2 * t), -np.sin(3 * t)], axis=1) * 40.0
    tail = np.linspace(0.0, 600.0, 2000)[:, None] * np.array([0.0, 0.0, 1.0])
    curve = np.concatenate([knot[0] + tail[::-1], knot, knot[-1] - tail])
    steps = np.linalg.norm(np.diff(curve, axis=0), axis=1)
    arc = np.concatenate([[0.0], np.cumsum(steps)])
    at = np.linspace(0.0, arc[-1], residues)
    trace = np.stack([np.interp(at, arc, curve[:, k]) for k in range(3)], axis=1)
    return trace + rng.normal(0.0, 0.05, trace.shape)


def gromacs_system(directory: str) -> tuple[str, str]:
    """The 60,000-atom GRO + XTC pair."""
    import MDAnalysis as mda

    rng = np.random.default_rng(1)
    residues, waters = 2000, 19000
    trace = knotted_trace(residues, rng)
    lo = trace.min(axis=0) - 20.0
    size = trace.max(axis=0) + 20.0 - lo
    oxygens = lo + rng.uniform(0.0, 1.0, (waters, 3)) * size
    water = np.stack([oxygens, oxygens + [0.96, 0.0, 0.0], oxygens + [-0.24, 0.93, 0.0]], axis=1).reshape(-1, 3)
    n = residues + 3 * waters
    universe = mda.Universe.empty(n, n_residues=residues + waters,
                                  atom_resindex=np.concatenate([np.arange(residues),
                                                                np.repeat(np.arange(waters) + residues, 3)]),
                                  trajectory=True)
    universe.add_TopologyAttr("resname", ["ALA"] * residues + ["SOL"] * waters)
    universe.add_TopologyAttr("resid", np.arange(1, residues + waters + 1))
    universe.add_TopologyAttr("name", ["CA"] * residues + ["OW", "HW1", "HW2"] * waters)
    positions = np.concatenate([trace, water]) - lo
    universe.atoms.positions = positions
    universe.dimensions = [*size, 90.0, 90.0, 90.0]
    gro, xtc = os.path.join(directory, "system.gro"), os.path.join(directory, "system.xtc")
    universe.atoms.write(gro)
    with mda.Writer(xtc, n) as writer:
        for frame in range(10):
            universe.atoms.positions = positions + rng.normal(0.0, 0.1, positions.shape)
            writer.write(universe.atoms)
    return xtc, gro


def lammps_melt(directory: str, rings: int = 1000, beads: int = 100, frames: int = 5) -> tuple[str, str]:
    """A dump of `rings` rings of `beads` beads and its data file (atom style full, bonds round each ring)."""
    rng = np.random.default_rng(2)
    side = 10.0 * np.ceil(rings ** (1 / 3))
    t = np.linspace(0.0, 2.0 * np.pi, beads, endpoint=False)
    circle = np.stack([np.cos(t), np.sin(t), np.zeros(beads)], axis=1) * beads / (2 * np.pi)
    centres = rng.uniform(0.0, side, (rings, 3))
    n = rings * beads
    data = [f"melt of {rings} rings", "", f"{n} atoms", f"{n} bonds", "1 atom types", "1 bond types", "",
            f"0 {side} xlo xhi", f"0 {side} ylo yhi", f"0 {side} zlo zhi", "", "Masses", "", "1 1", "",
            "Atoms # full", ""]
    positions = np.concatenate([circle + rng.normal(0.0, 0.3, circle.shape) + c for c in centres])
    data += [f"{a + 1} {a // beads + 1} 1 0 {x:.4f} {y:.4f} {z:.4f}" for a, (x, y, z) in enumerate(positions % side)]
    data += ["", "Bonds", ""]
    data += [f"{a + 1} 1 {a + 1} {(a // beads) * beads + (a + 1) % beads + 1}" for a in range(n)]
    data_path = os.path.join(directory, "melt.data")
    with open(data_path, "w") as out:
        out.write("\n".join(data) + "\n")
    dump_path = os.path.join(directory, "melt.lammpstrj")
    with open(dump_path, "w") as out:
        for frame in range(frames):
            moved = (positions + rng.normal(0.0, 0.05, positions.shape)) % side
            out.write(f"ITEM: TIMESTEP\n{frame * 1000}\nITEM: NUMBER OF ATOMS\n{n}\nITEM: BOX BOUNDS pp pp pp\n"
                      f"0 {side}\n0 {side}\n0 {side}\nITEM: ATOMS id type x y z\n")
            out.write("\n".join(f"{a + 1} 1 {x:.4f} {y:.4f} {z:.4f}" for a, (x, y, z) in enumerate(moved)) + "\n")
    return dump_path, data_path


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--skeinlab", action="append", help="a skeinlab command to measure (repeatable)")
    parser.add_argument("--workdir", help="where to write the files (default: a temporary folder)")
    parser.add_argument("--threads", type=int, default=1)
    args = parser.parse_args()
    commands = [shlex.split(c) for c in args.skeinlab] if args.skeinlab else [
        [os.path.join(os.path.dirname(sys.executable), "skeinlab")]]
    warnings.simplefilter("ignore")
    directory = args.workdir or tempfile.mkdtemp(prefix="md-files-bench-")
    os.makedirs(directory, exist_ok=True)
    cases = []
    xtc, gro = gromacs_system(directory)
    cases.append(("60,000-atom GRO + XTC, 10 frames", ["type", xtc, "--topology", gro]))
    try:
        from MDAnalysisTests import datafiles  # type: ignore[import-untyped]
        cases.append(("adk_oplsaa.xtc + .tpr --molecule 0 --open",
                      ["type", datafiles.XTC, "--topology", datafiles.TPR, "--molecule", "0", "--open"]))
    except ImportError:
        print("note: MDAnalysisTests is not installed; the adk case is skipped")
    dump, data = lammps_melt(directory)
    cases.append(("LAMMPS dump + data, 1,000 rings of 100 beads, 5 frames", ["type", dump, "--topology", data]))
    print("| case | command | seconds | peak MB | rows/s | status |\n|---|---|---|---|---|---|")
    for name, arguments in cases:
        for command in commands:
            full = command + arguments + ["--threads", str(args.threads), "-q", "-f", "csv"]
            seconds, peak, status, last = measure(full)
            rows = ""
            if status == 0:
                out = subprocess.run(full, capture_output=True, text=True).stdout
                rows = f"{(out.count(chr(10)) - 1) / seconds:,.0f}"
            shown = last if status else ""
            print(f"| {name} | {' '.join(command)} | {seconds:.1f} | {peak:.0f} | {rows} | {status} {shown} |",
                  flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
