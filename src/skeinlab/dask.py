"""Trajectory collections on a Dask cluster (``pip install skeinlab[dask]``).

The functions take a list of XYZ paths or a dask array of shape (F, N, 3)
chunked along frames, and return a lazy dask DataFrame with one row per frame,
identical row for row to the local functions. The link functions take frames
of several rings: a list of LAMMPS dump paths (the rings of every frame, as
:func:`skeinlab.iter_lammps` gives them; rings that wind around the box left
out) or a dask array (F, K, N, 3). They build the task graph only;
``.compute()`` (or ``.to_parquet()``, ...) runs it on whatever Client is
active, or on dask's local scheduler when there is none.

Each file is one task, read chunk by chunk with :func:`skeinlab.iter_xyz` on
the worker that types it, so coordinates never travel through the client; each
block of a dask array is one task. A task types with ``threads=1`` by default:
dask runs as many tasks at once as a worker has threads, and the typing
releases the interpreter lock, so the worker's threads are all busy and never
oversubscribed (a task with the module's whole pool on a worker that also runs
other tasks would multiply the threads). For a few very long files, start
workers with one thread each and pass ``threads`` equal to the cores per
worker instead.
"""
from __future__ import annotations

import os
from collections.abc import Sequence
from typing import TYPE_CHECKING, Any, TypeAlias, cast

import numpy as np

try:
    import dask as _dask
    import dask.array as _da
    import dask.dataframe as _dd
    import pandas as pd  # type: ignore[import-untyped,unused-ignore]
except ImportError:  # pragma: no cover - depends on the installation
    raise ImportError("skeinlab.dask needs dask and pandas: pip install skeinlab[dask]") from None

from . import _core

if TYPE_CHECKING:
    from dask.array import Array
    from dask.dataframe import DataFrame

# dask's own annotations are partial: used untyped here.
dask: Any = _dask
da: Any = _da
dd: Any = _dd

__all__ = ["knot_identify", "knot_size", "knot_spectrum", "knot_type", "lasso_type", "link_type", "linked_pairs"]

Inputs: TypeAlias = "Sequence[str | os.PathLike[str]] | Array"

_COLUMNS = {
    "type": {"file": "object", "frame": "int64", "knot": "object"},
    "identify": {"file": "object", "frame": "int64", "knot": "object"},
    "size": {"file": "object", "frame": "int64", "knot": "object", "start": "int64", "end": "int64",
             "length": "int64"},
    "spectrum": {"file": "object", "frame": "int64", "knot": "object", "fraction": "float64",
                 "spectrum": "object"},
}


def _typed(command: str, frames: np.ndarray, first: int, options: dict[str, Any]) -> dict[str, list[Any]]:
    """The columns (without file and frame) of a block of frames, the first numbered `first`."""
    chain_type, threads = options["chain_type"], options["threads"]
    if command == "type":
        return {"knot": _core.knot_type(frames, chain_type, threads=threads)}
    if command == "identify":
        return {"knot": _core.knot_identify(frames, chain_type, threads=threads)}
    if command == "size":
        names, cores = _core.knot_size(frames, chain_type, threads=threads)
        return {"knot": names, "start": [c[0] for c in cores], "end": [c[1] for c in cores],
                "length": [c[2] for c in cores]}
    spectra = _core.knot_spectrum(frames, chain_type, samples=options["samples"], seed=options["seed"],
                                  threads=threads, frame_offset=first, invariant=options["invariant"])
    return {"knot": [next(iter(s)) for s in spectra], "fraction": [next(iter(s.values())) for s in spectra],
            "spectrum": spectra}


def _frame(command: str, file: str | None, first: int, columns: dict[str, list[Any]]) -> pd.DataFrame:
    count = len(columns["knot"])
    data = {"file": [file] * count, "frame": np.arange(first, first + count, dtype=np.int64), **columns}
    return pd.DataFrame(data).astype(_COLUMNS[command])


