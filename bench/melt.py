"""Ring melts for the benchmarks: rings of random unit steps at melt density in a periodic cube.

Each ring is a closed random walk (a random walk of unit steps with its drift removed, so that it returns
to its start) placed at a random position in a cube whose side gives the requested bead density; the
frames of a trajectory move every bead by a small random step. `lammps_frame_text` writes one frame as a
LAMMPS dump (id mol type x y z ix iy iz, positions wrapped into the box).
"""
import numpy as np


def ring_melt(rings=1000, beads=100, density=0.85, seed=2026):
    """Positions (rings * beads, 3), molecule ids and the side of the cube."""
    rng = np.random.default_rng(seed)
    steps = rng.normal(size=(rings, beads, 3))
    steps /= np.linalg.norm(steps, axis=2, keepdims=True)
    walks = np.cumsum(steps, axis=1)
    # Remove the drift: the walk ends where it started.
    walks -= np.arange(1, beads + 1)[None, :, None] / beads * walks[:, -1:, :]
    side = (rings * beads / density) ** (1.0 / 3.0)
    walks += rng.uniform(0.0, side, size=(rings, 1, 3))
    return walks.reshape(-1, 3), np.repeat(np.arange(1, rings + 1), beads), side


def lammps_frame_text(points, molecules, side, timestep):
    """One frame of a LAMMPS dump, the points wrapped into the cube with their image flags."""
    images = np.floor(points / side).astype(np.int64)
    wrapped = points - images * side
    n = len(points)
    table = np.empty(n, dtype=[("id", "i8"), ("mol", "i8"), ("type", "i8"), ("x", "f8"), ("y", "f8"),
                               ("z", "f8"), ("ix", "i8"), ("iy", "i8"), ("iz", "i8")])
    table["id"], table["mol"], table["type"] = np.arange(1, n + 1), molecules, 1
    table["x"], table["y"], table["z"] = wrapped.T
    table["ix"], table["iy"], table["iz"] = images.T
    header = (f"ITEM: TIMESTEP\n{timestep}\nITEM: NUMBER OF ATOMS\n{n}\nITEM: BOX BOUNDS pp pp pp\n"
              f"0 {side:.6f}\n0 {side:.6f}\n0 {side:.6f}\nITEM: ATOMS id mol type x y z ix iy iz\n")
    lines = [f"{a} {b} {c} {x:.5f} {y:.5f} {z:.5f} {i} {j} {k}" for a, b, c, x, y, z, i, j, k in table.tolist()]
    return header + "\n".join(lines) + "\n"
