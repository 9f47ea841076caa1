"""The ``skeinlab`` command: knot types, cores, spectra and fingerprints of files.

XYZ trajectories and LAMMPS dumps are streamed chunk by chunk, so memory stays
bounded whatever their length; PDB and mmCIF files are read whole (alpha
carbons, chain by chain through gemmi when it is installed). Every frame (and
every chain of a frame of several) gives one row (a fingerprint one row per
window), written as a table, CSV, JSON or JSON lines (the inputs are in
_inputs, the outputs in _output). Exit status: 0 on success, 1 when an input
fails (one line on stderr naming the file, the frame and the line; no header
when no row was written), 2 for a usage error, 130 when interrupted (the rows
already typed are written); a reader that closes the pipe early ends the
command by SIGPIPE, as it ends other Unix tools.
"""
from __future__ import annotations

import argparse
import signal
import sys
import warnings
from typing import IO, Literal

import numpy as np

from . import __version__
from ._core import knot_fingerprint, knot_identify, knot_size, knot_spectrum, knot_type, pd_code
from .links import linked_clusters, linking_pairs
from ._inputs import InputError, Piece, is_md, is_structure, pieces_of
from . import _lasso_cli
from ._arguments import add_chain_options, positive, print_notes, selection_of
from ._output import SUMMARY_COLUMNS, Plotted, Progress, Row, Summary, Writer

COLUMNS = {
    "type": ["file", "chain", "frame", "knot"],
    "identify": ["file", "chain", "frame", "knot"],
    "size": ["file", "chain", "frame", "knot", "start", "end", "length", "first_residue", "last_residue"],
    "spectrum": ["file", "chain", "frame", "knot", "fraction", "spectrum"],
    "fingerprint": ["file", "chain", "frame", "start", "end", "knot", "fraction"],
    "link": ["file", "frame", "chain1", "chain2", "linking", "link"],
    "clusters": ["file", "frame", "cluster", "size", "chains"],
}

EXAMPLES = {
    "type": """examples:
  skeinlab type run.xyz                       one knot name per frame of a ring trajectory
  skeinlab type --open chains.xyz -f csv -o knots.csv
  skeinlab type 1j85.pdb                      a protein's alpha carbons, as an open chain
  skeinlab type melt.lammpstrj                every ring (molecule) of every frame of a LAMMPS dump
  skeinlab type melt.xyz --chain-length 100   a melt written as XYZ: rings of 100 points each""",
    "identify": """examples:
  skeinlab identify run.xyz                   the knot of every frame with its chirality and summands
  skeinlab identify 1j85.pdb                  +3_1 (right-handed) or -3_1 (left-handed)
  skeinlab identify run.xyz --pd -f csv       with the PD code of each diagram, for SnapPy or KnotInfo""",
    "size": """examples:
  skeinlab size run.xyz                       knot and core (start, end, length) per frame
  skeinlab size 1j85.pdb -f json
  skeinlab size 1yve.cif --chain I            the core in the authors' residue numbers
  skeinlab size run.xyz --plot cores.png      also draw the cores over the frames""",
    "spectrum": """examples:
  skeinlab spectrum 1j85.pdb                  dominant knot and its share over 100 closures
  skeinlab spectrum --samples 500 --seed 7 run.xyz -f jsonl
  skeinlab spectrum --identify 1j85.pdb       the same, the knot named with its chirality""",
    "link": """examples:
  skeinlab link melt.lammpstrj                every linked pair of rings of every frame, with its link
                                              (+L2a1{1}, the Whitehead link L5a1 at linking number 0 ...)
  skeinlab link melt.xyz --chain-length 100   a melt written as XYZ, rings of 100 points
  skeinlab link dimer.xyz --chain-length 120 --open   Gauss linking integrals of open chains""",
    "clusters": """examples:
  skeinlab clusters melt.lammpstrj            the clusters of linked rings of every frame
  skeinlab clusters gel.dump -f json""",
    "fingerprint": """examples:
  skeinlab fingerprint --step 2 1j85.pdb -f csv -o map.csv
                                              dominant knot of every sub-chain
  skeinlab fingerprint --step 2 1j85.pdb --plot map.png""",
}

