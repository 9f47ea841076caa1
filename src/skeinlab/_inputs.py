"""The inputs of the command line: XYZ trajectories and LAMMPS dumps streamed in chunks, structures chain by
chain."""
from __future__ import annotations

import bz2
import contextlib
import gzip
import lzma
import os
import re
import shutil
import sys
import tempfile
import warnings
from collections.abc import Callable, Iterator
from typing import Any, Literal

import numpy as np

from ._core import iter_xyz, read_pdb
from .simulation import ChainFrame, lammps_chain_frames
from .topology import Grouping, Layout, TopologyError


class InputError(Exception):
    """An input that cannot be read or typed; the message names file, frame and line."""


def input_error(path: str, error: Exception) -> InputError:
    """The error of reading a file, naming the file, and the line that is not UTF-8 when that is the cause."""
    text = str(error) if path in str(error) else f"{path}: {error}"
    if isinstance(error.__cause__, UnicodeError):
        text += f" ({error.__cause__})"
    return InputError(text)


STRUCTURE_SUFFIXES = (".pdb", ".ent", ".cif", ".mmcif", ".pdbx")
LAMMPS_SUFFIXES = (".lammpstrj", ".dump")
# Read through MDAnalysis (the md extra), with --topology where the format has no atoms of its own.
MD_SUFFIXES = (".xtc", ".trr", ".dcd", ".gsd", ".nc", ".ncdf", ".tng", ".h5md", ".lammpsdump", ".gro")
# Trajectories without atoms of their own: they need a topology.
NEEDS_TOPOLOGY = (".xtc", ".trr", ".dcd", ".nc", ".ncdf", ".tng", ".h5md", ".lammpsdump")
COMPRESSED: dict[str, Callable[..., Any]] = {".gz": gzip.open, ".bz2": bz2.open, ".xz": lzma.open}


def base_name(path: str) -> str:
    """The file's name in lower case without a compression suffix."""
    name = path.lower()
    for suffix in COMPRESSED:
        name = name.removesuffix(suffix)
    return name


def is_structure(path: str) -> bool:
    return base_name(path).endswith(STRUCTURE_SUFFIXES)


def is_lammps(path: str) -> bool:
    return base_name(path).endswith(LAMMPS_SUFFIXES)


def is_lammps_data(path: str | None) -> bool:
    return path is not None and base_name(path).endswith((".data", ".lmp"))


def is_md(path: str, topology: str | None) -> bool:
    if is_lammps(path) and (topology is None or is_lammps_data(topology)):
        return False
    return topology is not None or base_name(path).endswith(MD_SUFFIXES)


@contextlib.contextmanager
def plain_file(path: str) -> Iterator[str]:
    """The path of the file's text: the file itself, or its decompressed copy in a temporary file (removed
    afterwards) for .gz, .bz2 and .xz files, which the compiled readers do not read."""
    suffix = next((s for s in COMPRESSED if path.lower().endswith(s)), None)
    if suffix is None:
        yield path
        return
    if not os.path.exists(path):
        raise InputError(f"Cannot open file: {path}")
    handle, copy = tempfile.mkstemp(suffix=os.path.basename(path)[:-len(suffix)][-40:].lstrip("."))
    try:
        try:
            with COMPRESSED[suffix](path, "rb") as source, os.fdopen(handle, "wb") as target:
                shutil.copyfileobj(source, target, 1 << 20)
        except (OSError, EOFError, lzma.LZMAError) as error:
            raise InputError(f"{path}: cannot decompress: {error}") from None
        try:
            yield copy
        except (InputError, TopologyError, RuntimeError, OSError, ValueError) as error:
            # Messages name the file the user gave, not its decompressed copy.
            if copy in str(error):
                raise type(error)(str(error).replace(copy, path)) from None
            raise
    finally:
        with contextlib.suppress(OSError):
            os.remove(copy)


