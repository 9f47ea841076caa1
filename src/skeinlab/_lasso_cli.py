"""The ``skeinlab lasso`` command: one row per bridge of every chain and model of structure files (their
disulfides), or of XYZ trajectories with ``--bridge I-J``."""
from __future__ import annotations

import argparse
import contextlib
import sys
from typing import IO

import numpy as np

from ._inputs import InputError, is_structure, plain_file
from ._output import Progress, Row, Writer
from .lassos import Lasso

COLUMNS = ["file", "chain", "frame", "bridge", "lasso", "piercings", "area"]

EXAMPLES = """examples:
  skeinlab lasso 1ax8.pdb                     every disulfide of every chain: its loop and the tails through it
  skeinlab lasso protein.cif --chain A -f csv
  skeinlab lasso run.xyz --bridge 20-80       a bridge between points 20 and 80 (from 0) of every frame"""


def add_parser(commands: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    text = "lassos: the loops bridges close and the tails that pierce them"
    sub = commands.add_parser("lasso", help=text, description=text[0].upper() + text[1:] + ".", epilog=EXAMPLES,
                              formatter_class=argparse.RawDescriptionHelpFormatter)
    sub.add_argument("files", nargs="+", metavar="FILE",
                     help="PDB or PDBx/mmCIF files (their SSBOND or struct_conn disulfides, else cysteine SG atoms "
                          "within 2.5 A), or XYZ trajectories with --bridge")
    sub.add_argument("--bridge", action="append", metavar="I-J",
                     help="a bridge between points I and J (from 0; repeatable): for XYZ files, or instead of a "
                          "structure's own")
    sub.add_argument("--chain", action="append", metavar="ID", help="only this chain of a structure (repeatable)")
    sub.add_argument("--threads", type=int, default=None, help="worker threads (default: one per processor)")
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


def file_rows(path: str, bridges: list[tuple[int, int]] | None, chains: list[str] | None,
              threads: int | None) -> list[Row]:
    from .lassos import lasso_type, structure_bridges  # gemmi only when a structure is read

    rows: list[Row] = []
    if is_structure(path):
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
    if not bridges:
        raise InputError(f"{path}: give the bridges of an XYZ file with --bridge I-J")
    for frame, lassos in enumerate(lasso_type(_xyz(path), bridges, threads)):
        for lasso in lassos:
            rows.append(row(path, "", frame, f"{lasso.bridge[0]}-{lasso.bridge[1]}", lasso))
    return rows


def _xyz(path: str) -> np.ndarray:
    from ._core import read_xyz

    with plain_file(path) as plain:
        return read_xyz(plain)


def row(path: str, chain: str, frame: int, bridge: str, lasso: Lasso, residues: list[str] | None = None) -> Row:
    """A bridge's row; piercings by residue number where the chain has them ("+24 -68"), else by point."""
    named = (lambda k: residues[k]) if residues else str
    piercings = [f"{s}{named(k)}" for k, s in lasso.piercings_n + lasso.piercings_c]
    return {"file": path, "chain": chain, "frame": frame, "bridge": bridge, "lasso": lasso.name,
            "piercings": " ".join(piercings), "area": round(lasso.area, 3)}


def run(args: argparse.Namespace, out: IO[str]) -> int:
    writer = Writer(out, args.format, COLUMNS, args.files)
    progress = Progress(args.quiet)
    try:
        bridges = bridge_pairs(args.bridge)
        for path in args.files:
            try:
                rows = file_rows(path, bridges, args.chain, args.threads)
            except (RuntimeError, ValueError, FileNotFoundError) as error:
                text = str(error)
                raise InputError(text if path in text else f"{path}: {text}") from None
            writer.write(rows)
            progress.update(len({r["frame"] for r in rows}), 0, 1.0, 0)
    except InputError as error:
        progress.close()
        writer.close(failed=True)
        print(f"skeinlab: error: {error}", file=sys.stderr)
        return 1
    except ImportError as error:
        progress.close()
        writer.close(failed=True)
        print(f"skeinlab: error: {error}", file=sys.stderr)
        return 1
    progress.close()
    writer.close()
    return 0
