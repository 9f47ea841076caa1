"""Lassos: loops that covalent bridges (disulfides) close, and the tails of the chain that pierce them.

The compiled core spans each loop with its minimal surface and finds the tails' crossings; this module takes
the chains and bridges from arrays or structure files (gemmi) and gives the records.
"""
from __future__ import annotations

from collections.abc import Sequence
from typing import Any, NamedTuple

import numpy as np

from . import _core

#: Cysteine SG atoms closer than this (in angstrom) form a bridge when a file records none.
SG_DISTANCE = 2.5


class Lasso(NamedTuple):
    """The lasso of one bridge.

    Attributes
    ----------
    bridge
        (i, j): the bridge's two points (indices of the chain, from 0), i < j.
    name
        "L0", "L+1N", "LS2--C", "LL+1,+1", ... as LassoProt writes them.
    piercings_n, piercings_c
        The crossings of the N tail (points below i) and the C tail (above j) with the loop's surface that are
        left after the reductions, as (index, sign): the tail's segment from point index to index + 1, "+"
        where the tail, walked from N to C, passes along the surface's normal (the right-hand rule of the loop
        walked from i to j).
    area
        The area of the loop's minimal surface.
    """

    bridge: tuple[int, int]
    name: str
    piercings_n: list[tuple[int, str]]
    piercings_c: list[tuple[int, str]]
    area: float


class StructureBridges(NamedTuple):
    """A structure's chain with its bridges: the alpha-carbon frames, the bridges by index, the residue numbers."""

    chain: str
    frames: np.ndarray
    bridges: list[tuple[int, int]]
    residues: list[str]


def structure_bridges(filename: str, chains: Sequence[str] | None = None) -> list[StructureBridges]:
    """The polymer chains of a PDB or mmCIF file that hold disulfide bridges within themselves: SSBOND records
    or mmCIF ``struct_conn`` disulfides (through gemmi), else cysteine SG atoms closer than SG_DISTANCE."""
    from .structures import _gemmi, read_chains

    gemmi = _gemmi()
    found = read_chains(filename)
    structure = gemmi.read_structure(filename)
    structure.setup_entities()
    pairs: list[tuple[str, str, str, str]] = []
    for connection in structure.connections:
        if connection.type == gemmi.ConnectionType.Disulf:
            a, b = connection.partner1, connection.partner2
            pairs.append((a.chain_name, f"{a.res_id.seqid.num}{a.res_id.seqid.icode.strip()}",
                          b.chain_name, f"{b.res_id.seqid.num}{b.res_id.seqid.icode.strip()}"))
    if not pairs:
        model = structure[0]
        cysteines = [(chain.name, residue) for chain in model for residue in chain if residue.name == "CYS"]
        for k, (ca, ra) in enumerate(cysteines):
            sa = ra.find_atom("SG", "*")
            for cb, rb in cysteines[k + 1:]:
                sb = rb.find_atom("SG", "*")
                if sa is not None and sb is not None and sa.pos.dist(sb.pos) < SG_DISTANCE:
                    pairs.append((ca, f"{ra.seqid.num}{ra.seqid.icode.strip()}", cb,
                                  f"{rb.seqid.num}{rb.seqid.icode.strip()}"))
    out = []
    for name in found:
        if chains and name not in chains:
            continue
        index = {residue: k for k, residue in enumerate(found.residues[name])}
        bridges = sorted({tuple(sorted((index[ra], index[rb])))
                          for a, ra, b, rb in pairs if a == name and b == name and ra in index and rb in index})
        if bridges:
            out.append(StructureBridges(name, found[name], [(int(i), int(j)) for i, j in bridges],
                                        found.residues[name]))
    return out


def lasso_type(input_data: Any, bridges: Sequence[tuple[int, int]] | None = None,
               threads: int | None = None) -> list[list[Lasso]]:
    """The lassos of a chain's bridges, frame by frame.

    Parameters
    ----------
    input_data
        An (N, 3) chain or (F, N, 3) frames (any float or integer dtype) with ``bridges``, or the path of a
        PDB or mmCIF file, whose disulfides are read from it (its first chain that has any within itself;
        every model a frame).
    bridges
        (i, j) pairs of point indices from 0, i < j; for a file, None (the file's) or pairs to use instead.
    threads
        Worker threads (None: one per processor).

    Returns
    -------
    list of list of Lasso
        Per frame, one record per bridge, in the order given.

    Raises
    ------
    ValueError
        A bridge with i >= j, beyond the chain, or closing a loop of fewer than 3 points ("frame F: bridge
        I-J: ..."); a file without a bridge ("... has no disulfide bridge").
    ImportError
        A file given without gemmi (``pip install skeinlab[structures]``).

    Examples
    --------
    >>> [lassos] = skeinlab.lasso_type(chain, bridges=[(95, 145)])
    >>> lassos[0].name, lassos[0].piercings_n
    ('L+1N', [(31, '+')])
    """
    if isinstance(input_data, str):
        found = structure_bridges(input_data)
        if not found:
            raise ValueError(f"{input_data} has no disulfide bridge within a chain")
        first = found[0]
        frames = first.frames
        bridges = list(bridges) if bridges else first.bridges
    else:
        frames = input_data
        if bridges is None:
            raise ValueError("bridges must be given for an array: (i, j) pairs of point indices")
    raw = _core.lasso_frames(frames, list(bridges), threads)
    return [[Lasso((int(i), int(j)), name, list(n_tail), list(c_tail), float(area))
             for (i, j), name, n_tail, c_tail, area in frame] for frame in raw]
