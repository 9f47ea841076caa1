"""Draws the README's figure from the shipped example structure.

usage: python3 examples/make_figures.py [DIRECTORY]   (needs skeinlab[structures,plot])

Reads examples/knotted_backbone.pdb with read_chains, finds the knot core of
chain A in residue numbers, computes its fingerprint (step 2, 50 samples) and
saves the fingerprint map and the chain with its core as
knotted_backbone_fingerprint.png and knotted_backbone_core.png in DIRECTORY
(default: docs/).
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
    for file, figure in figures.items():
        figure.savefig(target / file, dpi=90, bbox_inches="tight")
        print(f"wrote {target / file}")


if __name__ == "__main__":
    main(sys.argv[1:])