class Selection:
    """Which chains of a frame the command types: by molecule id (or chain number), atom type, chain length;
    the topology of an MD trajectory."""

    def __init__(self, chain_type: Literal["ring", "open"] | None, chain_length: int | None = None,
                 molecules: list[int] | None = None, types: list[str] | None = None,
                 topology: str | None = None, whole_frames: bool = False, select: str | None = None,
                 by: Grouping | None = None, frames: tuple[int | None, int | None, int | None] = (None, None, None),
                 verbose: bool = False, notes: Callable[[str, list[str]], None] | None = None) -> None:
        # chain_type None: as the input says (bonds; rings for simulations, open chains for structures).
        self.chain_type, self.chain_length, self.molecules, self.types = chain_type, chain_length, molecules, types
        # A structure's chains of one model together (for links), instead of chain by chain.
        self.topology, self.whole_frames = topology, whole_frames
        self.select, self.by, self.frames, self.verbose = select, by, frames, verbose
        # Called with a file and what was left out of it, once per file.
        self.notes = notes or (lambda path, notes: None)


class Piece:
    """A chunk of rows to type: frames of one chain of one file, or the chains of some frames.

    ``chains`` holds one chain of points per row (views, never padded to each other), ``labels`` the
    (frame, chain) of every row (by default consecutive frames of ``chain`` from ``first``), ``winding`` the
    rows that are rings winding around a periodic box, ``rings`` each row's chain type where the input
    decides it (None: the command's), ``not_chains`` the rows that are not chains, with why; ``frames`` the
    frames the piece ends (for the progress bar)."""

    def __init__(self, chain: str, first: int, chains: list[np.ndarray], read: Callable[[], float],
                 residues: list[str] | None = None, labels: list[tuple[int, str]] | None = None,
                 winding: np.ndarray | None = None, rings: np.ndarray | None = None,
                 not_chains: dict[int, str] | None = None, frames: int | None = None) -> None:
        self.chain, self.first, self.chains, self.read, self.residues = chain, first, chains, read, residues
        self.labels = labels if labels is not None else [(first + i, chain) for i in range(len(chains))]
        self.winding = winding if winding is not None else np.zeros(len(chains), dtype=bool)
        self.rings, self.not_chains = rings, not_chains or {}
        self.frames = frames if frames is not None else len({frame for frame, _ in self.labels})

    @property
    def points(self) -> int:
        """The most points of a chain of the piece."""
        return max((len(c) for c in self.chains), default=0)


def chain_pieces(path: str, frames: Iterator[ChainFrame], chunk: int, read: Callable[[], float]) -> Iterator[Piece]:
    """Pieces of about `chunk` chains (whole frames) from frames of a simulation; a chain that is not one
    (its points jump) is noted once per file and its rows say so."""
    chains: list[np.ndarray] = []
    labels: list[tuple[int, str]] = []
    winding: list[np.ndarray] = []
    rings: list[np.ndarray] = []
    not_chains: dict[int, str] = {}
    noted: set[str] = set()
    first = frames_done = 0
    failure: BaseException | None = None
    while True:
        # A frame that cannot be read ends the file after the pieces of the frames before it.
        try:
            frame = next(frames)
        except StopIteration:
            break
        except Exception as error:
            failure = error
            break
        for k, name in enumerate(frame.names):
            gap = frame.gap_text(k)
            if gap is not None:
                not_chains[len(labels) + k] = gap
                if name not in noted:
                    noted.add(name)
                    print(f"skeinlab: note: {path} chain {name} frame {frame.frame}: not a chain: {gap} (its rows say "
                          "'not a chain'; noted once a chain)", file=sys.stderr)
        chains += frame.chains
        labels += [(frame.frame, name) for name in frame.names]
        winding.append(frame.winding)
        rings.append(frame.rings)
        frames_done += 1
        if len(labels) >= chunk:
            yield Piece("", first, chains, read, labels=labels, winding=np.concatenate(winding),
                        rings=np.concatenate(rings), not_chains=not_chains, frames=frames_done)
            first += len(labels)
            chains, labels, winding, rings, not_chains, frames_done = [], [], [], [], {}, 0
    if labels or frames_done:
        yield Piece("", first, chains, lambda: 1.0, labels=labels,
                    winding=np.concatenate(winding) if winding else np.zeros(0, dtype=bool),
                    rings=np.concatenate(rings) if rings else np.zeros(0, dtype=bool), not_chains=not_chains,
                    frames=frames_done)
    if failure is not None:
        raise failure


