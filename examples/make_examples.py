"""Writes the example files that ship with skeinlab (run from the repository root).

examples/rings.xyz         ring polymers: trefoils, figure-eights, (2,5) torus knots and unknots
examples/open_chains.xyz   open chains: trefoils tied between straight tails, and loose helices
examples/knotted_backbone.pdb  a two-model alpha-carbon trace with a trefoil in the middle
examples/ring_melt.lammpstrj   a LAMMPS dump of a ring melt in a periodic box: 24 rings of 60 beads (trefoils,
                               figure-eights, unknots), 3 frames, wrapped into the box with image flags
examples/1j85.pdb              a real knotted protein, YibK (PDB entry 1J85, public domain), chain A without its
                               waters: written from ../shared/data/proteins/1j85.pdb when that file is present
"""
import os

import numpy as np

import skeinlab

rng = np.random.default_rng(2026)


def torus_knot(p, q, n):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False) + 0.0123
    r = 3.0 + np.cos(q * t)
    return np.stack([r * np.cos(p * t), r * np.sin(p * t), np.sin(q * t)], axis=1)


def figure_eight(n):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False) + 0.0123
    return np.stack([(2 + np.cos(2 * t)) * np.cos(3 * t), (2 + np.cos(2 * t)) * np.sin(3 * t), np.sin(4 * t)], 1)


def loop(n):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False)
    return np.stack([3 * np.cos(t), 3 * np.sin(t), 0.8 * np.sin(2 * t)], axis=1)


def rotate(points):
    q, _ = np.linalg.qr(rng.normal(size=(3, 3)))
    return points @ q


def with_tails(knot, tail_points, tail_length):
    steps = np.linspace(tail_length, tail_length / tail_points, tail_points)
    head = knot[0] + np.outer(steps, [0.0, 0.0, 1.0])
    tail = knot[-1] - np.outer(steps[::-1], [0.0, 0.0, 1.0])
    return np.vstack([head, knot, tail])


def helix(n):
    s = np.arange(n)
    return np.stack([2 * np.cos(0.4 * s), 2 * np.sin(0.4 * s), 0.3 * s - 0.15 * n], axis=1)


def rings(frames=120, n=80):
    makers = [lambda: torus_knot(2, 3, n), lambda: figure_eight(n), lambda: torus_knot(2, 5, n), lambda: loop(n)]
    out = []
    for k in range(frames):
        chain = rotate(makers[k % 4]()) * rng.uniform(2.0, 4.0)
        out.append(chain + rng.normal(scale=0.03, size=chain.shape))
    return np.stack(out)


def open_chains(frames=80, n=100):
    out = []
    for k in range(frames):
        chain = with_tails(torus_knot(2, 3, n - 40), 20, 15.0) if k % 2 == 0 else helix(n)
        chain = rotate(chain) * 3.8 / 1.2
        out.append(chain + rng.normal(scale=0.03, size=chain.shape))
    return np.stack(out)


def pdb_text(models):
    lines = ["HEADER    EXAMPLE KNOTTED BACKBONE (SYNTHETIC)\n", "TITLE     A TREFOIL TIED IN A 140-RESIDUE CHAIN\n"]
    for m, trace in enumerate(models, start=1):
        lines.append(f"MODEL     {m:4d}\n")
        serial = 1
        for i, (x, y, z) in enumerate(trace, start=1):
            for name, offset in ((" N  ", (-0.6, 0.9, 0.0)), (" CA ", (0.0, 0.0, 0.0)), (" C  ", (0.7, 0.8, 0.3))):
                ax, ay, az = x + offset[0], y + offset[1], z + offset[2]
                lines.append(
                    f"ATOM  {serial:5d} {name} GLY A{i:4d}    {ax:8.3f}{ay:8.3f}{az:8.3f}  1.00  0.00           "
                    f"{name.strip()[0]}\n"
                )
                serial += 1
        lines.append("TER\nENDMDL\n")
    lines.append("END\n")
    return "".join(lines)


def lammps_dump(frames, molecules, side):
    """A LAMMPS text dump (id mol type xs ys zs ix iy iz) of frames of points in a periodic cube."""
    lines = []
    for step, points in enumerate(frames):
        scaled = points / side
        images = np.floor(scaled).astype(int)
        scaled -= images
        lines += ["ITEM: TIMESTEP", str(1000 * step), "ITEM: NUMBER OF ATOMS", str(len(points)),
                  "ITEM: BOX BOUNDS pp pp pp"] + [f"0 {side:g}"] * 3 + ["ITEM: ATOMS id mol type xs ys zs ix iy iz"]
        lines += [f"{i + 1} {m} 1 {s[0]:.6f} {s[1]:.6f} {s[2]:.6f} {k[0]} {k[1]} {k[2]}"
                  for i, (m, s, k) in enumerate(zip(molecules, scaled, images))]
    return "\n".join(lines) + "\n"


def ring_melt(count=24, n=60, side=12.0, frames=3):
    makers = [lambda: torus_knot(2, 3, n), lambda: figure_eight(n), lambda: loop(n)]
    shapes = [rotate(makers[k % 3]()) * 0.8 for k in range(count)]
    centres = rng.uniform(0.0, side, size=(count, 3))
    out = []
    for _ in range(frames):
        points = [s + c + rng.normal(scale=0.03, size=s.shape) for s, c in zip(shapes, centres)]
        out.append(np.concatenate(points))
    return out, np.repeat(np.arange(1, count + 1), n)


PROTEIN_SOURCE = os.path.join("..", "shared", "data", "proteins", "1j85.pdb")
KEPT_RECORDS = ("HEADER", "TITLE ", "COMPND", "SOURCE", "KEYWDS", "EXPDTA", "AUTHOR", "CRYST1", "ATOM  ", "TER   ")


def trimmed_protein(source):
    """The PDB entry's header records and chain A's atoms (no waters or other HETATM records)."""
    with open(source) as f:
        kept = [line for line in f if line.startswith(KEPT_RECORDS) and (not line.startswith(("ATOM", "TER"))
                                                                            or line[21] == "A")]
    return "".join(kept) + "END\n"


if __name__ == "__main__":
    skeinlab.write_xyz("examples/rings.xyz", rings())
    skeinlab.write_xyz("examples/open_chains.xyz", open_chains())
    trace = with_tails(torus_knot(2, 3, 100), 20, 30.0) * 3.2
    models = [trace + rng.normal(scale=0.2, size=trace.shape) for _ in range(2)]
    with open("examples/knotted_backbone.pdb", "w") as f:
        f.write(pdb_text(models))
    melt, molecules = ring_melt()
    with open("examples/ring_melt.lammpstrj", "w") as f:
        f.write(lammps_dump(melt, molecules, 12.0))
    if os.path.exists(PROTEIN_SOURCE):
        with open("examples/1j85.pdb", "w") as f:
            f.write(trimmed_protein(PROTEIN_SOURCE))
