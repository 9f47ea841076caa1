"""Simulation files as they come: the chains of every frame of a LAMMPS dump.

The dump is read by the compiled core one frame at a time (memory bounded by a
frame), its atoms cut into chains and unwrapped across the periodic box there;
this module gives the frames as :class:`SimulationFrame` records.
"""
from __future__ import annotations

import itertools
from collections.abc import Callable, Iterator, Sequence
from typing import Any, Literal, NamedTuple

import numpy as np

from . import _core
from .topology import MIN_ATOMS, Layout, TopologyError, lammps_layout, plural


class SimulationFrame(NamedTuple):
    """The chains of one frame of a simulation.

    Attributes
    ----------
    timestep
        The frame's timestep.
    chains
        float64 array (K, N, 3): the K chains in increasing molecule id, each
        unwrapped across the periodic box, shorter ones padded with NaN (every
        typing function takes it, each chain typed on its own).
    molecules
        int64 array (K,): each chain's molecule id (or, split by length, its
        number from 1).
    winding
        bool array (K,): rings that wind around the periodic box (their ends
        are whole box vectors apart once unwrapped). Such a ring is not
        closed in space and has no knot type as a ring: type
        ``chains[~winding]``.
    box
        float64 array (4, 3): the box's corner, then its edge vectors a, b, c.
    """

    timestep: int
    chains: np.ndarray
    molecules: np.ndarray
    winding: np.ndarray
    box: np.ndarray


class ChainFrame(NamedTuple):
    """One frame's chains without padding: chain k is ``points[offsets[k]:offsets[k + 1]]``.

    ``frame`` is the frame's number in the file (from 0), ``names`` the chains' names in rows, ``rings`` which
    chains are rings, ``gaps`` (K, 3) each chain's first gap (index of its first point, -1 for none, -2 for
    atoms scattered with no bond standing out; length, or the median distance to the nearest atom; median
    bond), checked where ``checked`` says so."""

    frame: int
    timestep: int
    points: np.ndarray
    offsets: np.ndarray
    ids: np.ndarray
    names: list[str]
    rings: np.ndarray
    winding: np.ndarray
    gaps: np.ndarray
    checked: np.ndarray
    box: np.ndarray

    @property
    def chains(self) -> list[np.ndarray]:
        """Each chain's points, views into ``points``."""
        return [self.points[a:b] for a, b in zip(self.offsets[:-1].tolist(), self.offsets[1:].tolist())]

    def gap_text(self, k: int) -> str | None:
        """Why chain k is not a chain ("atoms 45 and 46 are 18.3 apart; median bond 1.0"), or None."""
        index, distance, median = self.gaps[k].tolist()
        if index == -1 or not self.checked[k]:
            return None
        if index == -2:
            return (f"its atoms are scattered: the median bond, {median:.2g}, is {median / distance:.1f} times the "
                    f"median distance to the nearest atom, {distance:.2g}")
        return f"atoms {int(index)} and {int(index) + 1} are {distance:.1f} apart; median bond {median:.2g}"


def padded(chains: Sequence[np.ndarray]) -> np.ndarray:
    """Chains of different lengths as one (K, N, 3) float64 array, shorter ones padded with NaN."""
    longest = max((len(c) for c in chains), default=0)
    out = np.full((len(chains), longest, 3), np.nan)
    for k, chain in enumerate(chains):
        out[k, :len(chain)] = chain
    return out


def frame_slice(frames: Iterator[Any], start: int | None, stop: int | None, step: int | None,
                count: Callable[[], int]) -> Iterator[tuple[int, Any]]:
    """The frames of ``range(count)[start:stop:step]`` with their indices, from a stream; ``count`` (a pass
    over the file) is called only for a negative start or stop."""
    if step is not None and step < 1:
        raise ValueError(f"step must be at least 1, got {step}")
    if (start is not None and start < 0) or (stop is not None and stop < 0):
        chosen = range(count())[start:stop:step]
        start, stop = chosen.start, max(chosen.stop, chosen.start)
    return itertools.islice(enumerate(frames), start, stop, step)


def lammps_types(types: Sequence[int | str] | None, where: str) -> list[int] | None:
    """Type numbers for a dump read without a data file (which alone knows type labels)."""
    if not types:
        return None
    if not isinstance(types, (list, tuple, np.ndarray)):
        return types  # type: ignore[return-value]  # the core's TypeError names the argument
    numbers = []
    for t in types:
        if not str(t).lstrip("-").isdigit():
            raise TopologyError(f"{where}: the type {t} is a name, and a dump's types are numbers; give the data "
                                "file with its type labels as topology")
        numbers.append(int(t))
    return numbers