def parser() -> argparse.ArgumentParser:
    top = argparse.ArgumentParser(
        prog="skeinlab",
        description="Knot types and knotted cores of polymer chains and protein backbones.",
        epilog="Run 'skeinlab COMMAND --help' for a command's options and examples.",
    )
    top.add_argument("--version", action="version", version=f"skeinlab {__version__}")
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    helps = {
        "type": "knot name of every frame",
        "identify": "knot of every frame named from its HOMFLY-PT polynomial: chirality, summands",
        "size": "knot name and knotted core of every frame",
        "spectrum": "knot spectrum of every frame over random projections and closures",
        "fingerprint": "dominant knot of every sub-chain of every frame (open chains)",
        "link": "linking number and link type of every linked pair of chains of every frame",
        "clusters": "clusters of rings linked with each other, frame by frame",
    }
    for name, help_text in helps.items():
        sub = commands.add_parser(
            name, help=help_text, description=help_text[0].upper() + help_text[1:] + ".",
            epilog=EXAMPLES[name], formatter_class=argparse.RawDescriptionHelpFormatter)
        sub.add_argument("files", nargs="+", metavar="FILE",
                         help="XYZ trajectories, LAMMPS text dumps (.lammpstrj, .dump), PDB or PDBx/mmCIF files "
                              "(.pdb, .ent, .cif, .mmcif, also .gz)")
        add_chain_options(sub, frame_step_short=name != "fingerprint")
        if name not in ("fingerprint", "clusters"):
            closure = sub.add_mutually_exclusive_group()
            closure.add_argument("--open", dest="chain_type", action="store_const", const="open",
                                 help="type open chains (the default for PDB files)")
            closure.add_argument("--ring", dest="chain_type", action="store_const", const="ring",
                                 help="type rings (the default for XYZ files)")
        if name in ("spectrum", "fingerprint"):
            sub.add_argument("--samples", type=positive, default=100 if name == "spectrum" else 50,
                             help="typings per frame or window (default %(default)s)")
            sub.add_argument("--seed", type=int, default=0, help="seed of the random samples (default 0)")
        if name in ("spectrum", "fingerprint"):
            sub.add_argument("--identify", dest="invariant", action="store_const", const="homfly",
                             default="alexander",
                             help="name the samples as 'identify' does (chirality, summands) instead of "
                                  "as 'type' does")
        if name == "fingerprint":
            sub.add_argument("--step", type=positive, default=1, help="grid spacing of window ends (default 1)")
        sub.add_argument("--threads", type=positive, default=None,
                         help="worker threads (default: one per processor)")
        sub.add_argument("--chunk", type=positive, default=1000,
                         help="frames read and typed at a time (default %(default)s)")
        sub.add_argument("-f", "--format", choices=["table", "csv", "json", "jsonl"], default="table",
                         help="output format (default: table)")
        sub.add_argument("-o", "--output", metavar="FILE", help="write to FILE instead of standard output")
        sub.add_argument("-q", "--quiet", action="store_true", help="no progress bar")
        if name in ("type", "identify", "size", "spectrum", "fingerprint"):
            sub.add_argument("--plot", metavar="FILE.png",
                             help="also draw every chain's knot over the frames of the first file (type, identify, "
                                  "spectrum), the cores over the frames (size) or the map of the first frame "
                                  "(fingerprint); needs matplotlib (pip install skeinlab[plot])")
        if name == "identify":
            sub.add_argument("--pd", action="store_true",
                             help="add the PD code of the simplified diagram each name comes from (KnotInfo's "
                                  "convention, for KnotInfo, SnapPy or Regina) as a column 'pd'")
        if name in ("type", "identify", "size", "spectrum"):
            sub.add_argument("--summary", action="store_true",
                             help="instead of a row per frame, per file and chain how many frames gave each knot "
                                  "and their fraction (of the frames typed; those that could not be typed "
                                  "counted apart)")
    _lasso_cli.add_parser(commands)
    return top