def _type_file(command: str, path: str, options: dict[str, Any]) -> pd.DataFrame:
    """A whole file, read and typed chunk by chunk on the worker."""
    parts = []
    first = 0
    for frames in _core.iter_xyz(path, options["chunk"]):
        parts.append(_frame(command, path, first, _typed(command, frames, first, options)))
        first += len(frames)
    if not parts:
        return _frame(command, path, 0, {c: [] for c in _COLUMNS[command] if c not in ("file", "frame")})
    return pd.concat(parts, ignore_index=True)


def _type_block(command: str, block: np.ndarray, first: int, options: dict[str, Any]) -> pd.DataFrame:
    frames = np.ascontiguousarray(block, dtype=np.float64)
    return _frame(command, None, first, _typed(command, frames, first, options))


def _collection(command: str, inputs: Inputs, options: dict[str, Any]) -> DataFrame:
    meta = pd.DataFrame({c: pd.Series(dtype=t) for c, t in _COLUMNS[command].items()})
    if isinstance(inputs, da.Array):
        if inputs.ndim != 3 or inputs.shape[2] != 3:
            raise ValueError(f"expected a dask array of shape (F, N, 3), got {inputs.shape}")
        array = inputs.rechunk({1: -1, 2: -1})  # whole frames in every block
        starts = np.concatenate([[0], np.cumsum(array.chunks[0])[:-1]]).astype(int)
        blocks = array.to_delayed().ravel()
        parts = [dask.delayed(_type_block)(command, block, int(first), options)
                 for block, first in zip(blocks, starts)]
    else:
        paths = [os.fspath(p) for p in inputs]
        parts = [dask.delayed(_type_file)(command, path, options) for path in paths]
    # Knot names stay Python str, and spectra dicts (dask would turn object columns into strings).
    with dask.config.set({"dataframe.convert-string": False}):
        if not parts:
            return cast("DataFrame", dd.from_pandas(meta, npartitions=1))
        return cast("DataFrame", dd.from_delayed(parts, meta=meta, verify_meta=False))


def knot_type(inputs: Inputs, chain_type: str = "ring", chunk: int = 1000, threads: int | None = 1) -> DataFrame:
    """The knot name of every frame: columns file, frame, knot.

    ``inputs`` is a list of XYZ paths (one task each, read with iter_xyz in
    chunks of ``chunk`` frames on the worker) or a dask array (F, N, 3) (one
    task per block of frames; file is None). ``threads`` is passed to
    :func:`skeinlab.knot_type` in each task (see the module's documentation).

    Examples
    --------
    >>> from dask.distributed import Client
    >>> client = Client(processes=False)      # a LocalCluster in threads, or Client("scheduler:8786")
    >>> rows = skeinlab.dask.knot_type(sorted(glob.glob("runs/*.xyz"))).compute()
    """
    return _collection("type", inputs, {"chain_type": chain_type, "chunk": chunk, "threads": threads})


def knot_identify(inputs: Inputs, chain_type: str = "ring", chunk: int = 1000,
                  threads: int | None = 1) -> DataFrame:
    """The knot of every frame as :func:`skeinlab.knot_identify` names it (chirality,
    summands): columns file, frame, knot; inputs as for :func:`knot_type`."""
    return _collection("identify", inputs, {"chain_type": chain_type, "chunk": chunk, "threads": threads})


def knot_size(inputs: Inputs, chain_type: str = "ring", chunk: int = 1000, threads: int | None = 1) -> DataFrame:
    """Knot name and core of every frame: columns file, frame, knot, start, end, length."""
    return _collection("size", inputs, {"chain_type": chain_type, "chunk": chunk, "threads": threads})


def knot_spectrum(inputs: Inputs, chain_type: str = "ring", samples: int = 100, seed: int = 0, chunk: int = 1000,
                  threads: int | None = 1, invariant: str = "alexander") -> DataFrame:
    """Knot spectrum of every frame: columns file, frame, knot (dominant), fraction, spectrum (dict).

    ``invariant="homfly"`` names the samples as :func:`skeinlab.knot_identify`
    does (chirality, summands)."""
    return _collection("spectrum", inputs, {"chain_type": chain_type, "chunk": chunk, "threads": threads,
                                            "samples": samples, "seed": seed, "invariant": invariant})


