"""Draws the pictures of the documentation (docs/gallery.md) from the shipped examples.

usage: python3 examples/make_figures.py [DIRECTORY]   (needs skeinlab[structures,plot])

Reads examples/knotted_backbone.pdb with read_chains, finds the knot core of
chain A in residue numbers, computes its fingerprint (step 2, 50 samples) and
saves the fingerprint map and the chain with its core as
knotted_backbone_fingerprint.png and knotted_backbone_core.png in DIRECTORY
(default: docs/), a lasso built in space with its surface as lasso.png, the
cores of the frames of examples/open_chains.xyz as open_chains_cores.png, and
the knot of every ring of examples/ring_melt.lammpstrj over its frames as
ring_melt_knots.png.
"""
import pathlib
import sys

import skeinlab
from skeinlab import plot

HERE = pathlib.Path(__file__).resolve().parent


def main(argv):
    target = pathlib.Path(argv[0]) if argv else HERE.parent / "docs"
    chains = skeinlab.read_chains(str(HERE / "knotted_backbone.pdb"), model=0)
    trace = chains["A"][0]
    [name], [core] = skeinlab.knot_size(trace, "open")
    first, last = chains.residues["A"][core[0]], chains.residues["A"][core[1]]
    print(f"chain A: {name}, core residues {first} to {last} ({core[2]} residues)")
    fingerprint = skeinlab.knot_fingerprint(trace, step=2, samples=50)
    target.mkdir(parents=True, exist_ok=True)
    figures = {
        "knotted_backbone_fingerprint.png": plot.fingerprint(
            fingerprint, title="examples/knotted_backbone.pdb, chain A: fingerprint"),
        # The knotted stretch with 15 residues on each side (the example's tails are long and straight).
        "knotted_backbone_core.png": plot.chain(
            trace[core[0] - 15:core[1] + 16], (15, core[1] - core[0] + 15),
            title=f"chain A: {name}, core residues {first}-{last} (red)"),
    }
    # A lasso built in space: a loop of 24 points closed by its bridge, its C tail threading it once.
    import numpy as np

    t = np.linspace(0.0, 2.0 * np.pi, 24, endpoint=False)
    loop = np.stack([5 * np.cos(t), 5 * np.sin(t), 0.6 * np.sin(3 * t)], axis=1)
    n_tail = np.stack([np.linspace(30, 12, 20), np.full(20, -12.0), np.linspace(6, 0, 20)], axis=1)
    around = np.stack([np.linspace(12, 3, 16), np.linspace(12, 0.8, 16), np.full(16, -6.0)], axis=1)
    through = np.stack([np.full(13, 0.5), np.full(13, 0.3), np.linspace(-6.0, 6.5, 13)], axis=1)
    chain = np.vstack([n_tail, loop, around, through])
    [[lasso]] = skeinlab.lasso_type(chain, bridges=[(20, 43)])
    figures["lasso.png"] = plot.lasso(chain, lasso, title=f"a lasso built in space: {lasso.name}")
    # The cores over the frames of an open-chain trajectory, as `skeinlab size --plot` draws them.
    frames = skeinlab.read_xyz(str(HERE / "open_chains.xyz"))
    names, cores = skeinlab.knot_size(frames, "open")
    figures["open_chains_cores.png"] = plot.cores(names, cores, frames.shape[1],
                                                  title="examples/open_chains.xyz: knot cores over the frames")
    # Every ring's knot over the frames of a melt, as `skeinlab type --plot` draws them.
    by_ring: dict[str, list[str]] = {}
    for frame in skeinlab.iter_lammps(str(HERE / "ring_melt.lammpstrj")):
        names = skeinlab.knot_type(frame.chains)
        for ring, name, winds in zip(frame.molecules, names, frame.winding):
            by_ring.setdefault(str(ring), []).append("winding" if winds else name)
    figures["ring_melt_knots.png"] = plot.knots(by_ring, title="examples/ring_melt.lammpstrj: every ring's knot")
    for file, figure in figures.items():
        figure.savefig(target / file, dpi=90, bbox_inches="tight")
        print(f"wrote {target / file}")


if __name__ == "__main__":
    main(sys.argv[1:])