def one_chain_checked(path: str, frames: Iterator[ChainFrame]) -> Iterator[ChainFrame]:
    """The frames of a dump read as one chain a frame (no molecules, no topology): a frame whose one chain is
    not a chain is an error, for nothing says where its chains are."""
    for frame in frames:
        if len(frame.names) == 1 and frame.gap_text(0) is not None:
            raise InputError(f"{path}: frame {frame.frame}: the atoms are not one chain ({frame.gap_text(0)}); give "
                             "--topology (a data file with bonds or molecules) or --chain-length")
        yield frame


def lammps_pieces(path: str, chunk: int, selection: Selection) -> Iterator[Piece]:
    """The chains of the frames of a LAMMPS dump, about `chunk` chains per piece (whole frames)."""
    try:
        with plain_file(path) as plain:
            notes, frames, tell = lammps_chain_frames(
                plain, selection.chain_type, selection.chain_length, selection.types, selection.molecules,
                selection.topology, selection.select, *selection.frames)
            size = os.path.getsize(plain)
            first = next(frames, None)
            selection.notes(path, notes)
            if first is None:
                return
            if selection.topology is None and selection.chain_length is None and len(first.names) == 1:
                frames = one_chain_checked(path, _chained(iter([first]), frames))
            else:
                frames = _chained(iter([first]), frames)
            yield from chain_pieces(path, frames, chunk, (lambda: tell() / size) if size else (lambda: 1.0))
    except TopologyError as error:
        raise InputError(str(error)) from None
    except (RuntimeError, FileNotFoundError, OSError, ValueError) as error:
        raise input_error(path, error) from None


def _chained(*streams: Iterator[ChainFrame]) -> Iterator[ChainFrame]:
    for stream in streams:
        yield from stream


def md_error(path: str, topology: str | None, error: Exception) -> InputError:
    """One line naming the file at fault, from an error of MDAnalysis."""
    text = str(error).strip().splitlines()[0] if str(error).strip() else type(error).__name__
    counts = re.findall(r"(\d+)", str(error))
    if "number of atoms" in str(error) and topology and len(counts) >= 2:
        return InputError(f"{path}: has {counts[-1]} atoms, but the topology {topology} has {counts[0]}")
    return InputError(f"{path}: {text}")


def universe_of(path: str, selection: Selection) -> Any:
    """The MDAnalysis Universe of a trajectory and its topology, each file's error naming that file."""
    from .md import _mdanalysis
    try:
        mda = _mdanalysis()
    except ImportError as error:
        raise InputError(f"{path}: {error}") from None
    topology = selection.topology
    if topology is None and base_name(path).endswith(NEEDS_TOPOLOGY):
        raise InputError(f"{path}: needs --topology (.gro, .tpr, .psf, .pdb or .data)")
    if topology is None:
        try:
            return mda.Universe(path)
        except Exception as error:  # MDAnalysis raises many kinds for files it cannot read
            raise md_error(path, None, error) from None
    if not os.path.exists(topology):
        raise InputError(f"{topology}: no such topology file")
    try:
        universe = mda.Universe(topology)
    except Exception as error:
        raise md_error(topology, None, error) from None
    extra = {"format": "LAMMPSDUMP"} if is_lammps(path) else {}
    try:
        universe.load_new(path, **extra)
    except Exception as error:
        count = len(universe.atoms)
        if "atoms" in str(error):
            found = re.findall(r"(\d+)", str(error))
            other = next((n for n in reversed(found) if int(n) != count), None)
            if other is not None:
                raise InputError(f"{path}: has {other} atoms, but the topology {topology} has {count}") from None
        raise md_error(path, topology, error) from None
    return universe


