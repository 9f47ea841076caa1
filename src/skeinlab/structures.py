"""Protein chains from PDB and PDBx/mmCIF files, read with gemmi (extra ``structures``)."""
from __future__ import annotations

from typing import Any

import numpy as np

#: Alpha carbons of consecutive residues farther apart than this (in angstrom)
#: mark a chain break: residues are missing there, and a gap can tie or untie a knot.
BREAK_DISTANCE = 4.2


class Chains(dict[str, np.ndarray]):
    """Chain id -> float64 array of shape (F, N, 3): one row of points per model.

    Besides the arrays, ``residues[chain]`` lists each point's residue number
    as the structure's authors number it (with the insertion code, e.g.
    "84A"), and ``breaks[chain]`` the indices i of the residues whose atom
    lies more than BREAK_DISTANCE from that of residue i - 1 (in the first
    model).
    """

    def __init__(self) -> None:
        super().__init__()
        self.residues: dict[str, list[str]] = {}
        self.breaks: dict[str, list[int]] = {}
        #: What the first model holds ("584 atoms in 171 residues (SOL, NA)"), for a file without chains.
        self.contents = ""


def unwrapped_jumps(frames: np.ndarray, box: np.ndarray) -> np.ndarray:
    """The models of a chain with the jumps of a periodic box (a snapshot of a simulation) undone: a model
    whose bonds the minimum image changes only where it makes them ordinary steps (at most BREAK_DISTANCE)
    is taken unwrapped; a real gap (missing residues) leaves the model as it is."""
    from . import _core

    out = frames.copy()
    for f, model in enumerate(frames):
        present = ~np.isnan(model).any(axis=1)
        if present.sum() < 2:
            continue
        points = model[present]
        (moved,), _ = _core.unwrap_chains(points[None], box, "open")
        before, after = np.diff(points, axis=0), np.diff(moved, axis=0)
        changed = np.abs(before - after).max(axis=1) > 1e-9
        if changed.any() and (np.linalg.norm(after[changed], axis=1) <= BREAK_DISTANCE).all():
            out[f, present] = moved
    return out


def _gemmi() -> Any:
    try:
        import gemmi  # type: ignore[import-untyped,unused-ignore]
    except ImportError:
        raise ImportError("read_chains needs gemmi: pip install skeinlab[structures]") from None
    return gemmi


def read_chains(filename: str, model: int | None = None, atoms: str = "CA") -> Chains:
    """The polymer chains of a PDB or PDBx/mmCIF file (also gzip-compressed).

    Parameters
    ----------
    filename
        Path of a .pdb, .ent, .cif or .mmcif file, optionally ending in .gz.
    model
        None: every model, one frame each; k: only the k-th model (from 0).
    atoms
        The atom read from each residue ("CA": alpha carbons).

    Returns
    -------
    Chains
        A dict, chain id -> (F, N, 3) float64 array, in file order, with the
        polymer residues only (no waters or ligands), the first alternate
        location of each atom, and residues in file order; a residue without
        the atom is left out, and a residue missing from a later model is NaN
        there. ``.residues`` and ``.breaks`` give residue numbers and chain
        breaks per chain.

    Raises
    ------
    ImportError
        gemmi is not installed ("pip install skeinlab[structures]").
    FileNotFoundError
        "Cannot open file: {filename}".
    ValueError
        A model number outside the file's models.
    RuntimeError
        A file gemmi cannot read, with gemmi's message; an empty file ("the
        file is empty") or one without atoms ("no atoms (an empty or
        truncated file)").

    Examples
    --------
    >>> chains = skeinlab.read_chains("examples/1j85.pdb")
    >>> names, cores = skeinlab.knot_size(chains["A"], "open")
    >>> names, chains.residues["A"][cores[0][0]], chains.residues["A"][cores[0][1]]
    (['3_1'], '75', '121')
    """
    import os

    gemmi = _gemmi()
    if not os.path.exists(filename):
        raise FileNotFoundError(f"Cannot open file: {filename}")
    if os.path.getsize(filename) == 0:
        raise RuntimeError(f"{filename}: the file is empty")
    try:
        # .pdbx is mmCIF by another name, which gemmi does not guess.
        pdbx = filename.lower().removesuffix(".gz").endswith(".pdbx")
        structure = (gemmi.read_structure(filename, format=gemmi.CoorFormat.Mmcif) if pdbx
                     else gemmi.read_structure(filename))
    except (RuntimeError, ValueError, IndexError) as error:
        # gemmi reports some truncated files by an IndexError of its own.
        raise RuntimeError(f"{filename}: {error}") from None
    if all(len(m) == 0 for m in structure):
        raise RuntimeError(f"{filename}: no atoms (an empty or truncated file)")
    structure.setup_entities()
    structure.remove_alternative_conformations()  # keeps the first location of every atom
    models = list(range(len(structure)))
    if model is not None:
        if not 0 <= model < len(structure):
            raise ValueError(f"model {model} is not in {filename}, which has {len(structure)} models")
        models = [model]

    chains = Chains()
    first = structure[models[0]]
    names = list(dict.fromkeys(r.name for c in first for r in c))
    chains.contents = (f"{sum(r.__len__() for c in first for r in c):,} atoms in {sum(len(c) for c in first):,} "
                       f"residues ({', '.join(names[:6])}{', ...' if len(names) > 6 else ''})")

    def polymer_of(chain: Any) -> list[Any]:
        # Files written by simulation programs put protein, water and ions in one chain without TER, where
        # gemmi finds no polymer: the amino-acid residues are the chain's.
        polymer = chain.get_polymer()
        if len(polymer):
            return list(polymer)
        return [r for r in chain if (info := gemmi.find_tabulated_residue(r.name)) is not None
                and info.is_amino_acid()]

    cell = structure.cell
    box = None
    if min(cell.a, cell.b, cell.c) > 2 * BREAK_DISTANCE:  # a real box, not CRYST1's placeholder of 1 A
        box = np.asarray(cell.orth.mat.tolist(), dtype=np.float64).T
    for chain in first:
        polymer = polymer_of(chain)
        keys, numbers = [], []
        for residue in polymer:
            if residue.find_atom(atoms, "*") is None:
                continue
            keys.append((residue.seqid.num, residue.seqid.icode))
            numbers.append(f"{residue.seqid.num}{residue.seqid.icode.strip()}")
        if not keys:
            continue
        index = {key: i for i, key in enumerate(keys)}
        frames = np.full((len(models), len(keys), 3), np.nan)
        for f, m in enumerate(models):
            other = structure[m].find_chain(chain.name)
            if other is None:
                continue
            for residue in polymer_of(other):
                i = index.get((residue.seqid.num, residue.seqid.icode))
                atom = residue.find_atom(atoms, "*")
                if i is not None and atom is not None:
                    frames[f, i] = (atom.pos.x, atom.pos.y, atom.pos.z)
        if box is not None:
            frames = unwrapped_jumps(frames, box)
        steps = np.linalg.norm(np.diff(frames[0], axis=0), axis=1)
        chains[chain.name] = frames
        chains.residues[chain.name] = numbers
        chains.breaks[chain.name] = [int(i) + 1 for i in np.nonzero(steps > BREAK_DISTANCE)[0]]
    return chains
