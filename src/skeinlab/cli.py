"""The ``skeinlab`` command: knot types, cores, spectra and fingerprints of files.

XYZ trajectories are streamed chunk by chunk with :func:`skeinlab.iter_xyz`, so
memory stays bounded whatever their length; PDB and mmCIF files are read whole
(alpha carbons, chain by chain through gemmi when it is installed). Every frame gives one row (a fingerprint one row per window), written
as a table, CSV, JSON or JSON lines. Exit status: 0 on success, 1 when an input
fails (one line on stderr naming the file, the frame and the line), 2 for a
usage error, 130 when interrupted (the rows already typed are written).
"""
from __future__ import annotations

import argparse
import csv
import json
import math
import os
import sys
from collections.abc import Callable, Iterator
from typing import IO, Any, Literal

import numpy as np

from . import __version__
from ._core import iter_xyz, knot_fingerprint, knot_size, knot_spectrum, knot_type, read_pdb

COLUMNS = {
    "type": ["file", "chain", "frame", "knot"],
    "size": ["file", "chain", "frame", "knot", "start", "end", "length", "first_residue", "last_residue"],
    "spectrum": ["file", "chain", "frame", "knot", "fraction", "spectrum"],
    "fingerprint": ["file", "chain", "frame", "start", "end", "knot", "fraction"],
}

EXAMPLES = {
    "type": """examples:
  skeinlab type run.xyz                       one knot name per frame of a ring trajectory
  skeinlab type --open chains.xyz -f csv -o knots.csv
  skeinlab type 1j85.pdb                      a protein's alpha carbons, as an open chain""",
    "size": """examples:
  skeinlab size run.xyz                       knot and core (start, end, length) per frame
  skeinlab size 1j85.pdb -f json
  skeinlab size 1yve.cif --chain I            the core in the authors' residue numbers
  skeinlab size run.xyz --plot cores.png      also draw the cores over the frames""",
    "spectrum": """examples:
  skeinlab spectrum 1j85.pdb                  dominant knot and its share over 100 closures
  skeinlab spectrum --samples 500 --seed 7 run.xyz -f jsonl""",
    "fingerprint": """examples:
  skeinlab fingerprint --step 2 1j85.pdb -f csv -o map.csv
                                              dominant knot of every sub-chain
  skeinlab fingerprint --step 2 1j85.pdb --plot map.png""",
}

Row = dict[str, Any]


class InputError(Exception):
    """An input that cannot be read or typed; the message names file, frame and line."""


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
        "size": "knot name and knotted core of every frame",
        "spectrum": "knot spectrum of every frame over random projections and closures",
        "fingerprint": "dominant knot of every sub-chain of every frame (open chains)",
    }
    for name, help_text in helps.items():
        sub = commands.add_parser(
            name, help=help_text, description=help_text[0].upper() + help_text[1:] + ".",
            epilog=EXAMPLES[name], formatter_class=argparse.RawDescriptionHelpFormatter)
        sub.add_argument("files", nargs="+", metavar="FILE",
                         help="XYZ trajectories, PDB or PDBx/mmCIF files (.pdb, .ent, .cif, .mmcif, also .gz)")
        sub.add_argument("--chain", action="append", metavar="ID",
                         help="type only this chain of a structure (repeatable; default: every polymer chain)")
        if name != "fingerprint":
            closure = sub.add_mutually_exclusive_group()
            closure.add_argument("--open", dest="chain_type", action="store_const", const="open",
                                 help="type open chains (the default for PDB files)")
            closure.add_argument("--ring", dest="chain_type", action="store_const", const="ring",
                                 help="type rings (the default for XYZ files)")
        if name in ("spectrum", "fingerprint"):
            sub.add_argument("--samples", type=positive, default=100 if name == "spectrum" else 50,
                             help="typings per frame or window (default %(default)s)")
            sub.add_argument("--seed", type=int, default=0, help="seed of the random samples (default 0)")
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
        if name in ("size", "fingerprint"):
            sub.add_argument("--plot", metavar="FILE.png",
                             help="also draw the cores over the frames (size) or the map of the first frame "
                                  "(fingerprint); needs matplotlib (pip install skeinlab[plot])")
    return top


