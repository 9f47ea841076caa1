"""Types every frame of XYZ or PDB files and reports each knotted frame's core.

usage: python3 examples/classify.py [--open] FILE [FILE ...]

XYZ frames are typed as rings unless --open is given; a PDB file's alpha-carbon
trace is always typed as an open chain, one frame per model.
"""
import sys

import skeinlab


def report(label, frames, chain_type):
    names, cores = skeinlab.knot_size(frames, chain_type)
    for index, (name, (start, end, length)) in enumerate(zip(names, cores)):
        where = f"core {start}..{end} ({length} points)" if length > 0 else "no core"
        print(f"{label} frame {index:4d} [{chain_type}]: {name:<6s} {where}")


def main(argv):
    chain_type = "ring"
    paths = []
    for arg in argv:
        if arg == "--open":
            chain_type = "open"
        else:
            paths.append(arg)
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    for path in paths:
        if path.lower().endswith(".pdb"):
            report(path, skeinlab.read_pdb(path, atom_filter="ca"), "open")
        else:
            report(path, skeinlab.read_xyz(path), chain_type)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