def lammps_data_selection(topology: str, data: dict[str, Any], select: str) -> np.ndarray:
    """The atoms of a data file (in id order) that an MDAnalysis selection picks."""
    from .md import _mdanalysis

    mda = _mdanalysis()
    # MDAnalysis names the molecule column resid.
    styles = {"full": "id resid type charge x y z", "molecular": "id resid type x y z", "bond": "id resid type x y z",
              "angle": "id resid type x y z", "atomic": "id type x y z", "charge": "id type charge x y z"}
    extra = {"atom_style": styles[data["style"]]} if data["style"] in styles else {}
    universe = mda.Universe(topology, format="DATA", **extra)
    chosen = universe.select_atoms(select)
    if len(chosen) == 0:
        raise TopologyError(f"{topology}: the selection '{select}' matches no atom")
    return np.isin(data["ids"], np.asarray(chosen.ids))


def lammps_chain_frames(filename: str, chain_type: Literal["ring", "open"] | None = None,
                        chain_length: int | None = None, types: Sequence[int | str] | None = None,
                        molecules: Sequence[int | str] | None = None, topology: str | None = None,
                        select: str | None = None, start: int | None = None, stop: int | None = None,
                        step: int | None = None, check: bool = True
                        ) -> tuple[list[str], Iterator[ChainFrame], Callable[[], int]]:
    """The notes (what was left out), the frames of a LAMMPS dump as ChainFrame records, and the bytes of the
    dump read so far.

    With ``topology`` (a data file) the chains are its bonds' (or molecules'), matched by atom id; otherwise
    the dump's molecules (or runs of ``chain_length`` atoms). With ``check``, chains not drawn from bonds
    are checked for gaps, and molecules of fewer than MIN_ATOMS atoms (without ``chain_length``) left out."""
    notes: list[str] = []
    layout: Layout | None = None
    if topology is not None:
        data = _core.read_lammps_data(topology)
        selected = lammps_data_selection(topology, data, select) if select else None
        layout = lammps_layout(data, topology, chain_type, types, molecules, selected)
        notes = list(layout.notes)
        stream = _core.lammps_frames(filename, layout=layout.core(len(data["ids"])), check_gaps=check,
                                     ragged=True)
    else:
        if select:
            raise TopologyError(f"{filename}: --select needs a topology (the data file) for a LAMMPS dump")
        numbers = lammps_types(types, filename)
        stream = _core.lammps_frames(filename, chain_type or "ring", chain_length, numbers,
                                     [int(m) for m in molecules] if molecules else None, check_gaps=check,
                                     ragged=True)

    def count() -> int:
        return sum(1 for _ in _core.lammps_frames(filename, ragged=True))

    def frames() -> Iterator[ChainFrame]:
        first = True
        for index, (timestep, points, offsets, ids, winding, box, gaps) in frame_slice(stream, start, stop, step,
                                                                                       count):
            if layout is not None:
                names, rings, checked = layout.names, layout.rings, layout.checked & check
            else:
                names = [str(i) for i in ids.tolist()]
                rings = np.full(len(ids), chain_type != "open")
                checked = np.full(len(ids), check)
                if first and molecules:
                    missing = sorted({str(m) for m in molecules} - set(names))
                    if missing:
                        raise TopologyError(f"{filename}: no molecule {', '.join(missing)} in frame {index}")
                if first and types and not len(ids):
                    raise TopologyError(f"{filename}: no atom of type {', '.join(map(str, types))} in frame {index}")
                small = np.diff(offsets) < MIN_ATOMS
                if check and chain_length is None and small.any():
                    if first:
                        notes.append(f"skipped {plural(int(small.sum()), 'molecule')} of fewer than {MIN_ATOMS} atoms")
                    keep = ~small
                    lengths = np.diff(offsets)[keep]
                    points = np.concatenate([points[a:b] for a, b, k in zip(offsets[:-1], offsets[1:], keep) if k]
                                            or [np.zeros((0, 3))])
                    offsets = np.concatenate([[0], np.cumsum(lengths)]).astype(np.int64)
                    ids, winding, gaps = ids[keep], winding[keep], gaps[keep]
                    names = [n for n, k in zip(names, keep) if k]
                    rings, checked = rings[keep], checked[keep]
            first = False
            yield ChainFrame(index, timestep, points, offsets, ids, names, rings, winding, gaps, checked, box)

    return notes, frames(), stream.tell


