"""Simulation files as they come: the chains of every frame of a LAMMPS dump.

The dump is read by the compiled core one frame at a time (memory bounded by a
frame), its atoms cut into chains and unwrapped across the periodic box there;
this module gives the frames as :class:`SimulationFrame` records.
"""
from __future__ import annotations

from collections.abc import Iterator, Sequence
from typing import Literal, NamedTuple

import numpy as np

from . import _core


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


def iter_lammps(filename: str, chain_type: Literal["ring", "open"] = "ring", chain_length: int | None = None,
                types: Sequence[int] | None = None,
                molecules: Sequence[int] | None = None) -> Iterator[SimulationFrame]:
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
        "ring" or "open": rings are checked for winding around the box.
    chain_length
        Cut the atoms (in id order) into chains of this many; None: one chain
        per molecule (``mol`` column), or the whole frame when there is none.
    types
        Keep only atoms of these types (``type`` column), e.g. a bottlebrush's
        backbone; None keeps all.
    molecules
        Keep only chains with these molecule ids; None keeps all.

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
        ... by".

    Example
    -------
    >>> for frame in skeinlab.iter_lammps("melt.lammpstrj"):
    ...     names = skeinlab.knot_type(frame.chains[~frame.winding])
    """
    for timestep, chains, ids, winding, box in _core.lammps_frames(filename, chain_type, chain_length, types,
                                                                 molecules):
        yield SimulationFrame(timestep, chains, ids, winding, box)


def read_lammps(filename: str, chain_type: Literal["ring", "open"] = "ring", chain_length: int | None = None,
                types: Sequence[int] | None = None, molecules: Sequence[int] | None = None) -> list[SimulationFrame]:
    """Every frame of a LAMMPS text dump at once: ``list(iter_lammps(...))``."""
    return list(iter_lammps(filename, chain_type, chain_length, types, molecules))