def link_rows(args: argparse.Namespace, path: str, piece: Piece) -> list[Row]:
    """The linked pairs (link) or clusters (clusters) of the frames of a piece (whole frames: LAMMPS dumps,
    MD trajectories, XYZ frames cut by --chain-length); rings that wind around the box are left out."""
    chain_type = chain_type_of(args, path)
    frames: dict[int, list[int]] = {}
    for row, ((frame, _), winds) in enumerate(zip(piece.labels, piece.winding.tolist())):
        frames.setdefault(frame, [])
        if not winds and row not in piece.not_chains:
            frames[frame].append(row)
    chains = [[piece.chains[k][~np.isnan(piece.chains[k]).all(axis=1)] for k in rows] for rows in frames.values()]
    names = [[piece.labels[k][1] for k in rows] for rows in frames.values()]
    rows_out: list[Row] = []
    if args.command == "link" and chain_type == "open":
        found = linking_pairs(chains, chain_type, threads=args.threads) if chains else []
        assert isinstance(found, list)
        for frame, ids, (pairs, values) in zip(frames, names, found):
            for (i, j), value in zip(pairs.tolist(), values.tolist()):
                rows_out.append({"file": path, "frame": frame, "chain1": ids[i], "chain2": ids[j], "linking": value,
                                 "link": ""})
    elif args.command == "link":
        # Rings: the linked pairs with the link each forms (pairs of linking number 0 included when
        # their link is shown not split).
        linked = linked_clusters(chains, threads=args.threads) if chains else []
        assert isinstance(linked, list)
        for frame, ids, (_, (pairs, values, link_names)) in zip(frames, names, linked):
            for (i, j), value, link in zip(pairs.tolist(), values.tolist(), link_names or []):
                rows_out.append({"file": path, "frame": frame, "chain1": ids[i], "chain2": ids[j], "linking": value,
                                 "link": link})
    else:
        grouped = linked_clusters(chains, threads=args.threads) if chains else []
        assert isinstance(grouped, list)
        for frame, ids, (clusters, _) in zip(frames, names, grouped):
            for number, cluster in enumerate(clusters):
                rows_out.append({"file": path, "frame": frame, "cluster": number, "size": len(cluster),
                                 "chains": " ".join(ids[k] for k in cluster)})
    return rows_out


def chain_type_of(args: argparse.Namespace, path: str) -> Literal["ring", "open"]:
    """The chain type the command types a file's chains as, where the input does not decide it."""
    chosen = getattr(args, "chain_type", None) or ("open" if is_structure(path) and not is_md(path, args.topology)
                                                   else "ring")
    return "open" if chosen == "open" else "ring"


def typed_runs(piece: Piece, rings: np.ndarray, typed: list[int]) -> list[list[int]]:
    """The rows to type in runs of consecutive rows of one length and chain type: each run goes to the core
    as one array, so that its chains share the core's workers."""
    runs: list[list[int]] = []
    for k in typed:
        key = (len(piece.chains[k]), bool(rings[k]))
        if runs and runs[-1][-1] == k - 1 and (len(piece.chains[runs[-1][0]]), bool(rings[runs[-1][0]])) == key:
            runs[-1].append(k)
        else:
            runs.append([k])
    return runs


def typed_rows(args: argparse.Namespace, path: str, piece: Piece) -> list[Row]:
    if args.command in ("link", "clusters"):
        return link_rows(args, path, piece)
    default = chain_type_of(args, path)
    given = getattr(args, "chain_type", None)
    rings = (np.full(len(piece.chains), default == "ring") if piece.rings is None or given
             else np.asarray(piece.rings, dtype=bool))
    # Rings that wind around a periodic box have no knot type, nor have chains whose points jump: their
    # rows say so.
    skipped = {k: "winding" for k in np.flatnonzero(piece.winding).tolist()}
    skipped.update({k: "not a chain" for k in piece.not_chains})
    typed = [k for k in range(len(piece.chains)) if k not in skipped]
    residues = piece.residues
    rows: dict[int, Row] = {}
    position = 0  # typed rows before (spectra's samples are keyed by it)

    def base(k: int) -> dict[str, object]:
        frame, chain = piece.labels[k]
        return {"file": path, "chain": chain, "frame": frame}

    for run in typed_runs(piece, rings, typed):
        group = np.stack([piece.chains[k] for k in run])
        chain_type: Literal["ring", "open"] = "ring" if rings[run[0]] else "open"
        if args.command in ("type", "identify"):
            name_frames = knot_type if args.command == "type" else knot_identify
            codes = pd_code(group, chain_type, threads=args.threads) if getattr(args, "pd", False) else None
            for index, (k, name) in enumerate(zip(run, name_frames(group, chain_type, threads=args.threads))):
                rows[k] = {**base(k), "knot": name}
                if codes is not None:
                    rows[k]["pd"] = "[" + ",".join("[" + ",".join(map(str, c)) + "]" for c in codes[index]) + "]"
        elif args.command == "size":
            names, cores = knot_size(group, chain_type, threads=args.threads)
            for k, name, (start, end, length) in zip(run, names, cores):
                found = residues is not None and start >= 0
                rows[k] = {**base(k), "knot": name, "start": start, "end": end, "length": length,
                           "first_residue": residues[start] if found and residues else "",
                           "last_residue": residues[end] if found and residues else ""}
        elif args.command == "spectrum":
            spectra = knot_spectrum(group, chain_type, samples=args.samples, seed=args.seed, threads=args.threads,
                                    frame_offset=piece.first + position, invariant=args.invariant)
            for k, spectrum in zip(run, spectra):
                knot, fraction = next(iter(spectrum.items()))
                rows[k] = {**base(k), "knot": knot, "fraction": fraction, "spectrum": spectrum}
        else:
            for k, chain in zip(run, group):
                windows = knot_fingerprint(chain, step=args.step, samples=args.samples, seed=args.seed,
                                           threads=args.threads, invariant=args.invariant)
                rows[k] = [{**base(k), "start": start, "end": end, "knot": knot, "fraction": fraction}
                           for start, end, knot, fraction in windows.tolist()]  # type: ignore[assignment]
        position += len(run)
    for k, why in skipped.items():
        rows[k] = {**base(k), "knot": why, "start": -1, "end": -1, "length": -1, "first_residue": "",
                   "last_residue": "", "fraction": 0.0, "spectrum": {}, "pd": ""}
        if args.command == "fingerprint":
            rows[k] = [{**base(k), "start": -1, "end": -1, "knot": why, "fraction": 0.0}]  # type: ignore[assignment]
    ordered: list[Row] = []
    for k in range(len(piece.chains)):
        row = rows[k]
        ordered += row if isinstance(row, list) else [row]
    return ordered


