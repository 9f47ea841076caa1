"""Several chains at once: linking numbers of every pair and the linked clusters of a melt.

The linking numbers are computed by the compiled core (``_core.linking_pairs``): for rings an exact integer
(half the sum of the signs of the crossings of one chain with the other in a projection, each sign an
exact orientation), for open chains the Gauss linking integral; pairs whose bounding boxes do not overlap
are 0 without work. This module takes the inputs apart into frames of chains and assembles the results.
"""
from __future__ import annotations

from collections.abc import Sequence
from typing import Any, Literal, NamedTuple

import numpy as np

from . import _core

ChainType = Literal["ring", "open"]


def _real(values: Any) -> np.ndarray:
    """An array of points as float64: float and integer arrays of any width are converted, another dtype is
    refused by name, as the compiled functions refuse it."""
    array = np.asarray(values)
    if array.dtype.kind not in "fiu":
        raise RuntimeError(f"Expected a float or integer array, got dtype {array.dtype}.")
    return array.astype(np.float64, copy=False)


def _frames(chains: Any) -> tuple[list[np.ndarray], bool]:
    """The frames of an input, each an array (K, N, 3) padded with NaN, and whether it was one frame."""
    if isinstance(chains, np.ndarray):
        array = _real(chains)
        if array.ndim == 3 and array.shape[2] == 3:
            return [array], True
        if array.ndim == 4 and array.shape[3] == 3:
            return list(array), False
        raise ValueError("chains must be an array (K, N, 3) (one frame) or (F, K, N, 3) (frames)")
    items = list(chains)
    if all(_depth(c) == 2 for c in items):  # one frame: a list of chains
        return [_padded(items)], True
    frames = []
    for frame in items:
        if isinstance(frame, np.ndarray) and frame.ndim == 3:
            frames.append(_real(frame))
        else:
            frames.append(_padded(list(frame)))
    return frames, False


def _depth(item: Any) -> int:
    """How deep sequences nest in an item: 2 for a chain (points of three numbers), 3 for a frame."""
    depth = 0
    while isinstance(item, (list, tuple)):
        if not item:
            return depth + 1
        depth += 1
        item = item[0]
    return depth + (item.ndim if isinstance(item, np.ndarray) else 0)


def _padded(chains: list[Any]) -> np.ndarray:
    """Chains (N_i, 3) as one array (K, max N_i, 3), shorter ones padded with NaN."""
    arrays = [_real(c) for c in chains]
    for a in arrays:
        if a.ndim != 2 or a.shape[1] != 3:
            raise ValueError("every chain must be an array (N, 3)")
    longest = max((len(a) for a in arrays), default=0)
    out = np.full((len(arrays), longest, 3), np.nan)
    for k, a in enumerate(arrays):
        out[k, :len(a)] = a
    return out


class LinkedPairs(NamedTuple):
    """The pairs of chains of a frame with a nonzero linking number.

    pairs: int64 array (P, 2), i < j; values: their linking numbers (int64 for rings, float64 Gauss
    integrals for open chains)."""

    pairs: np.ndarray
    values: np.ndarray


def linking_pairs(chains: Any, chain_type: ChainType = "ring", threads: int | None = None
                  ) -> LinkedPairs | list[LinkedPairs]:
    """The pairs of chains with a nonzero linking number, frame by frame: the sparse form of
    :func:`linking_matrix`, with memory proportional to the pairs that come close.

    Parameters, raises: as :func:`linking_matrix`. Returns one LinkedPairs for one frame, a list for
    several.

    Examples
    --------
    >>> pairs, values = skeinlab.linking_pairs(frame.chains)
    """
    frames, single = _frames(chains)
    results = []
    for f, (pairs, values, defined) in enumerate(_core.linking_pairs(frames, chain_type, threads)):
        if not defined.all():
            i, j = pairs[~defined][0]
            raise ValueError(f"rings {i} and {j} of frame {f} meet: they have no linking number")
        results.append(LinkedPairs(pairs, values.astype(np.int64) if chain_type == "ring" else values))
    return results[0] if single else results


