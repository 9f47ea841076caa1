"""The ``skeinlab lasso`` command: one row per bridge of every chain and model of structure files (their
disulfides), or of every chain and frame of trajectories (XYZ, LAMMPS, MD formats) with ``--bridge I-J``."""
from __future__ import annotations

import argparse
import contextlib
import sys
import warnings
from collections.abc import Callable
from typing import IO

import numpy as np

from ._arguments import add_chain_options, positive, print_notes, selection_of
from ._inputs import (InputError, Piece, Selection, is_md, is_structure, md_error, md_layout, md_warnings,
                      pieces_of, plain_file)
from ._output import Progress, Row, Writer
from .lassos import Lasso

COLUMNS = ["file", "chain", "frame", "bridge", "lasso", "piercings", "area"]

EXAMPLES = """examples:
  skeinlab lasso 1ax8.pdb                     every disulfide of every chain: its loop and the tails through it
  skeinlab lasso protein.cif --chain A -f csv
  skeinlab lasso run.xyz --bridge 20-80       a bridge between points 20 and 80 (from 0) of every frame
  skeinlab lasso md.xtc --topology md.tpr     every frame of a protein's run: the disulfides of its
                                              alpha-carbon traces (bonded SG atoms, else SG within 2.5 A)
  skeinlab lasso md.xtc --topology md.tpr --bridge 95-145
  skeinlab lasso run.lammpstrj --topology run.data --molecule 3 --bridge 10-60"""


