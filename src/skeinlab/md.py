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

from collections.abc import Iterator, Sequence
from typing import Any, Literal

import numpy as np

from . import _core
from .lassos import SG_DISTANCE
from .simulation import ChainFrame, SimulationFrame, padded
from .topology import (Grouping, Layout, TopologyError, bond_layout, empty_layout, group_layout, molecules_chosen,
                       plural)



def _mdanalysis() -> Any:
    try:
        import MDAnalysis  # type: ignore[import-untyped]
    except ImportError:
        raise ImportError("reading MD trajectories needs MDAnalysis: pip install skeinlab[md]") from None
    return MDAnalysis


def _chain_ids(atoms: Any, by: Grouping) -> tuple[np.ndarray, dict[int, str]]:
    """Each atom's chain id and the names of the ids that have one: its molecule (molnums where the topology has
    them, else its residue id: a LAMMPS data file's molecule ids are MDAnalysis' resids), fragment (bonded
    cluster), segment (named by segid), chain (by chainID) or residue."""
    if by == "molecule":
        return np.asarray(atoms.molnums if hasattr(atoms, "molnums") else atoms.resids), {}
    if by == "fragment":
        return np.asarray(atoms.fragindices), {}
    if by == "segment":
        ids = np.asarray(atoms.segindices)
        try:
            return ids, dict(zip(ids.tolist(), (str(s) for s in atoms.segids)))
        except Exception:  # MDAnalysis' NoDataError: segments without names
            return ids, {}
    if by == "chain":
        names, ids = np.unique(np.asarray(atoms.chainIDs), return_inverse=True)
        return ids, {k: str(n) for k, n in enumerate(names)}
    if by == "residue":
        return np.asarray(atoms.resids), {}
    raise ValueError(f"by must be 'molecule', 'fragment', 'segment', 'chain' or 'residue', got {by!r}")


def _bond_indices(universe: Any) -> np.ndarray | None:
    """The topology's bonds as (B, 2) atom indices, or None when it has none."""
    try:
        bonds = universe.bonds
    except Exception:  # MDAnalysis' NoDataError: the topology has no bonds
        return None
    indices = np.asarray(bonds.indices, dtype=np.int64).reshape(-1, 2)
    return indices if len(indices) else None


def _what_is_left(atoms: Any) -> str:
    """What atoms hold: "584 atoms in 171 residues (SOL, NA)"."""
    try:
        names = list(dict.fromkeys(str(r) for r in atoms.residues.resnames))
    except Exception:  # no residue names
        names = []
    shown = ", ".join(names[:6]) + (", ..." if len(names) > 6 else "")
    return f"{plural(len(atoms), 'atom')} in {plural(len(atoms.residues), 'residue')} ({shown})"


def universe_layout(universe: Any, select: str | None = None, by: Grouping | None = None,
                    chain_type: Literal["ring", "open"] | None = None, types: Sequence[int | str] | None = None,
                    molecules: Sequence[int | str] | None = None, where: str = "") -> Layout:
    """The chains of a Universe's topology (indices of its atoms).

    ``by`` given: the selected atoms grouped by it, in index order. Otherwise, protein residues (when nothing
    is selected) give their alpha-carbon traces, open chains by fragment (with bonds) or segment; the other
    atoms, or the selected ones, form the chains their bonds draw, or with no bonds between them their
    molecules (or fragments)."""
    where = where or "the universe"
    atoms = universe.atoms if select is None else universe.select_atoms(select)
    if select is not None and len(atoms) == 0:
        raise TopologyError(f"{where}: the selection '{select}' matches no atom")
    if types:
        atoms = atoms[np.isin(np.asarray(atoms.types).astype(str), [str(t) for t in types])]
        if len(atoms) == 0:
            raise TopologyError(f"{where}: no atom of type {', '.join(map(str, types))}")
    ring = chain_type != "open"
    bonds = _bond_indices(universe)
    if by is not None:
        ids, names = _chain_ids(atoms, by)
        layout = group_layout(atoms.indices, ids, ring, names)
    else:
        layout = empty_layout()
        rest = atoms
        if select is None and not types:
            try:
                protein = atoms.select_atoms("protein")
            except Exception:  # a topology without residue names has no protein
                protein = atoms[:0]
            if len(protein):
                traces = protein.select_atoms("name CA")
                ids, names = _chain_ids(traces, "fragment" if bonds is not None else "segment")
                layout = group_layout(traces.indices, ids, chain_type == "ring", names)
                rest = atoms - protein
        count = len(universe.atoms)
        if len(rest) and bonds is not None:
            keep = np.zeros(count, dtype=bool)
            keep[rest.indices] = True
            numbered = hasattr(universe.atoms, "molnums")
            molecule = np.asarray(universe.atoms.molnums if numbered else universe.atoms.resids, dtype=np.int64)
            if (keep[bonds[:, 0]] & keep[bonds[:, 1]]).any():
                layout = layout + bond_layout(count, bonds, keep, molecule, chain_type, numbered)
            else:
                # Selected atoms not bonded to each other (alpha carbons): their molecules, in index order.
                ids, names = _chain_ids(rest, "fragment")
                layout = layout + group_layout(rest.indices, ids, ring, names)
        elif len(rest) and len(layout):
            layout.notes.append(f"skipped {_what_is_left(rest)}: not protein; --select them to type them")
        elif len(rest):
            ids, names = _chain_ids(rest, "molecule")
            layout = layout + group_layout(rest.indices, ids, ring, names)
    if not len(layout):
        raise TopologyError(f"{where}: no polymer chain: {_what_is_left(atoms)}"
                            + (f"; {'; '.join(layout.notes)}" if layout.notes else ""))
    return molecules_chosen(layout, molecules, where)