_LINK_COLUMNS = {
    "pairs": {"file": "object", "frame": "int64", "chain1": "int64", "chain2": "int64", "linking": "int64",
              "link": "object"},
    "link_type": {"file": "object", "frame": "int64", "link": "object", "knots": "object"},
}


def _link_frames(command: str, file: str | None, first: int, frames: list[np.ndarray], ids: list[np.ndarray],
                 threads: int | None) -> pd.DataFrame:
    """The rows of frames of rings, the first numbered `first`; ids: each frame's ring numbers."""
    data: dict[str, list[Any]] = {c: [] for c in _LINK_COLUMNS[command]}
    if frames:
        if command == "pairs":
            for f, (frame_ids, (pairs, values, defined, names)) in enumerate(
                    zip(ids, _core.linked_pairs(frames, threads))):
                if not defined.all():
                    i, j = pairs[~defined][0]
                    raise ValueError(f"rings {i} and {j} of frame {first + f} meet: they have no linking number")
                for (i, j), value, name in zip(pairs.tolist(), values.tolist(), names):
                    for column, item in zip(data, (file, first + f, frame_ids[i], frame_ids[j], value, name)):
                        data[column].append(item)
        else:
            for f, (name, _parts, knots) in enumerate(_core.link_types(frames, threads)):
                for column, item in zip(data, (file, first + f, name, knots)):
                    data[column].append(item)
    return pd.DataFrame(data).astype(_LINK_COLUMNS[command])


def _link_file(command: str, path: str, options: dict[str, Any]) -> pd.DataFrame:
    """The frames of a LAMMPS dump, read and handled `chunk` frames at a time on the worker."""
    from .simulation import iter_lammps

    tasks, frames, ids, first = [], [], [], 0
    for number, frame in enumerate(iter_lammps(path)):
        keep = ~frame.winding
        frames.append(np.ascontiguousarray(frame.chains[keep]))
        ids.append(frame.molecules[keep])
        if len(frames) == options["chunk"]:
            tasks.append(_link_frames(command, path, first, frames, ids, options["threads"]))
            frames, ids, first = [], [], number + 1
    tasks.append(_link_frames(command, path, first, frames, ids, options["threads"]))
    return pd.concat(tasks, ignore_index=True)


def _link_block(command: str, block: np.ndarray, first: int, options: dict[str, Any]) -> pd.DataFrame:
    frames = [np.ascontiguousarray(f, dtype=np.float64) for f in block]
    ids = [np.arange(len(f), dtype=np.int64) for f in frames]
    return _link_frames(command, None, first, frames, ids, options["threads"])


def _link_collection(command: str, inputs: Inputs, options: dict[str, Any]) -> DataFrame:
    meta = pd.DataFrame({c: pd.Series(dtype=t) for c, t in _LINK_COLUMNS[command].items()})
    if isinstance(inputs, da.Array):
        if inputs.ndim != 4 or inputs.shape[3] != 3:
            raise ValueError(f"expected a dask array of shape (F, K, N, 3), got {inputs.shape}")
        array = inputs.rechunk({1: -1, 2: -1, 3: -1})  # whole frames in every block
        starts = np.concatenate([[0], np.cumsum(array.chunks[0])[:-1]]).astype(int)
        tasks = [dask.delayed(_link_block)(command, block, int(first), options)
                 for block, first in zip(array.to_delayed().ravel(), starts)]
    else:
        tasks = [dask.delayed(_link_file)(command, os.fspath(path), options) for path in inputs]
    with dask.config.set({"dataframe.convert-string": False}):
        if not tasks:
            return cast("DataFrame", dd.from_pandas(meta, npartitions=1))
        return cast("DataFrame", dd.from_delayed(tasks, meta=meta, verify_meta=False))


def linked_pairs(inputs: Inputs, chunk: int = 100, threads: int | None = 1) -> DataFrame:
    """The linked pairs of rings of every frame, as :func:`skeinlab.linked_clusters` finds them (non-zero
    linking numbers, and pairs of linking number 0 whose link is shown not split): columns file, frame,
    chain1, chain2 (molecule ids of a dump, ring numbers of an array), linking, link (the name of the
    pair's link). ``inputs``: LAMMPS dump paths (one task each, ``chunk`` frames at a time) or a dask
    array (F, K, N, 3)."""
    return _link_collection("pairs", inputs, {"chunk": chunk, "threads": threads})


