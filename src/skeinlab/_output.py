"""The outputs of the command line: rows as a table, CSV or JSON, the progress bar, and --plot."""
from __future__ import annotations

import argparse
import csv
import json
import math
import os
import sys
from typing import IO, Any

from ._inputs import InputError, Piece

Row = dict[str, Any]


class Writer:
    """Writes rows as they come in the chosen format."""

    def __init__(self, out: IO[str], fmt: str, columns: list[str], files: list[str]) -> None:
        self.out, self.fmt, self.columns = out, fmt, columns
        self.count = 0
        self.begun = False
        if fmt == "csv":
            self.csv = csv.writer(out, lineterminator="\n")
        elif fmt == "table":
            self.widths = {c: len(c) for c in columns}
            self.widths["file"] = max([len("file")] + [len(f) for f in files])
            self.widths["chain"] = len("chain")
            self.widths["frame"] = max(len("frame"), 7)
            for c in ("start", "end", "length"):
                self.widths[c] = max(len(c), 6)
            self.widths["fraction"] = len("fraction")
            self.widths["frames"] = 7
            self.widths["knot"] = 6

    def begin(self) -> None:
        """The header (or the opening bracket), written with the first rows or
        at the end, so that an input failing before any row leaves no output."""
        if self.begun:
            return
        self.begun = True
        if self.fmt == "csv":
            self.csv.writerow(self.columns)
        elif self.fmt == "json":
            self.out.write("[")
        elif self.fmt == "table":
            self.out.write(self.table_line({c: c for c in self.columns}))

    def table_line(self, cells: dict[str, str]) -> str:
        parts = []
        for c in self.columns:
            text = cells[c]
            right = c in ("frame", "start", "end", "length", "fraction", "first_residue", "last_residue", "linking",
                          "cluster", "size", "frames")
            parts.append(text.rjust(self.widths[c]) if right else text.ljust(self.widths[c]))
        return "  ".join(parts).rstrip() + "\n"

    @staticmethod
    def spectrum_text(spectrum: dict[str, float]) -> str:
        return " ".join(f"{name}:{share:g}" for name, share in spectrum.items())

    def write(self, rows: list[Row]) -> None:
        if rows:
            self.begin()
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
                        cells[c] = f"{value:.2f}" if value != "" else ""
                    else:
                        cells[c] = str(value)
                self.out.write(self.table_line(cells))
            self.count += 1
        self.out.flush()

    def close(self, failed: bool = False) -> None:
        """Ends the output; after a failure, nothing at all when no row was
        written."""
        if failed and not self.begun:
            return
        self.begin()
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


#: Rows whose chain could not be typed: counted apart in summaries, left blank in plots.
UNTYPED = ("winding", "not a chain")
SUMMARY_COLUMNS = ["file", "chain", "knot", "frames", "fraction"]


class Summary:
    """How many frames gave each knot name, per file and chain (--summary): the knotting probabilities
    simulation papers quote. Fractions are of the typed frames; frames that could not be typed ("winding",
    "not a chain") are counted apart, without a fraction. A file of several chains also gets the rows of
    all its chains together (chain "*")."""

    def __init__(self) -> None:
        self.counts: dict[str, dict[str, dict[str, int]]] = {}

    def add(self, rows: list[Row]) -> None:
        for row in rows:
            chains = self.counts.setdefault(row["file"], {})
            knots = chains.setdefault(str(row["chain"]), {})
            knots[row["knot"]] = knots.get(row["knot"], 0) + 1

    @staticmethod
    def rows_of(path: str, chain: str, knots: dict[str, int]) -> list[Row]:
        typed = sum(n for k, n in knots.items() if k not in UNTYPED)
        ordered = sorted(knots.items(), key=lambda item: (item[0] in UNTYPED, -item[1], item[0]))
        return [{"file": path, "chain": chain, "knot": knot, "frames": count,
                 "fraction": "" if knot in UNTYPED or not typed else round(count / typed, 6)}
                for knot, count in ordered]

    def rows(self) -> list[Row]:
        out: list[Row] = []
        for path, chains in self.counts.items():
            for chain, knots in chains.items():
                out += self.rows_of(path, chain, knots)
            if len(chains) > 1:
                total: dict[str, int] = {}
                for knots in chains.values():
                    for knot, count in knots.items():
                        total[knot] = total.get(knot, 0) + count
                out += self.rows_of(path, "*", total)
        return out


class Plotted:
    """The rows drawn with --plot at the end: the cores of the first chain of the first file (size), the
    map of its first frame (fingerprint), or every chain's knot over the frames of the first file (type,
    identify, spectrum)."""

    def __init__(self, args: argparse.Namespace) -> None:
        self.target: str | None = getattr(args, "plot", None)
        self.command = args.command
        self.key: tuple[str, str] | None = None
        self.rows: list[Row] = []
        self.n = 0

    def add(self, rows: list[Row], piece: Piece) -> None:
        if self.target is None or not rows:
            return
        if self.command in ("type", "identify", "spectrum"):
            first = self.rows[0]["file"] if self.rows else rows[0]["file"]
            self.rows += [r for r in rows if r["file"] == first]
            return
        key = (rows[0]["file"], piece.chain)
        if self.key is None:
            self.key = key
        if key == self.key:
            self.rows += rows if self.command == "size" else [r for r in rows if r["frame"] == 0]
            self.n = max(self.n, piece.points)

    def draw(self) -> None:
        if self.target is None or not self.rows:
            return
        try:
            from . import plot
        except ImportError as error:
            raise InputError(str(error)) from None
        if self.command in ("type", "identify", "spectrum"):
            names: dict[str, list[str]] = {}
            frames: dict[str, list[int]] = {}
            for r in self.rows:
                names.setdefault(str(r["chain"]) or "chain", []).append(r["knot"])
                frames.setdefault(str(r["chain"]) or "chain", []).append(int(r["frame"]))
            figure = plot.knots(names, frames, title=f"{os.path.basename(self.rows[0]['file'])}: knot of every chain over the frames")
        elif self.command == "size":
            figure = plot.cores([r["knot"] for r in self.rows],
                                [[r["start"], r["end"], r["length"]] for r in self.rows], self.n)
        else:
            figure = plot.fingerprint(self.rows)
        figure.savefig(self.target, dpi=150)