CYSTEINES = ("CYS", "CYX", "CYM", "CSS")


def universe_bridges(universe: Any, layout: Layout) -> dict[str, tuple[list[tuple[int, int]], list[str]]]:
    """The disulfide bridges within each alpha-carbon trace of a layout: per chain name, the bridges as (i, j)
    point indices and every point's residue number. Two cysteines are bridged when the topology bonds their SG
    atoms, or, without bonds between SG atoms, when those lie closer than SG_DISTANCE in the current frame.
    Chains that are not alpha-carbon traces, or hold no bridge, are left out."""
    bonds = _bond_indices(universe)
    found: dict[str, tuple[list[tuple[int, int]], list[str]]] = {}
    for k, name in enumerate(layout.names):
        atoms = universe.atoms[layout.atoms[layout.offsets[k]:layout.offsets[k + 1]]]
        if len(atoms) < 4 or set(np.asarray(atoms.names).astype(str)) != {"CA"}:
            continue
        residues = [f"{r.resid}{getattr(r, 'icode', '') or ''}".strip() for r in atoms.residues]
        sulfurs: list[tuple[int, int]] = []  # (SG atom index, point)
        for point, residue in enumerate(atoms.residues):
            if str(residue.resname) in CYSTEINES:
                sulfurs += [(int(a.index), point) for a in residue.atoms if str(a.name) == "SG"]
        if len(sulfurs) < 2:
            continue
        index = np.array([a for a, _ in sulfurs])
        point_of = {a: p for a, p in sulfurs}
        pairs: set[tuple[int, int]] = set()
        if bonds is not None:
            between = bonds[np.isin(bonds[:, 0], index) & np.isin(bonds[:, 1], index)]
            pairs = {(min(point_of[a], point_of[b]), max(point_of[a], point_of[b])) for a, b in between.tolist()}
        if bonds is None or not len(between):
            positions = universe.atoms[index].positions.astype(np.float64)
            for x in range(len(index)):
                near = np.flatnonzero(np.linalg.norm(positions[x + 1:] - positions[x], axis=1) < SG_DISTANCE)
                for y in near + x + 1:
                    p, q = sulfurs[x][1], sulfurs[int(y)][1]
                    if p != q:
                        pairs.add((min(p, q), max(p, q)))
        if pairs:
            found[name] = (sorted(pairs), residues)
    return found


def universe_frames(universe: Any, layout: Layout, start: int | None = None, stop: int | None = None,
                    step: int | None = None, check: bool = True) -> Iterator[ChainFrame]:
    """The chains of a layout in the frames ``universe.trajectory[start:stop:step]``, unwrapped by the minimum
    image of every bond where the frame has a box, the chains not drawn from bonds checked for gaps."""
    # Only the layout's atoms are read each frame.
    used, local = np.unique(layout.atoms, return_inverse=True)
    group = universe.atoms[used]
    core = (local.astype(np.int64), layout.offsets, layout.ids, layout.rings, 0)
    checked = layout.checked & check
    for ts in universe.trajectory[start:stop:step]:
        rows = _box_rows(ts.dimensions)
        box = np.zeros((4, 3))
        if rows is not None:
            box[1:] = rows
        points, offsets, ids, winding, gaps = _core.gather_chains(group.positions, core, rows, bool(checked.any()))
        step_number = ts.data.get("step", ts.frame) if hasattr(ts, "data") else ts.frame
        yield ChainFrame(int(ts.frame), int(step_number), points, offsets, ids, layout.names, layout.rings, winding,
                         gaps, checked, box)