def link_type(inputs: Inputs, chunk: int = 100, threads: int | None = 1) -> DataFrame:
    """The link the rings of every frame form, as :func:`skeinlab.link_type` names it: columns file,
    frame, link, knots (each ring's own knot, a list); inputs as for :func:`linked_pairs`."""
    return _link_collection("link_type", inputs, {"chunk": chunk, "threads": threads})


_LASSO_COLUMNS = {"file": "object", "chain": "object", "frame": "int64", "bridge": "object", "lasso": "object",
                  "piercings_n": "object", "piercings_c": "object", "area": "float64"}


def _lasso_frames(file: str | None, chain: str, first: int, frames: np.ndarray,
                  bridges: list[tuple[int, int]], threads: int | None) -> pd.DataFrame:
    rows = []
    for offset, lassos in enumerate(_core.lasso_frames(frames, bridges, threads)):
        for (i, j), name, n_tail, c_tail, area in lassos:
            rows.append({"file": file, "chain": chain, "frame": first + offset, "bridge": f"{i}-{j}", "lasso": name,
                         "piercings_n": list(n_tail), "piercings_c": list(c_tail), "area": area})
    if not rows:
        return pd.DataFrame({c: pd.Series(dtype=t) for c, t in _LASSO_COLUMNS.items()})
    return pd.DataFrame(rows).astype(_LASSO_COLUMNS)


def _lasso_file(path: str, options: dict[str, Any]) -> pd.DataFrame:
    """A whole file on the worker: a structure's disulfides (every chain, every model), or an XYZ file's
    frames chunk by chunk with the given bridges."""
    from ._inputs import is_structure
    from .lassos import structure_bridges

    parts = []
    if is_structure(path):
        for entry in structure_bridges(path):
            parts.append(_lasso_frames(path, entry.chain, 0, entry.frames, options["bridges"] or entry.bridges,
                                       options["threads"]))
    else:
        first = 0
        for frames in _core.iter_xyz(path, options["chunk"]):
            parts.append(_lasso_frames(path, "", first, frames, options["bridges"], options["threads"]))
            first += len(frames)
    if not parts:
        return _lasso_frames(path, "", 0, np.zeros((0, 0, 3)), [], options["threads"])
    return pd.concat(parts, ignore_index=True)


def lasso_type(inputs: Inputs, bridges: Sequence[tuple[int, int]] | None = None, chunk: int = 1000,
               threads: int | None = 1) -> DataFrame:
    """The lassos of every frame: one row per frame and bridge, columns file, chain, frame, bridge ("i-j",
    point indices), lasso (its name), piercings_n, piercings_c (lists of (index, sign)) and area, as
    :func:`skeinlab.lasso_type` gives them. Inputs: structure files (their disulfides, or ``bridges``), XYZ
    files or a dask array (F, N, 3) with ``bridges``; one task per file or block."""
    options = {"bridges": [tuple(b) for b in bridges] if bridges else None, "chunk": chunk, "threads": threads}
    meta = pd.DataFrame({c: pd.Series(dtype=t) for c, t in _LASSO_COLUMNS.items()})
    if isinstance(inputs, da.Array):
        if not bridges:
            raise ValueError("bridges must be given for an array: (i, j) pairs of point indices")
        array = inputs.rechunk({1: -1, 2: -1})
        starts = np.concatenate([[0], np.cumsum(array.chunks[0])[:-1]]).astype(int)
        parts = [dask.delayed(_lasso_frames)(None, "", int(first), block, options["bridges"], threads)
                 for block, first in zip(array.to_delayed().ravel(), starts)]
    else:
        parts = [dask.delayed(_lasso_file)(os.fspath(p), options) for p in inputs]
    with dask.config.set({"dataframe.convert-string": False}):
        if not parts:
            return cast("DataFrame", dd.from_pandas(meta, npartitions=1))
        return cast("DataFrame", dd.from_delayed(parts, meta=meta, verify_meta=False))