def add_parser(commands: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    text = "lassos: the loops bridges close and the tails that pierce them"
    sub = commands.add_parser("lasso", help=text, description=text[0].upper() + text[1:] + ".", epilog=EXAMPLES,
                              formatter_class=argparse.RawDescriptionHelpFormatter)
    sub.add_argument("files", nargs="+", metavar="FILE",
                     help="PDB or PDBx/mmCIF files (their SSBOND or struct_conn disulfides, else cysteine SG atoms "
                          "within 2.5 A), MD trajectories of proteins (their disulfides likewise), or with "
                          "--bridge any trajectory: XYZ, LAMMPS dumps, MD formats")
    sub.add_argument("--bridge", action="append", metavar="I-J",
                     help="a bridge between points I and J (from 0) of every chain (repeatable): for "
                          "trajectories, or instead of a structure's own")
    add_chain_options(sub)
    sub.add_argument("--threads", type=positive, default=None, help="worker threads (default: one per processor)")
    sub.add_argument("--chunk", type=positive, default=1000,
                     help="frames read at a time from trajectories (default %(default)s)")
    sub.add_argument("-f", "--format", choices=["table", "csv", "json", "jsonl"], default="table")
    sub.add_argument("-o", "--output", metavar="FILE", help="write to FILE instead of standard output")
    sub.add_argument("-q", "--quiet", action="store_true", help="no progress bar")


def bridge_pairs(texts: list[str] | None) -> list[tuple[int, int]] | None:
    if not texts:
        return None
    pairs = []
    for text in texts:
        first, sep, second = text.partition("-")
        if not sep or not first.strip().isdigit() or not second.strip().isdigit():
            raise InputError(f"--bridge {text}: expected I-J, two point numbers from 0")
        pairs.append((int(first), int(second)))
    return pairs


def structure_rows(path: str, bridges: list[tuple[int, int]] | None, chains: list[str] | None,
                   threads: int | None) -> list[Row]:
    """The rows of every model of a structure's chains that hold bridges (the file's, or `bridges`)."""
    from .lassos import lasso_type, structure_bridges  # gemmi only when a structure is read

    rows: list[Row] = []
    # gemmi reads gzip itself; other compressions are decompressed first.
    with plain_file(path) if not path.lower().endswith(".gz") else contextlib.nullcontext(path) as plain:
        found = structure_bridges(plain, chains)
    if chains:
        missing = [c for c in chains if c not in {f.chain for f in found}]
        if missing and not bridges:
            raise InputError(f"{path}: no disulfide bridge within chain {', '.join(missing)}")
    if not found:
        print(f"skeinlab: note: {path}: no disulfide bridge within a chain (give --bridge I-J)", file=sys.stderr)
        return rows
    for entry in found:
        pairs = bridges or entry.bridges
        for model, lassos in enumerate(lasso_type(entry.frames, pairs, threads)):
            for lasso in lassos:
                i, j = lasso.bridge
                rows.append(row(path, entry.chain, model, f"{entry.residues[i]}-{entry.residues[j]}", lasso,
                                entry.residues))
    return rows


# A chain's bridges and, where they are known, its points' residue numbers; None: the chain has none.
Bridges = Callable[[str], "tuple[list[tuple[int, int]], list[str] | None] | None"]


def piece_rows(path: str, piece: Piece, bridges_of: Bridges, threads: int | None) -> list[Row]:
    """The rows of a piece of a trajectory: every bridge of every chain, runs of chains of one name and length
    typed together; a chain that is not one (its points jump) gives 'not a chain' rows."""
    from .lassos import lasso_type

    rows: dict[int, list[Row]] = {}
    runs: list[list[int]] = []
    for k, chain in enumerate(piece.chains):
        frame, name = piece.labels[k]
        found = bridges_of(name)
        if found is None:
            continue
        if k in piece.not_chains:
            pairs, residues = found
            rows[k] = [{"file": path, "chain": name, "frame": frame, "bridge": bridge_text(i, j, residues),
                        "lasso": "not a chain", "piercings": "", "area": 0.0} for i, j in pairs]
        elif runs and runs[-1][-1] == k - 1 and piece.labels[runs[-1][0]][1] == name and \
                len(piece.chains[runs[-1][0]]) == len(chain):
            runs[-1].append(k)
        else:
            runs.append([k])
    for run in runs:
        frame, name = piece.labels[run[0]]
        pairs, residues = bridges_of(name) or ([], None)
        try:
            found_lassos = lasso_type(np.stack([piece.chains[k] for k in run]), pairs, threads)
        except ValueError as error:
            where = f"chain {name} " if name else ""
            # The bridge fits no frame of this length: name the chain, not the frame within the run.
            raise InputError(f"{path}: {where}frame {frame}: {str(error).partition(': ')[2]}") from None
        for k, lassos in zip(run, found_lassos):
            frame, name = piece.labels[k]
            rows[k] = [row(path, name, frame, bridge_text(*lasso.bridge, residues), lasso, residues)
                       for lasso in lassos]
    return [r for k in sorted(rows) for r in rows[k]]


def bridge_text(i: int, j: int, residues: list[str] | None) -> str:
    """A bridge by residue numbers where the chain has them ("96-146"), else by point."""
    return f"{residues[i]}-{residues[j]}" if residues else f"{i}-{j}"


def md_bridges(path: str, selection: Selection) -> dict[str, tuple[list[tuple[int, int]], list[str]]]:
    """The disulfides of an MD trajectory's alpha-carbon traces in its first frame (topology bonds between SG
    atoms, else SG atoms within 2.5 A)."""
    from .md import universe_bridges

    with md_warnings(selection):
        universe, layout = md_layout(path, selection)
        try:
            return universe_bridges(universe, layout)
        except Exception as error:  # MDAnalysis' own errors, one line naming the file
            raise md_error(path, selection.topology, error) from None


def row(path: str, chain: str, frame: int, bridge: str, lasso: Lasso, residues: list[str] | None = None) -> Row:
    """A bridge's row; piercings by residue number where the chain has them ("+24 -68"), else by point."""
    named = (lambda k: residues[k]) if residues else str
    piercings = [f"{s}{named(k)}" for k, s in lasso.piercings_n + lasso.piercings_c]
    return {"file": path, "chain": chain, "frame": frame, "bridge": bridge, "lasso": lasso.name,
            "piercings": " ".join(piercings), "area": round(lasso.area, 3)}


def run(args: argparse.Namespace, out: IO[str]) -> int:
    if not args.verbose:
        warnings.simplefilter("ignore")  # the MD readers' warnings are for their programmers
    writer = Writer(out, args.format, COLUMNS, args.files)
    progress = Progress(args.quiet)
    done = 0
    try:
        bridges = bridge_pairs(args.bridge)
        for index, path in enumerate(args.files):
            left = len(args.files) - 1 - index
            try:
                if is_structure(path) and not is_md(path, args.topology):
                    rows = structure_rows(path, bridges, args.chain, args.threads)
                    writer.write(rows)
                    count = len({r["frame"] for r in rows})
                    progress.update(count, done, 1.0, left)
                    done += count
                    continue
                selection = selection_of(args, path, print_notes, "open")
                if bridges:
                    given = bridges
                    bridges_of: Bridges = lambda name: (given, None)
                elif is_md(path, args.topology):
                    found = md_bridges(path, selection)
                    if not found:
                        print(f"skeinlab: note: {path}: no disulfide bridge within an alpha-carbon trace (give "
                              "--bridge I-J)", file=sys.stderr)
                        continue
                    bridges_of = found.get
                else:
                    raise InputError(f"{path}: give the bridges of a trajectory with --bridge I-J")
                for piece in pieces_of(path, args.chunk, args.chain, selection):
                    writer.write(piece_rows(path, piece, bridges_of, args.threads))
                    progress.update(piece.frames, done, piece.read(), left)
                    done += piece.frames
            except (RuntimeError, ValueError, FileNotFoundError) as error:
                text = str(error)
                raise InputError(text if path in text else f"{path}: {text}") from None
    except (InputError, ImportError) as error:
        progress.close()
        writer.close(failed=True)
        print(f"skeinlab: error: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        progress.close()
        writer.close()
        print(f"skeinlab: interrupted after {done} frames; their rows are written", file=sys.stderr)
        return 130
    progress.close()
    writer.close()
    return 0