def run(args: argparse.Namespace, out: IO[str]) -> int:
    if args.command == "lasso":
        return _lasso_cli.run(args, out)
    if not args.verbose:
        # The MD readers' warnings (deprecations, guessed attributes) are for their programmers.
        warnings.simplefilter("ignore")
    summary = Summary() if getattr(args, "summary", False) else None
    columns = SUMMARY_COLUMNS if summary else COLUMNS[args.command] + (["pd"] if getattr(args, "pd", False) else [])
    writer = Writer(out, args.format, columns, args.files)
    progress = Progress(args.quiet)
    plotted = Plotted(args)
    done = 0
    try:
        for index, path in enumerate(args.files):
            selection = selection_of(args, path, print_notes, getattr(args, "chain_type", None),
                                     whole_frames=args.command in ("link", "clusters"))
            for piece in pieces_of(path, args.chunk, args.chain, selection):
                count = piece.frames
                try:
                    rows = typed_rows(args, path, piece)
                except (RuntimeError, ValueError, MemoryError) as error:
                    first, last = piece.labels[0][0], piece.labels[-1][0]
                    raise InputError(f"{path}: frames {first} to {last}: {error or 'out of memory'}") from None
                if summary:
                    summary.add(rows)
                else:
                    writer.write(rows)
                plotted.add(rows, piece)
                progress.update(count, done, piece.read(), len(args.files) - 1 - index)
                done += count
    except InputError as error:
        progress.close()
        if summary:
            writer.write(summary.rows())  # of the frames typed before the failure
        writer.close(failed=True)
        print(f"skeinlab: error: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        progress.close()
        if summary:
            writer.write(summary.rows())
        writer.close()
        print(f"skeinlab: interrupted after {done} frames; their rows are written", file=sys.stderr)
        return 130
    progress.close()
    if summary:
        writer.write(summary.rows())
    writer.close()
    try:
        plotted.draw()
    except InputError as error:
        print(f"skeinlab: error: {error}", file=sys.stderr)
        return 1
    return 0


def main(argv: list[str] | None = None) -> int:
    # A reader that stops early (skeinlab type run.xyz | head) ends the
    # command as it ends other Unix tools: quietly, by SIGPIPE.
    if hasattr(signal, "SIGPIPE"):
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    args = parser().parse_args(argv)
    if args.output is None:
        return run(args, sys.stdout)
    try:
        out = open(args.output, "w", encoding="utf-8", newline="")
    except OSError as error:
        print(f"skeinlab: error: cannot write {args.output}: {error.strerror}", file=sys.stderr)
        return 1
    with out:
        return run(args, out)