def positive(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, got {value}")
    return value


STRUCTURE_SUFFIXES = (".pdb", ".ent", ".cif", ".mmcif")


def is_structure(path: str) -> bool:
    name = path.lower()
    return name.removesuffix(".gz").endswith(STRUCTURE_SUFFIXES)


class Piece:
    """A chunk of frames of one chain of one file."""

    def __init__(self, chain: str, first: int, frames: np.ndarray, read: Callable[[], float],
                 residues: list[str] | None = None) -> None:
        self.chain, self.first, self.frames, self.read, self.residues = chain, first, frames, read, residues


def structure_pieces(path: str, chunk: int, wanted: list[str] | None) -> Iterator[Piece]:
    """The chains of a structure: through gemmi when it is installed, else read_pdb for PDB files."""
    try:
        from .structures import read_chains
        chains = read_chains(path)
    except ImportError:
        if path.lower().removesuffix(".gz").endswith((".cif", ".mmcif")) or path.lower().endswith(".gz"):
            raise InputError(f"{path}: reading mmCIF and compressed files needs gemmi: "
                             "pip install skeinlab[structures]") from None
        try:
            frames = read_pdb(path, atom_filter="ca")
        except (RuntimeError, FileNotFoundError) as error:
            raise InputError(str(error) if path in str(error) else f"{path}: {error}") from None
        for first in range(0, len(frames), chunk):
            yield Piece("", first, frames[first:first + chunk], lambda: 1.0)
        return
    except (RuntimeError, FileNotFoundError, ValueError) as error:
        raise InputError(str(error) if path in str(error) else f"{path}: {error}") from None
    names = list(chains) if not wanted else [c for c in wanted if c in chains]
    missing = [c for c in (wanted or []) if c not in chains]
    if missing:
        raise InputError(f"{path}: no polymer chain {', '.join(missing)} (chains: {', '.join(chains) or 'none'})")
    for name in names:
        breaks = chains.breaks[name]
        if breaks:
            residues = chains.residues[name]
            shown = ", ".join(f"{residues[i - 1]}-{residues[i]}" for i in breaks[:5])
            more = f" and {len(breaks) - 5} more" if len(breaks) > 5 else ""
            print(f"skeinlab: warning: {path} chain {name}: {len(breaks)} chain break(s) (alpha carbons more "
                  f"than 4.2 A apart) between residues {shown}{more}; a gap can tie or untie a knot",
                  file=sys.stderr)
        frames = chains[name]
        for first in range(0, len(frames), chunk):
            yield Piece(name, first, frames[first:first + chunk], lambda: 1.0, chains.residues[name])


def pieces_of(path: str, chunk: int, wanted: list[str] | None) -> Iterator[Piece]:
    """The chunks of frames of a file, chain by chain for structures."""
    if is_structure(path):
        yield from structure_pieces(path, chunk, wanted)
        return
    try:
        stream = iter_xyz(path, chunk)
        size = os.path.getsize(path)
        first = 0
        for frames in stream:
            yield Piece("", first, frames, lambda: stream.tell() / size if size else 1.0)
            first += len(frames)
    except (RuntimeError, FileNotFoundError, OSError) as error:
        raise InputError(str(error) if path in str(error) else f"{path}: {error}") from None


def unpadded(frames: np.ndarray) -> list[np.ndarray]:
    """The frames of a chunk without the NaN rows that pad shorter frames."""
    if frames.shape[1] == 0 or not np.isnan(frames[:, -1, 0]).any():
        return list(frames)
    out = []
    for frame in frames:
        real = ~np.isnan(frame).all(axis=1)
        stop = len(real) - int(np.argmax(real[::-1])) if real.any() else 0
        out.append(frame[:stop])
    return out


def typed_rows(args: argparse.Namespace, path: str, piece: Piece) -> list[Row]:
    chosen = getattr(args, "chain_type", None) or ("open" if is_structure(path) else "ring")
    chain_type: Literal["ring", "open"] = "open" if chosen == "open" else "ring"
    chains = unpadded(piece.frames)
    same_length = len({len(c) for c in chains}) <= 1
    # Frames of one length go to the core together, so that they share its workers.
    groups = [np.stack(chains)] if same_length and chains else [c[None] for c in chains]
    residues = piece.residues
    rows: list[Row] = []
    frame = piece.first
    base = {"file": path, "chain": piece.chain}
    for group in groups:
        if args.command == "type":
            for name in knot_type(group, chain_type, threads=args.threads):
                rows.append({**base, "frame": frame, "knot": name})
                frame += 1
        elif args.command == "size":
            names, cores = knot_size(group, chain_type, threads=args.threads)
            for name, (start, end, length) in zip(names, cores):
                found = residues is not None and start >= 0
                rows.append({**base, "frame": frame, "knot": name, "start": start, "end": end, "length": length,
                             "first_residue": residues[start] if found and residues else "",
                             "last_residue": residues[end] if found and residues else ""})
                frame += 1
        elif args.command == "spectrum":
            spectra = knot_spectrum(group, chain_type, samples=args.samples, seed=args.seed, threads=args.threads,
                                    frame_offset=frame)
            for spectrum in spectra:
                knot, fraction = next(iter(spectrum.items()))
                rows.append({**base, "frame": frame, "knot": knot, "fraction": fraction, "spectrum": spectrum})
                frame += 1
        else:
            for chain in group:
                windows = knot_fingerprint(chain, step=args.step, samples=args.samples, seed=args.seed,
                                           threads=args.threads)
                for start, end, knot, fraction in windows.tolist():
                    rows.append({**base, "frame": frame, "start": start, "end": end, "knot": knot,
                                 "fraction": fraction})
                frame += 1
    return rows


class Writer:
    """Writes rows as they come in the chosen format."""

    def __init__(self, out: IO[str], fmt: str, columns: list[str], files: list[str]) -> None:
        self.out, self.fmt, self.columns = out, fmt, columns
        self.count = 0
        if fmt == "csv":
            self.csv = csv.writer(out, lineterminator="\n")
            self.csv.writerow(columns)
        elif fmt == "json":
            out.write("[")
        elif fmt == "table":
            self.widths = {c: len(c) for c in columns}
            self.widths["file"] = max([len("file")] + [len(f) for f in files])
            self.widths["chain"] = len("chain")
            self.widths["frame"] = max(len("frame"), 7)
            for c in ("start", "end", "length"):
                self.widths[c] = max(len(c), 6)
            self.widths["fraction"] = len("fraction")
            self.widths["knot"] = 6
            out.write(self.table_line({c: c for c in columns}))

    def table_line(self, cells: dict[str, str]) -> str:
        parts = []
        for c in self.columns:
            text = cells[c]
            right = c in ("frame", "start", "end", "length", "fraction", "first_residue", "last_residue")
            parts.append(text.rjust(self.widths[c]) if right else text.ljust(self.widths[c]))
        return "  ".join(parts).rstrip() + "\n"

    @staticmethod
    def spectrum_text(spectrum: dict[str, float]) -> str:
        return " ".join(f"{name}:{share:g}" for name, share in spectrum.items())

    def write(self, rows: list[Row]) -> None:
        for row in rows:
            if self.fmt == "csv":
                self.csv.writerow([self.spectrum_text(row[c]) if c == "spectrum" else row[c] for c in self.columns])
            elif self.fmt in ("json", "jsonl"):
                item = json.dumps({c: row[c] for c in self.columns})
                if self.fmt == "jsonl":
                    self.out.write(item + "\n")
                else:
                    self.out.write(("," if self.count else "") + "\n" + item)
            else:
                cells = {}
                for c in self.columns:
                    value = row[c]
                    if c == "spectrum":
                        cells[c] = self.spectrum_text(value)
                    elif c == "fraction":
                        cells[c] = f"{value:.2f}"
                    else:
                        cells[c] = str(value)
                self.out.write(self.table_line(cells))
            self.count += 1
        self.out.flush()

    def close(self) -> None:
        if self.fmt == "json":
            self.out.write("\n]\n" if self.count else "]\n")
        self.out.flush()


class Progress:
    """Frames done, frames per second and time left on stderr, through tqdm.

    Shown only when stderr is a terminal, after the first second, and when
    tqdm is installed (``pip install skeinlab[cli]``)."""

    def __init__(self, quiet: bool) -> None:
        self.bar = None
        if quiet or not sys.stderr.isatty():
            return
        try:
            from tqdm import tqdm  # type: ignore[import-untyped]
        except ImportError:
            return
        self.bar = tqdm(total=None, unit="frame", delay=1.0, file=sys.stderr, dynamic_ncols=True)

    def update(self, frames: int, done_before: int, read_fraction: float, files_left: int) -> None:
        if self.bar is None:
            return
        done = done_before + frames
        if read_fraction > 0 and files_left == 0:
            # The frames of the whole input, estimated from the share of the last file read.
            self.bar.total = max(done, math.ceil(done / min(1.0, read_fraction)))
        self.bar.update(frames)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


class Plotted:
    """The rows of the first chain of the first file, drawn with --plot at the end."""

    def __init__(self, args: argparse.Namespace) -> None:
        self.target: str | None = getattr(args, "plot", None)
        self.command = args.command
        self.key: tuple[str, str] | None = None
        self.rows: list[Row] = []
        self.n = 0

    def add(self, rows: list[Row], piece: Piece) -> None:
        if self.target is None or not rows:
            return
        key = (rows[0]["file"], piece.chain)
        if self.key is None:
            self.key = key
        if key == self.key:
            self.rows += rows if self.command == "size" else [r for r in rows if r["frame"] == 0]
            self.n = max(self.n, piece.frames.shape[1])

    def draw(self) -> None:
        if self.target is None or not self.rows:
            return
        try:
            from . import plot
        except ImportError as error:
            raise InputError(str(error)) from None
        if self.command == "size":
            figure = plot.cores([r["knot"] for r in self.rows],
                                [[r["start"], r["end"], r["length"]] for r in self.rows], self.n)
        else:
            figure = plot.fingerprint(self.rows)
        figure.savefig(self.target, dpi=150)


def run(args: argparse.Namespace, out: IO[str]) -> int:
    writer = Writer(out, args.format, COLUMNS[args.command], args.files)
    progress = Progress(args.quiet)
    plotted = Plotted(args)
    done = 0
    try:
        for index, path in enumerate(args.files):
            for piece in pieces_of(path, args.chunk, args.chain):
                first, count = piece.first, len(piece.frames)
                try:
                    rows = typed_rows(args, path, piece)
                except (RuntimeError, ValueError) as error:
                    raise InputError(f"{path}: frames {first} to {first + count - 1}: {error}") from None
                writer.write(rows)
                plotted.add(rows, piece)
                progress.update(count, done, piece.read(), len(args.files) - 1 - index)
                done += count
    except InputError as error:
        progress.close()
        writer.close()
        print(f"skeinlab: error: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        progress.close()
        writer.close()
        print(f"skeinlab: interrupted after {done} frames; their rows are written", file=sys.stderr)
        return 130
    progress.close()
    writer.close()
    try:
        plotted.draw()
    except InputError as error:
        print(f"skeinlab: error: {error}", file=sys.stderr)
        return 1
    return 0


def main(argv: list[str] | None = None) -> int:
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
