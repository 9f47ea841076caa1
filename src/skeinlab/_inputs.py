"""The inputs of the command line: XYZ trajectories and LAMMPS dumps streamed in chunks, structures chain by
chain."""
from __future__ import annotations

import os
import sys
from collections.abc import Callable, Iterator
from typing import Literal

import numpy as np

from ._core import iter_xyz, lammps_frames, read_pdb


class InputError(Exception):
    """An input that cannot be read or typed; the message names file, frame and line."""


def input_error(path: str, error: Exception) -> InputError:
    """The error of reading a file, naming the file, and the line that is not UTF-8 when that is the cause."""
    text = str(error) if path in str(error) else f"{path}: {error}"
    if isinstance(error.__cause__, UnicodeError):
        text += f" ({error.__cause__})"
    return InputError(text)


STRUCTURE_SUFFIXES = (".pdb", ".ent", ".cif", ".mmcif")
LAMMPS_SUFFIXES = (".lammpstrj", ".dump")
# Read through MDAnalysis (the md extra), with --topology where the format has no atoms of its own.
MD_SUFFIXES = (".xtc", ".trr", ".dcd", ".gsd", ".nc", ".ncdf", ".tng", ".h5md", ".lammpsdump")


def is_structure(path: str) -> bool:
    name = path.lower()
    return name.removesuffix(".gz").endswith(STRUCTURE_SUFFIXES)


def is_lammps(path: str) -> bool:
    return path.lower().endswith(LAMMPS_SUFFIXES)


def is_md(path: str, topology: str | None) -> bool:
    return topology is not None or path.lower().endswith(MD_SUFFIXES)


class Selection:
    """Which chains of a frame the command types: by molecule id (or chain number), atom type, chain length;
    the topology of an MD trajectory."""

    def __init__(self, chain_type: Literal["ring", "open"], chain_length: int | None = None,
                 molecules: list[int] | None = None, types: list[int] | None = None,
                 topology: str | None = None, whole_frames: bool = False) -> None:
        self.chain_type, self.chain_length, self.molecules, self.types = chain_type, chain_length, molecules, types
        # A structure's chains of one model together (for links), instead of chain by chain.
        self.topology, self.whole_frames = topology, whole_frames


class Piece:
    """A chunk of rows to type: frames of one chain of one file, or the chains of some frames.

    ``labels`` holds the (frame, chain) of every row of ``frames`` (by default consecutive frames of
    ``chain`` from ``first``), ``winding`` the rows that are rings winding around a periodic box."""

    def __init__(self, chain: str, first: int, frames: np.ndarray, read: Callable[[], float],
                 residues: list[str] | None = None, labels: list[tuple[int, str]] | None = None,
                 winding: np.ndarray | None = None) -> None:
        self.chain, self.first, self.frames, self.read, self.residues = chain, first, frames, read, residues
        self.labels = labels if labels is not None else [(first + i, chain) for i in range(len(frames))]
        self.winding = winding if winding is not None else np.zeros(len(frames), dtype=bool)


def stacked(arrays: list[np.ndarray]) -> np.ndarray:
    """Arrays of chains (k, n, 3) of several frames as one, shorter chains padded with NaN."""
    longest = max(a.shape[1] for a in arrays)
    out = np.full((sum(len(a) for a in arrays), longest, 3), np.nan)
    row = 0
    for a in arrays:
        out[row:row + len(a), :a.shape[1]] = a
        row += len(a)
    return out


def lammps_pieces(path: str, chunk: int, selection: Selection) -> Iterator[Piece]:
    """The chains of the frames of a LAMMPS dump, about `chunk` chains per piece (whole frames)."""
    try:
        stream = lammps_frames(path, selection.chain_type, selection.chain_length, selection.types,
                               selection.molecules)
        size = os.path.getsize(path)
        frames = ((chains, molecules, winds) for _, chains, molecules, winds, _ in stream)
        yield from frame_pieces(frames, chunk, lambda: stream.tell() / size if size else 1.0)
    except (RuntimeError, FileNotFoundError, OSError) as error:
        raise input_error(path, error) from None


def frame_pieces(frames: Iterator[tuple[np.ndarray, np.ndarray, np.ndarray]], chunk: int,
                 read: Callable[[], float]) -> Iterator[Piece]:
    """Pieces of about `chunk` chains (whole frames) from frames given as (chains, molecule ids, winding)."""
    arrays: list[np.ndarray] = []
    labels: list[tuple[int, str]] = []
    winding: list[np.ndarray] = []
    first = 0
    for index, (chains, molecules, winds) in enumerate(frames):
        if len(chains):
            arrays.append(chains)
            labels += [(index, str(m)) for m in molecules.tolist()]
            winding.append(winds)
        if len(labels) >= chunk:
            yield Piece("", first, stacked(arrays), read, labels=labels, winding=np.concatenate(winding))
            first += len(labels)
            arrays, labels, winding = [], [], []
    if labels:
        yield Piece("", first, stacked(arrays), lambda: 1.0, labels=labels, winding=np.concatenate(winding))


