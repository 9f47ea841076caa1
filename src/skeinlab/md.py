"""MD trajectories through MDAnalysis: the chains of every frame of any trajectory it reads.

Needs MDAnalysis (``pip install skeinlab[md]``): XTC, TRR, DCD, GSD, NetCDF, LAMMPS binary and text dumps
and every other format it reads, with a topology where the format needs one. Frames are streamed (one at
a time, as MDAnalysis reads them); the chains are cut by molecule, fragment, segment or residue and
unwrapped across the periodic box by the compiled core, as :func:`skeinlab.iter_lammps` does it. ::

    import MDAnalysis as mda
    import skeinlab, skeinlab.md

    universe = mda.Universe("melt.data", "melt.dcd", format="LAMMPS")
    for frame in skeinlab.md.iter_universe(universe, select="type 1", by="molecule"):
        names = skeinlab.knot_type(frame.chains[~frame.winding])
"""
from __future__ import annotations

from collections.abc import Iterator
from typing import Any, Literal

import numpy as np

from . import _core
from .simulation import SimulationFrame

Grouping = Literal["molecule", "fragment", "segment", "residue"]


def _mdanalysis() -> Any:
    try:
        import MDAnalysis  # type: ignore[import-untyped]
    except ImportError:
        raise ImportError("reading MD trajectories needs MDAnalysis: pip install skeinlab[md]") from None
    return MDAnalysis


def _chain_ids(atoms: Any, by: Grouping) -> np.ndarray:
    """Each atom's chain id: its molecule (molnums where the topology has them, else its residue id: a LAMMPS
    data file's molecule ids are MDAnalysis' resids), fragment (bonded cluster), segment or residue."""
    if by == "molecule":
        return np.asarray(atoms.molnums if hasattr(atoms, "molnums") else atoms.resids)
    if by == "fragment":
        return np.asarray(atoms.fragindices)
    if by == "segment":
        return np.asarray(atoms.segindices)
    if by == "residue":
        return np.asarray(atoms.resids)
    raise ValueError(f"by must be 'molecule', 'fragment', 'segment' or 'residue', got {by!r}")


def _box_rows(dimensions: Any) -> np.ndarray | None:
    """The box's edge vectors (a along x, b in the xy plane) from MDAnalysis' lengths and angles."""
    if dimensions is None or not np.all(np.asarray(dimensions[:3]) > 0):
        return None
    from MDAnalysis.lib.mdamath import triclinic_vectors  # type: ignore[import-untyped]

    return np.asarray(triclinic_vectors(dimensions), dtype=np.float64)


def iter_universe(universe: Any, select: str = "all", by: Grouping = "molecule",
                  chain_type: Literal["ring", "open"] = "ring", start: int | None = None, stop: int | None = None,
                  step: int | None = None) -> Iterator[SimulationFrame]:
    """The chains of every frame of an MDAnalysis Universe, frame by frame.

    Parameters
    ----------
    universe
        An ``MDAnalysis.Universe`` (topology and trajectory).
    select
        The atoms to keep, in MDAnalysis' selection language (e.g. ``"type 1"`` for a bottlebrush's
        backbone, ``"name CA"`` for proteins).
    by
        How atoms form chains: ``"molecule"`` (the topology's molecule numbers, or residue ids where it has
        none, as for LAMMPS data files), ``"fragment"`` (atoms joined by bonds), ``"segment"`` or
        ``"residue"``. Within a chain, atoms are in index order; chains in increasing id.
    chain_type
        "ring" or "open": rings are checked for winding around the box.
    start, stop, step
        The frames, as ``universe.trajectory[start:stop:step]``.

    Yields
    ------
    SimulationFrame
        As :func:`skeinlab.iter_lammps` gives them: ``timestep`` (the frame's step where the format records
        one, else its index), ``chains`` unwrapped by the minimum image of every bond where the frame has a
        box, ``molecules`` (the chain ids), ``winding``, ``box`` (corner at the origin and edges; zeros
        without a box).

    Raises
    ------
    ImportError
        MDAnalysis is not installed ("pip install skeinlab[md]").
    ValueError
        An unknown ``by``; MDAnalysis' own errors (a selection that does not parse, fragments without
        bonds) as it raises them.

    Example
    -------
    >>> universe = MDAnalysis.Universe("topol.tpr", "traj.xtc")
    >>> for frame in skeinlab.md.iter_universe(universe, select="name CA", chain_type="open"):
    ...     names = skeinlab.knot_type(frame.chains, "open")
    """
    _mdanalysis()
    atoms = universe.select_atoms(select)
    ids = _chain_ids(atoms, by)
    order = np.argsort(ids, kind="stable")
    chain_ids, starts, counts = np.unique(ids[order], return_index=True, return_counts=True)
    longest = int(counts.max()) if len(counts) else 0
    for ts in universe.trajectory[start:stop:step]:
        positions = np.asarray(atoms.positions, dtype=np.float64)[order]
        chains = np.full((len(chain_ids), longest, 3), np.nan)
        for k, (first, count) in enumerate(zip(starts, counts)):
            chains[k, :count] = positions[first:first + count]
        rows = _box_rows(ts.dimensions)
        box = np.zeros((4, 3))
        winding = np.zeros(len(chain_ids), dtype=bool)
        if rows is not None:
            box[1:] = rows
            if len(chain_ids):
                chains, winding = _core.unwrap_chains(chains, rows, chain_type)
        step_number = ts.data.get("step", ts.frame) if hasattr(ts, "data") else ts.frame
        yield SimulationFrame(int(step_number), chains, chain_ids.astype(np.int64), winding, box)


def read_universe(universe: Any, select: str = "all", by: Grouping = "molecule",
                  chain_type: Literal["ring", "open"] = "ring") -> list[SimulationFrame]:
    """Every frame of a Universe at once: ``list(iter_universe(...))``."""
    return list(iter_universe(universe, select, by, chain_type))