@contextlib.contextmanager
def md_warnings(selection: Selection) -> Iterator[None]:
    """MDAnalysis' warnings hidden (unless verbose) while its files are read."""
    from .md import _mdanalysis
    with contextlib.suppress(ImportError):
        _mdanalysis()  # imported first: it sets warning filters of its own, which ours then override
    with warnings.catch_warnings():
        if not selection.verbose:
            warnings.simplefilter("ignore")
        yield


def md_layout(path: str, selection: Selection) -> tuple[Any, Layout]:
    """The Universe of an MD trajectory and the layout of the chains the selection asks for; errors are one
    line naming the file."""
    from .md import universe_layout
    universe = universe_of(path, selection)
    try:
        layout = universe_layout(universe, selection.select, selection.by, selection.chain_type,
                                 selection.types, selection.molecules, where=path)
    except TopologyError as error:
        raise InputError(str(error)) from None
    except Exception as error:  # a selection MDAnalysis cannot parse, a grouping without its data
        raise md_error(path, selection.topology, error) from None
    return universe, layout


def md_pieces(path: str, chunk: int, selection: Selection) -> Iterator[Piece]:
    """The chains of the frames of an MD trajectory read by MDAnalysis."""
    from .md import universe_frames
    with md_warnings(selection):
        universe, layout = md_layout(path, selection)
        selection.notes(path, layout.notes)
        count = len(universe.trajectory)
        frames = universe_frames(universe, layout, *selection.frames)
        try:
            yield from chain_pieces(path, frames, chunk, lambda: (universe.trajectory.ts.frame + 1) / max(count, 1))
        except (InputError, KeyboardInterrupt):
            raise
        except Exception as error:
            raise md_error(path, selection.topology, error) from None


def split_chains(piece: Piece, frames: np.ndarray, selection: Selection) -> Piece:
    """The frames of an XYZ piece cut into chains of `selection.chain_length` points (numbered from 1)."""
    length = selection.chain_length
    if length is None:
        return piece
    atoms = frames.shape[1]
    if atoms % length:
        raise InputError(f"frames of {atoms} points are not a whole number of chains of {length}")
    per_frame = atoms // length
    keep = [k for k in range(per_frame) if not selection.molecules or k + 1 in selection.molecules]
    missing = sorted(set(selection.molecules or []) - {k + 1 for k in range(per_frame)})
    if missing:
        raise InputError(f"no chain {', '.join(map(str, missing))}: the frames hold chains 1 to {per_frame}")
    chains = frames.reshape(len(frames), per_frame, length, 3)[:, keep].reshape(-1, length, 3)
    frame_numbers = [label[0] for label in piece.labels]
    labels = [(f, str(k + 1)) for f in frame_numbers for k in keep]
    return Piece("", piece.first * len(keep), list(chains), piece.read, labels=labels, frames=len(frames))