def iter_lammps(filename: str, chain_type: Literal["ring", "open"] | None = None, chain_length: int | None = None,
                types: Sequence[int | str] | None = None, molecules: Sequence[int] | None = None,
                topology: str | None = None, start: int | None = None, stop: int | None = None,
                step: int | None = None) -> Iterator[SimulationFrame]:
    """The chains of every frame of a LAMMPS text dump, frame by frame.

    Reads ``dump atom`` and ``dump custom`` text files (``.lammpstrj``,
    ``.dump``): per frame ``ITEM: TIMESTEP``, ``NUMBER OF ATOMS``, ``BOX
    BOUNDS`` (orthogonal or triclinic) and ``ATOMS`` with its columns in any
    order. Positions come from ``xu yu zu`` or ``xsu ysu zsu`` (unwrapped), else
    ``x y z`` or ``xs ys zs`` (scaled: fractions of the box); atoms are put in
    ``id`` order.

    Parameters
    ----------
    filename
        Path of the dump.
    chain_type
        "ring" or "open": rings are checked for winding around the box. None:
        rings, or with a topology each chain as its bonds draw it (a cycle a
        ring, a path an open chain).
    chain_length
        Cut the atoms (in id order) into chains of this many; None: one chain
        per molecule (``mol`` column), or the whole frame when there is none.
    types
        Keep only atoms of these types (``type`` column, or the data file's
        types, which may be given by their labels), e.g. a bottlebrush's
        backbone; None keeps all.
    molecules
        Keep only chains with these molecule ids; None keeps all.
    topology
        A LAMMPS data file (any atom style; one with a molecule column, or
        bonds): its bonds decide the chains, each connected component ordered
        along its bonds (molecules of fewer than 4 atoms and branched ones
        left out), else its molecule ids; its types replace the dump's. The
        dump's atoms are matched by id.
    start, stop, step
        The frames, as Python slices them (a negative start or stop reads the
        file once more to count its frames).

    Yields
    ------
    SimulationFrame
        One per frame. Chains are unwrapped where the box is periodic (flags
        ``pp``): by the image flags ``ix iy iz`` when the dump has them, else
        by the minimum image of every bond; unwrapped positions are kept.

    Raises
    ------
    FileNotFoundError
        "Cannot open file: {filename}".
    RuntimeError
        A malformed or truncated dump, with " (frame F, line L of FILE)": the
        frames before it are yielded first; a file without a frame, "{FILE}:
        no frames (an empty file)"; also "{n} atoms are not a whole number of
        chains of {chain_length}", "the frame has no atom types to keep types
        ... by"; a data file that cannot be read, or whose atoms are not the
        dump's.
    ValueError
        A type or molecule that matches nothing with a topology.

    Examples
    --------
    >>> for frame in skeinlab.iter_lammps("melt.lammpstrj"):
    ...     names = skeinlab.knot_type(frame.chains[~frame.winding])
    """
    if topology is None and start is None and stop is None and step is None:
        numbers = lammps_types(types, filename)
        for timestep, chains, ids, winding, box in _core.lammps_frames(filename, chain_type or "ring", chain_length,
                                                                     numbers, molecules):
            yield SimulationFrame(timestep, chains, ids, winding, box)
        return
    _, frames, _ = lammps_chain_frames(filename, chain_type, chain_length, types, molecules, topology, None, start,
                                    stop, step, check=False)
    for frame in frames:
        yield SimulationFrame(frame.timestep, padded(frame.chains), frame.ids, frame.winding, frame.box)


def read_lammps(filename: str, chain_type: Literal["ring", "open"] | None = None, chain_length: int | None = None,
                types: Sequence[int | str] | None = None, molecules: Sequence[int] | None = None,
                topology: str | None = None, start: int | None = None, stop: int | None = None,
                step: int | None = None) -> list[SimulationFrame]:
    """Every frame of a LAMMPS text dump at once: ``list(iter_lammps(...))``."""
    return list(iter_lammps(filename, chain_type, chain_length, types, molecules, topology, start, stop, step))