def linking_matrix(chains: Any, chain_type: ChainType = "ring", threads: int | None = None
                   ) -> np.ndarray | list[np.ndarray]:
    """The linking number of every pair of chains, frame by frame.

    Parameters
    ----------
    chains
        One frame of K chains: a list of (N_i, 3) arrays, or an array (K, N, 3) with NaN padding for
        shorter chains; or a trajectory: a list of such frames, or an array (F, K, N, 3).
    chain_type
        "ring": the exact linking number (an integer), each ring closed from its last point to its first;
        "open": the Gauss linking integral (float64), as protein studies use it.
    threads
        Worker threads (frames run in parallel); default: one per processor.

    Returns
    -------
    numpy.ndarray or list of numpy.ndarray
        (K, K), symmetric, zero diagonal: int64 for rings, float64 for open chains; one array for one
        frame, a list for a trajectory. Pairs whose bounding boxes do not overlap are 0 without work. For
        thousands of chains use :func:`linking_pairs` (sparse).

    Raises
    ------
    ValueError
        Inputs of other shapes; two rings that meet (no linking number).
    RuntimeError
        "Invalid chain_type. Expected 'ring' or 'open'."

    Examples
    --------
    >>> skeinlab.linking_matrix([ring_a, ring_b])
    array([[0, 1],
           [1, 0]])
    """
    frames, single = _frames(chains)
    found = linking_pairs(frames, chain_type, threads)
    assert isinstance(found, list)
    matrices = []
    for frame, (pairs, values) in zip(frames, found):
        k = len(frame)
        matrix = np.zeros((k, k), dtype=np.int64 if chain_type == "ring" else np.float64)
        matrix[pairs[:, 0], pairs[:, 1]] = values
        matrix[pairs[:, 1], pairs[:, 0]] = values
        matrices.append(matrix)
    return matrices[0] if single else matrices


class LinkedRingPairs(NamedTuple):
    """The linked pairs of rings of a frame.

    pairs: int64 array (P, 2), i < j; values: their linking numbers (int64); names: the link each pair
    forms, as :func:`link_type` names a sublink ("+L2a1{1}", "?12", ...; the sweep stops at a fifth of its
    usual states for pairs), or None with ``zero_pairs=False``."""

    pairs: np.ndarray
    values: np.ndarray
    names: list[str] | None


class Clusters(NamedTuple):
    """The linked clusters of a frame: each a sorted list of ring indices (two or more), largest first;
    and the linked pairs with their linking numbers and link names."""

    clusters: list[list[int]]
    pairs: LinkedRingPairs