def md_pieces(path: str, chunk: int, selection: Selection) -> Iterator[Piece]:
    """The chains (by molecule) of the frames of an MD trajectory read by MDAnalysis."""
    try:
        from .md import _mdanalysis, iter_universe
        mda = _mdanalysis()
    except ImportError as error:
        raise InputError(f"{path}: {error}") from None
    try:
        universe = mda.Universe(selection.topology, path) if selection.topology else mda.Universe(path)
        select = "type " + " ".join(str(t) for t in selection.types) if selection.types else "all"
        wanted = set(selection.molecules or [])
        frames = iter_universe(universe, select=select, chain_type=selection.chain_type)
        count = len(universe.trajectory)

        def chosen() -> Iterator[tuple[np.ndarray, np.ndarray, np.ndarray]]:
            for frame in frames:
                keep = np.array([not wanted or int(m) in wanted for m in frame.molecules], dtype=bool)
                yield frame.chains[keep], frame.molecules[keep], frame.winding[keep]

        yield from frame_pieces(chosen(), chunk, lambda: (universe.trajectory.ts.frame + 1) / count)
    except InputError:
        raise
    except Exception as error:  # MDAnalysis raises many kinds for files it cannot read
        raise InputError(f"{path}: {type(error).__name__}: {error}") from None


def split_chains(piece: Piece, selection: Selection) -> Piece:
    """The frames of an XYZ piece cut into chains of `selection.chain_length` points (numbered from 1)."""
    length = selection.chain_length
    if length is None:
        return piece
    frames = piece.frames
    atoms = frames.shape[1]
    if atoms % length:
        raise InputError(f"frames of {atoms} points are not a whole number of chains of {length}")
    per_frame = atoms // length
    keep = [k for k in range(per_frame) if not selection.molecules or k + 1 in selection.molecules]
    chains = frames.reshape(len(frames), per_frame, length, 3)[:, keep].reshape(-1, length, 3)
    labels = [(piece.first + f, str(k + 1)) for f in range(len(frames)) for k in keep]
    return Piece("", piece.first * len(keep), chains, piece.read, labels=labels)


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


def structure_models(path: str, wanted: list[str] | None) -> Iterator[Piece]:
    """The polymer chains of a structure model by model, all chains of a model in one piece (needs gemmi)."""
    try:
        from .structures import read_chains
        chains = read_chains(path)
    except ImportError:
        raise InputError(f"{path}: the chains of a structure need gemmi: pip install skeinlab[structures]") from None
    except (RuntimeError, FileNotFoundError, ValueError) as error:
        raise input_error(path, error) from None
    names = [c for c in chains if not wanted or c in wanted]
    models = max((len(chains[c]) for c in names), default=0)
    for model in range(models):
        arrays = [chains[c][model][None] for c in names if model < len(chains[c])]
        labels = [(model, c) for c in names if model < len(chains[c])]
        if arrays:
            yield Piece("", model, stacked(arrays), lambda: 1.0, labels=labels)


def pieces_of(path: str, chunk: int, wanted: list[str] | None, selection: Selection) -> Iterator[Piece]:
    """The chunks of rows of a file: chain by chain for structures, the chains of whole frames for LAMMPS
    dumps, frames (cut into chains by length when asked) for XYZ files. A file without a frame is an
    error that says so."""
    empty = True
    for piece in file_pieces(path, chunk, wanted, selection):
        empty = False
        yield piece
    if empty and not (is_lammps(path) or is_md(path, selection.topology)):
        raise InputError(f"{path}: no frames (an empty file)")


def file_pieces(path: str, chunk: int, wanted: list[str] | None, selection: Selection) -> Iterator[Piece]:
    """The pieces of one file, by its kind."""
    if is_structure(path):
        if selection.whole_frames:
            yield from structure_models(path, wanted)
        else:
            yield from structure_pieces(path, chunk, wanted)
        return
    if is_md(path, selection.topology):
        yield from md_pieces(path, chunk, selection)
        return
    if is_lammps(path):
        yield from lammps_pieces(path, chunk, selection)
        return
    try:
        stream = iter_xyz(path, chunk)
        size = os.path.getsize(path)
        first = 0
        for frames in stream:
            yield split_chains(Piece("", first, frames, lambda: stream.tell() / size if size else 1.0), selection)
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
