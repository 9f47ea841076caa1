"""Which atoms of a simulation form each chain, in which order, ring or open.

A topology that knows bonds (a LAMMPS data file, PSF, TPR, GSD, PDB CONECT
records) decides the chains: each connected component of the bond graph,
ordered along its bonds (the compiled core finds them), is a ring when its
bonds close a cycle and an open chain when they draw a path. Components of
fewer than four atoms (water, ions) and branched ones are left out, with a
note. Without bonds, atoms are grouped by molecule (or segment, chain, ...)
in index order, and such chains are checked for gaps frame by frame.
"""
from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass, field
from typing import Any, Literal

import numpy as np

from . import _core

#: Molecules of fewer atoms than this (water, ions) are not chains.
MIN_ATOMS = 4

ChainType = Literal["ring", "open"]
Grouping = Literal["molecule", "fragment", "segment", "chain", "residue"]
GROUPINGS = ("molecule", "fragment", "segment", "chain", "residue")


class TopologyError(ValueError):
    """A selection, type or molecule that matches nothing, or a topology that cannot give chains."""


@dataclass
class Layout:
    """The chains of a topology: ``atoms[offsets[k]:offsets[k + 1]]`` are chain k's atoms in order
    (indices of a Universe's atoms, or atom ids of a LAMMPS data file)."""

    atoms: np.ndarray
    offsets: np.ndarray
    ids: np.ndarray  # int64 (K,): each chain's id (molecule id, fragment, segment index, ...)
    names: list[str]  # each chain's name in rows
    rings: np.ndarray  # bool (K,)
    checked: np.ndarray  # bool (K,): not drawn from bonds, so checked for gaps frame by frame
    notes: list[str] = field(default_factory=list)

    def __len__(self) -> int:
        return len(self.names)

    def core(self, topology_atoms: int = 0) -> tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray, int]:
        """The layout as the core's functions take it."""
        return (self.atoms, self.offsets, self.ids, self.rings, topology_atoms)

    def chosen(self, keep: np.ndarray) -> Layout:
        """The chains where ``keep`` is true."""
        lengths = np.diff(self.offsets)[keep]
        parts = [self.atoms[self.offsets[k]:self.offsets[k + 1]] for k in np.flatnonzero(keep)]
        atoms = np.concatenate(parts) if parts else np.zeros(0, dtype=np.int64)
        offsets = np.concatenate([[0], np.cumsum(lengths)]).astype(np.int64)
        return Layout(atoms.astype(np.int64), offsets, self.ids[keep], [n for n, k in zip(self.names, keep) if k],
                      self.rings[keep], self.checked[keep], self.notes)

    def __add__(self, other: Layout) -> Layout:
        return Layout(np.concatenate([self.atoms, other.atoms]).astype(np.int64),
                      np.concatenate([self.offsets, other.offsets[1:] + self.offsets[-1]]).astype(np.int64),
                      np.concatenate([self.ids, other.ids]).astype(np.int64), self.names + other.names,
                      np.concatenate([self.rings, other.rings]).astype(bool),
                      np.concatenate([self.checked, other.checked]).astype(bool), self.notes + other.notes)


def grouped(atoms: np.ndarray, groups: np.ndarray) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """Atoms grouped by id (in increasing id, index order within a group): (atoms, offsets, ids)."""
    order = np.argsort(groups, kind="stable")
    ids, counts = np.unique(groups[order], return_counts=True)
    offsets = np.concatenate([[0], np.cumsum(counts)]).astype(np.int64)
    return np.asarray(atoms)[order].astype(np.int64), offsets, ids


def plural(count: int, word: str) -> str:
    return f"{count:,} {word}{'' if count == 1 else 's'}"


def skipped_notes(skipped: dict[str, int], molecules: int | None = None) -> list[str]:
    """Notes of the components bonded_chains left out; ``molecules``: the molecules the small ones make up, where
    the topology numbers molecules (a water with a virtual site is two components, one molecule)."""
    notes = []
    if skipped["small"]:
        count = molecules if molecules is not None else skipped["small"]
        notes.append(f"skipped {plural(count, 'molecule')} of fewer than {MIN_ATOMS} atoms")
    if skipped["branched"]:
        notes.append(f"skipped {plural(skipped['branched'], 'branched molecule')} "
                     f"({skipped['branched_atoms']:,} atoms); --select its backbone to type it")
    return notes


def bond_layout(atoms: int, bonds: np.ndarray, keep: np.ndarray | None, ids_of: np.ndarray,
                chain_type: ChainType | None, molecules_known: bool = True) -> Layout:
    """The chains the bonds between kept atoms draw; ``ids_of`` gives each atom's molecule id (the chain's id
    is its first atom's); ``molecules_known``: the ids are the topology's molecules, by which skipped
    components are counted (else by component)."""
    order, offsets, rings, skipped = _core.bonded_chains(atoms, bonds, MIN_ATOMS, keep)
    molecules = None
    if skipped["small"] and not skipped["branched"] and molecules_known:
        left = np.ones(atoms, dtype=bool) if keep is None else keep.copy()
        left[order] = False
        molecules = len(np.unique(ids_of[left]))
    ids = ids_of[order[offsets[:-1]]] if len(order) else np.zeros(0, dtype=np.int64)
    if len(np.unique(ids)) != len(ids):
        ids = np.arange(1, len(offsets), dtype=np.int64)  # molecules of several chains: chains numbered
    if chain_type is not None:
        rings = np.full(len(ids), chain_type == "ring")
    return Layout(order, offsets, ids.astype(np.int64), [str(i) for i in ids.tolist()], rings,
                  np.zeros(len(ids), dtype=bool), skipped_notes(skipped, molecules))