def linked_clusters(chains: Any, threads: int | None = None, zero_pairs: bool = True) -> Clusters | list[Clusters]:
    """The rings of a melt grouped into clusters of rings linked with each other, frame by frame.

    Two rings count as linked when their linking number is not zero or, when it is zero and their bounding
    boxes overlap, when the link they form is shown not to be split: the two rings reduced together (KMT,
    a triangle pierced by neither), its diagram, reduced by
    Reidemeister moves I and II, still joins them, and its HOMFLY-PT polynomial differs from that of the
    split union of the two knots (the Whitehead link is found so). A zero pair whose polynomial cannot
    tell (rare, or beyond the sweep's limits) counts as not linked. Rings linked only as a triple, such
    as the Borromean rings (every pair split), form no cluster: :func:`link_type` names such links.

    Parameters: ``chains`` and ``threads`` as for :func:`linking_matrix` (rings). ``zero_pairs=False``
    counts linking numbers only (far faster on a dense melt, where most close pairs have linking number
    0 and would each need a link diagram) and names no link.

    Returns
    -------
    Clusters or list of Clusters
        For one frame, for a trajectory a list.

    Raises
    ------
    ValueError
        As :func:`linking_matrix`.

    Examples
    --------
    >>> clusters, pairs = skeinlab.linked_clusters(frame.chains)
    """
    frames, single = _frames(chains)
    if zero_pairs:
        found = []
        for f, (pairs, values, defined, names) in enumerate(_core.linked_pairs(frames, threads)):
            if not defined.all():
                i, j = pairs[~defined][0]
                raise ValueError(f"rings {i} and {j} of frame {f} meet: they have no linking number")
            found.append(LinkedRingPairs(pairs, values, names))
    else:
        nonzero = linking_pairs(frames, "ring", threads)
        assert isinstance(nonzero, list)
        found = [LinkedRingPairs(p.pairs, p.values, None) for p in nonzero]
    out = []
    for frame, linked in zip(frames, found):
        parent = list(range(len(frame)))

        def root(k: int) -> int:
            while parent[k] != k:
                parent[k] = parent[parent[k]]
                k = parent[k]
            return k

        for i, j in linked.pairs.tolist():
            parent[root(i)] = root(j)
        groups: dict[int, list[int]] = {}
        for k in range(len(frame)):
            groups.setdefault(root(k), []).append(k)
        clusters = sorted((g for g in groups.values() if len(g) > 1), key=lambda g: (-len(g), g[0]))
        out.append(Clusters(clusters, linked))
    return out[0] if single else out


class Sublink(NamedTuple):
    """A split sublink of a link: its rings (indices, increasing), its name, and the crossings of its
    diagram after reduction."""

    rings: tuple[int, ...]
    name: str
    crossings: int


class LinkType(NamedTuple):
    """The link the rings of a frame form.

    name: the sublinks' names joined by " U "; sublinks: the split sublinks, in order of their first ring;
    knots: each ring's own knot, named as :func:`skeinlab.knot_identify` names knots."""

    name: str
    sublinks: list[Sublink]
    knots: list[str]


def link_type(chains: Any, threads: int | None = None) -> LinkType | list[LinkType]:
    """The type of the link the rings of a frame form, frame by frame.

    The rings (each closed from its last point to its first) are projected together, the diagram is
    reduced by Reidemeister moves I and II and cut into the sublinks it shows split; a sublink of one ring is
    named as its knot, a sublink of two or more rings from the table of prime links of LinkInfo up to 10
    crossings (1,268 oriented links) by its HOMFLY-PT polynomial, with its chirality as for knots:
    "+L2a1{1}" is LinkInfo's diagram (the name's braces give the orientation of its components),
    "-L2a1{1}" its mirror image, no sign when the polynomial cannot tell them apart; links that share the
    polynomial are given as alternatives, "(+L5a1{0}|+L5a1{1})"; a sublink not in the table (a composite
    link, more crossings, a split link whose reduced diagram still joins its rings) or beyond the
    sweep's limits is "?" and its crossings after reduction ("?14"), never guessed. The Whitehead link
    (L5a1) and the Borromean rings (L6a4) are found although every linking number is 0.

    Parameters
    ----------
    chains
        As for :func:`linking_matrix`: one frame of rings or a trajectory.
    threads
        Worker threads (frames run in parallel); default: one per processor.

    Returns
    -------
    LinkType or list of LinkType
        For one frame, for a trajectory a list. Rings that meet in every projection give the name "?"
        and no sublinks.

    Examples
    --------
    >>> skeinlab.link_type([ring_a, ring_b]).name
    '(-L2a1{0}|+L2a1{1})'
    """
    frames, single = _frames(chains)
    out = [LinkType(name, [Sublink(*sublink) for sublink in sublinks], knots)
           for name, sublinks, knots in _core.link_types(frames, threads)]
    return out[0] if single else out


__all__: Sequence[str] = ["LinkedPairs", "LinkedRingPairs", "Clusters", "Sublink", "LinkType", "linking_pairs",
                          "linking_matrix", "linked_clusters", "link_type"]
