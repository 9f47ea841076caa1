"""The inputs of the command line: XYZ trajectories streamed in chunks, structures chain by chain."""
from __future__ import annotations

import os
import sys
from collections.abc import Callable, Iterator

import numpy as np

from ._core import iter_xyz, read_pdb


class InputError(Exception):
    """An input that cannot be read or typed; the message names file, frame and line."""


def input_error(path: str, error: Exception) -> InputError:
    """The error of reading a file, naming the file, and the line that is not UTF-8 when that is the cause."""
    text = str(error) if path in str(error) else f"{path}: {error}"
    if isinstance(error.__cause__, UnicodeError):
        text += f" ({error.__cause__})"
    return InputError(text)


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
            raise input_error(path, error) from None
        for first in range(0, len(frames), chunk):
            yield Piece("", first, frames[first:first + chunk], lambda: 1.0)
        return
    except (RuntimeError, FileNotFoundError, ValueError) as error:
        raise input_error(path, error) from None
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
        raise input_error(path, error) from None


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