def empty_layout() -> Layout:
    return Layout(np.zeros(0, dtype=np.int64), np.zeros(1, dtype=np.int64), np.zeros(0, dtype=np.int64), [],
                  np.zeros(0, dtype=bool), np.zeros(0, dtype=bool))


def group_layout(atoms: np.ndarray, groups: np.ndarray, ring: bool, names: dict[int, str] | None = None) -> Layout:
    """Atoms grouped by id in index order (no bonds known: gaps checked), chains of few atoms dropped."""
    order, offsets, ids = grouped(atoms, groups)
    shown = [names.get(i, str(i)) if names else str(i) for i in ids.tolist()]
    return small_dropped(Layout(order, offsets, ids.astype(np.int64), shown, np.full(len(ids), ring),
                                np.ones(len(ids), dtype=bool)))


def small_dropped(layout: Layout) -> Layout:
    """The layout without its chains of fewer than MIN_ATOMS atoms, noted."""
    small = np.diff(layout.offsets) < MIN_ATOMS
    if not small.any():
        return layout
    kept = layout.chosen(~small)
    kept.notes = layout.notes + [f"skipped {plural(int(small.sum()), 'molecule')} of fewer than {MIN_ATOMS} atoms"]
    return kept


def molecules_chosen(layout: Layout, molecules: Sequence[int | str] | None, where: str) -> Layout:
    """The chains whose id (or name) is one of ``molecules``; a molecule that is none of them is an error."""
    if not molecules:
        return layout
    wanted = {str(m) for m in molecules}
    missing = sorted(wanted - set(layout.names) - {str(i) for i in layout.ids.tolist()})
    if missing:
        shown = ", ".join(layout.names[:8]) + (", ..." if len(layout) > 8 else "")
        raise TopologyError(f"{where}: no molecule {', '.join(missing)} among its chains ({shown or 'none'})")
    keep = np.array([n in wanted or str(i) in wanted for n, i in zip(layout.names, layout.ids.tolist())], dtype=bool)
    return layout.chosen(keep)


def types_kept(types: np.ndarray, labels: Sequence[str], wanted: Sequence[int | str] | None, where: str) -> np.ndarray:
    """Which atoms have one of the wanted types, given as numbers or as type labels."""
    if not wanted:
        return np.ones(len(types), dtype=bool)
    numbers = []
    for t in wanted:
        text = str(t)
        if text.lstrip("-").isdigit():
            numbers.append(int(text))
        elif text in labels:
            numbers.append(list(labels).index(text))
        else:
            named = ", ".join(f"{k} {name}" for k, name in enumerate(labels) if name) or "none"
            raise TopologyError(f"{where}: no atom type named {text} (type labels: {named})")
    keep = np.isin(types, numbers)
    if not keep.any():
        raise TopologyError(f"{where}: no atom of type {', '.join(str(t) for t in wanted)}")
    return keep


def lammps_layout(topology: dict[str, Any], where: str, chain_type: ChainType | None = None,
                  types: Sequence[int | str] | None = None, molecules: Sequence[int | str] | None = None,
                  selected: np.ndarray | None = None) -> Layout:
    """The chains of a LAMMPS data file (``_core.read_lammps_data``) by atom id: its bonds' chains, or its
    molecules where the kept atoms have no bonds."""
    ids = topology["ids"]
    keep = types_kept(topology["types"], topology["type_labels"], types, where)
    if selected is not None:
        keep &= selected
    molecule_of = topology["molecules"] if topology["molecules"] is not None else np.ones(len(ids), dtype=np.int64)
    bonds = topology["bonds"]
    bonded = len(bonds) and (keep[bonds[:, 0]] & keep[bonds[:, 1]]).any()
    if bonded:
        layout = bond_layout(len(ids), bonds, keep, molecule_of, chain_type, topology["molecules"] is not None)
    else:
        # No bonds between the kept atoms: the molecules (or the whole frame) are the chains.
        kept = np.flatnonzero(keep)
        layout = group_layout(kept, molecule_of[kept], chain_type != "open")
    if not len(layout):
        held = f"{plural(int(keep.sum()), 'atom')}"
        if topology["molecules"] is not None:
            held += f" in {plural(len(np.unique(molecule_of[keep])), 'molecule')}"
        raise TopologyError(f"{where}: no polymer chain: {held}" + "".join(f"; {n}" for n in layout.notes))
    layout = molecules_chosen(layout, molecules, where)
    layout.atoms = ids[layout.atoms]  # the dump's atoms are matched by id
    return layout