def _box_rows(dimensions: Any) -> np.ndarray | None:
    """The box's edge vectors (a along x, b in the xy plane) from MDAnalysis' lengths and angles."""
    if dimensions is None or not np.all(np.asarray(dimensions[:3]) > 0):
        return None
    from MDAnalysis.lib.mdamath import triclinic_vectors  # type: ignore[import-untyped]

    return np.asarray(triclinic_vectors(dimensions), dtype=np.float64)


def iter_universe(universe: Any, select: str | None = None, by: Grouping | None = None,
                  chain_type: Literal["ring", "open"] | None = None, start: int | None = None, stop: int | None = None,
                  step: int | None = None, types: Sequence[int | str] | None = None,
                  molecules: Sequence[int | str] | None = None) -> Iterator[SimulationFrame]:
    """The chains of every frame of an MDAnalysis Universe, frame by frame.

    Parameters
    ----------
    universe
        An ``MDAnalysis.Universe`` (topology and trajectory).
    select
        The atoms to keep, in MDAnalysis' selection language (e.g. ``"type 1"`` for a bottlebrush's
        backbone, ``"name CA"`` for proteins); None: all.
    by
        How atoms form chains: ``"molecule"`` (the topology's molecule numbers, or residue ids where it has
        none, as for LAMMPS data files), ``"fragment"`` (atoms joined by bonds), ``"segment"``, ``"chain"``
        or ``"residue"``, the atoms of a chain in index order, chains in increasing id. None (the default):
        the bonds decide where the topology has them (each connected component of the selected atoms'
        bonds, ordered along them, a ring when they close a cycle and an open chain when they draw a path;
        components of fewer than 4 atoms, such as water and ions, and branched ones left out); without a
        selection, protein residues give their alpha-carbon traces as open chains (by fragment, or by
        segment without bonds), and without bonds the other atoms are grouped by molecule (or, when there
        is protein, left out).
    chain_type
        "ring" or "open" for every chain (rings are checked for winding around the box); None: as ``by``
        says (rings where no bonds decide).
    start, stop, step
        The frames, as ``universe.trajectory[start:stop:step]``.
    types
        Keep only atoms of these types (names or numbers, as the topology writes them).
    molecules
        Keep only the chains with these ids.

    Yields
    ------
    SimulationFrame
        As :func:`skeinlab.iter_lammps` gives them: ``timestep`` (the frame's step where the format records
        one, else its index), ``chains`` unwrapped by the minimum image of every bond where the frame has a
        box (padded with NaN to the longest), ``molecules`` (the chain ids), ``winding``, ``box`` (corner at
        the origin and edges; zeros without a box).

    Raises
    ------
    ImportError
        MDAnalysis is not installed ("pip install skeinlab[md]").
    ValueError
        An unknown ``by``; a selection, type or molecule that matches nothing, a topology with no polymer
        chain (it says what it holds); MDAnalysis' own errors (a selection that does not parse, fragments
        without bonds) as it raises them.

    Examples
    --------
    >>> universe = MDAnalysis.Universe("topol.tpr", "traj.xtc")  # doctest: +SKIP
    >>> for frame in skeinlab.md.iter_universe(universe, select="name CA", chain_type="open"):  # doctest: +SKIP
    ...     names = skeinlab.knot_type(frame.chains, "open")
    """
    _mdanalysis()
    layout = universe_layout(universe, select, by, chain_type, types, molecules)
    for frame in universe_frames(universe, layout, start, stop, step, check=False):
        yield SimulationFrame(frame.timestep, padded(frame.chains), frame.ids, frame.winding, frame.box)


def read_universe(universe: Any, select: str | None = None, by: Grouping | None = None,
                  chain_type: Literal["ring", "open"] | None = None) -> list[SimulationFrame]:
    """Every frame of a Universe at once: ``list(iter_universe(...))``."""
    return list(iter_universe(universe, select, by, chain_type))
