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

    Example
    -------
    >>> chains = skeinlab.read_chains("1yve.cif")
    >>> names, cores = skeinlab.knot_size(chains["I"], "open")
    >>> first, last = chains.residues["I"][cores[0][0]], chains.residues["I"][cores[0][1]]
    """
    import os

    gemmi = _gemmi()
    if not os.path.exists(filename):
        raise FileNotFoundError(f"Cannot open file: {filename}")
    if os.path.getsize(filename) == 0:
        raise RuntimeError(f"{filename}: the file is empty")
    try:
        structure = gemmi.read_structure(filename)
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
    for chain in first:
        polymer = chain.get_polymer()
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
            for residue in other.get_polymer():
                i = index.get((residue.seqid.num, residue.seqid.icode))
                atom = residue.find_atom(atoms, "*")
                if i is not None and atom is not None:
                    frames[f, i] = (atom.pos.x, atom.pos.y, atom.pos.z)
        steps = np.linalg.norm(np.diff(frames[0], axis=0), axis=1)
        chains[chain.name] = frames
        chains.residues[chain.name] = numbers
        chains.breaks[chain.name] = [int(i) + 1 for i in np.nonzero(steps > BREAK_DISTANCE)[0]]
    return chains