def structure_pieces(path: str, chunk: int, wanted: list[str] | None, shown: str | None = None) -> Iterator[Piece]:
    """The chains of a structure: through gemmi when it is installed, else read_pdb for PDB files."""
    try:
        from .structures import read_chains
        chains = read_chains(path)
    except ImportError:
        if base_name(path).endswith((".cif", ".mmcif", ".pdbx")) or base_name(path) != path.lower():
            raise InputError(f"{path}: reading mmCIF and compressed files needs gemmi: "
                             "pip install skeinlab[structures]") from None
        try:
            frames = read_pdb(path, atom_filter="ca")
        except (RuntimeError, FileNotFoundError) as error:
            raise input_error(path, error) from None
        for first in range(0, len(frames), chunk):
            yield Piece("", first, unpadded(frames[first:first + chunk]), lambda: 1.0)
        return
    except (RuntimeError, FileNotFoundError, ValueError) as error:
        raise input_error(path, error) from None
    names = list(chains) if not wanted else [c for c in wanted if c in chains]
    missing = [c for c in (wanted or []) if c not in chains]
    if missing:
        raise InputError(f"{path}: no polymer chain {', '.join(missing)} (chains: {', '.join(chains) or 'none'})")
    if not names:
        raise InputError(f"{path}: no polymer chain: {chains.contents}")
    for name in names:
        breaks = chains.breaks[name]
        if breaks:
            residues = chains.residues[name]
            shown = ", ".join(f"{residues[i - 1]}-{residues[i]}" for i in breaks[:5])
            more = f" and {len(breaks) - 5} more" if len(breaks) > 5 else ""
            print(f"skeinlab: warning: {shown or path} chain {name}: {len(breaks)} chain break(s) (alpha carbons more "
                  f"than 4.2 A apart) between residues {shown}{more}; a gap can tie or untie a knot",
                  file=sys.stderr)
        frames = chains[name]
        for first in range(0, len(frames), chunk):
            yield Piece(name, first, list(frames[first:first + chunk]), lambda: 1.0, chains.residues[name])


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
        arrays = [chains[c][model] for c in names if model < len(chains[c])]
        labels = [(model, c) for c in names if model < len(chains[c])]
        if arrays:
            yield Piece("", model, arrays, lambda: 1.0, labels=labels)


def pieces_of(path: str, chunk: int, wanted: list[str] | None, selection: Selection) -> Iterator[Piece]:
    """The chunks of rows of a file: chain by chain for structures, the chains of whole frames for LAMMPS
    dumps and MD trajectories, frames (cut into chains by length when asked) for XYZ files. A file without a
    frame is an error that says so."""
    empty = True
    for piece in file_pieces(path, chunk, wanted, selection):
        empty = False
        yield piece
    if empty and not (is_lammps(path) or is_md(path, selection.topology)):
        raise InputError(f"{path}: no frames (an empty file)")


def xyz_pieces(path: str, chunk: int, selection: Selection) -> Iterator[Piece]:
    """The frames of an XYZ file in chunks, sliced and cut into chains as asked."""
    start, stop, step = selection.frames
    try:
        with plain_file(path) as plain:
            stream = iter_xyz(plain, chunk)  # opened first: it names a missing file
            size = os.path.getsize(plain)
            count = None
            if (start is not None and start < 0) or (stop is not None and stop < 0):
                count = sum(len(frames) for frames in iter_xyz(plain, chunk))
            wanted = range(count if count is not None else 2 ** 62)[slice(start, stop, step)]
            first = 0
            for frames in stream:
                numbers = [first + k for k in range(len(frames)) if (first + k) in wanted]
                read = (lambda: stream.tell() / size) if size else (lambda: 1.0)
                if numbers:
                    chosen = frames[[n - first for n in numbers]]
                    piece = Piece("", numbers[0], unpadded(chosen), read, labels=[(n, "") for n in numbers])
                    yield split_chains(piece, chosen, selection)
                first += len(frames)
                if first >= wanted.stop and wanted.step > 0:
                    break
    except (RuntimeError, FileNotFoundError, OSError) as error:
        raise input_error(path, error) from None


def file_pieces(path: str, chunk: int, wanted: list[str] | None, selection: Selection) -> Iterator[Piece]:
    """The pieces of one file, by its kind."""
    if is_structure(path) and not is_md(path, selection.topology):
        # gemmi reads gzip itself; other compressions are decompressed first, and its messages name the file.
        with plain_file(path) if not path.lower().endswith(".gz") else contextlib.nullcontext(path) as plain:
            try:
                if selection.whole_frames:
                    yield from structure_models(plain, wanted)
                else:
                    yield from structure_pieces(plain, chunk, wanted, shown=path)
            except InputError as error:
                raise InputError(str(error).replace(plain, path)) from None
        return
    if is_md(path, selection.topology):
        yield from md_pieces(path, chunk, selection)
        return
    if is_lammps(path):
        yield from lammps_pieces(path, chunk, selection)
        return
    yield from xyz_pieces(path, chunk, selection)


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
