"""Pictures of knots: fingerprint maps, cores over a trajectory, a chain in 3-D.

Needs matplotlib (``pip install skeinlab[plot]``). Every function returns the
matplotlib Figure and never calls ``show()``: save it, or show it yourself.
"""
from __future__ import annotations

import re
from collections.abc import Iterable, Mapping, Sequence
from typing import Any

import numpy as np

try:
    # Figures are made without pyplot, so no window or backend is ever chosen here.
    from matplotlib.figure import Figure
    from matplotlib.patches import Patch
except ImportError:  # pragma: no cover - depends on the installation
    raise ImportError("skeinlab.plot needs matplotlib: pip install skeinlab[plot]") from None

__all__ = ["chain", "cores", "fingerprint", "knots", "lasso"]

UNKNOT_COLOUR = (0.93, 0.93, 0.93)


def _knot_colours(names: Iterable[str]) -> dict[str, tuple[float, float, float]]:
    """A colour per knot name, the unknot light grey, in the table's order."""
    from matplotlib import colormaps

    def order(name: str) -> tuple[int, int, int, str]:
        if name == "1":
            return (0, 0, 0, name)
        # An identified name ("+3_1", "(-5_1|+10_132)", "+3_1#4_1") by its first prime summand.
        parts = re.split(r"[|#)]", name.lstrip("(+-"))[0].split("_")
        if len(parts) == 2 and all(p.isdigit() for p in parts):
            return (1, int(parts[0]), int(parts[1]), name)
        return (2, 0, 0, name)

    palette = colormaps["tab10"]
    colours: dict[str, tuple[float, float, float]] = {}
    for k, name in enumerate(n for n in sorted(set(names), key=order) if n != "1"):
        colours[name] = tuple(palette(k % 10)[:3])  # type: ignore[assignment]
    colours["1"] = UNKNOT_COLOUR
    return colours


def _rows(rows: Any) -> tuple[np.ndarray, np.ndarray, list[str], np.ndarray]:
    """start, end, knot and fraction columns of a fingerprint (structured array or list of dicts)."""
    if isinstance(rows, np.ndarray) and rows.dtype.names:
        return (np.asarray(rows["start"]), np.asarray(rows["end"]), [str(k) for k in rows["knot"]],
                np.asarray(rows["fraction"], dtype=float))
    rows = list(rows)
    return (np.array([r["start"] for r in rows]), np.array([r["end"] for r in rows]),
            [str(r["knot"]) for r in rows], np.array([r["fraction"] for r in rows], dtype=float))


def fingerprint(rows: Any, title: str | None = None) -> Figure:
    """The triangular map of a knot fingerprint.

    Each window [start, end] is a cell at (start, end), coloured by its dominant
    knot and shaded by that knot's fraction (pale: a slim majority; full: every
    sample); unknotted windows are light grey. ``rows`` is what
    :func:`skeinlab.knot_fingerprint` returns, or rows with the same fields.
    """
    start, end, knots, fraction = _rows(rows)
    colours = _knot_colours(knots)
    starts, ends = np.unique(start), np.unique(end)
    image = np.ones((len(ends), len(starts), 4))
    image[..., 3] = 0.0
    col = np.searchsorted(starts, start)
    row = np.searchsorted(ends, end)
    for r, c, knot, share in zip(row, col, knots, fraction):
        rgb = np.array(colours[knot])
        shade = 1.0 if knot == "1" else 0.35 + 0.65 * float(np.clip(share, 0.0, 1.0))
        image[r, c, :3] = 1.0 - shade * (1.0 - rgb)
        image[r, c, 3] = 1.0
    figure = Figure(figsize=(6.0, 5.2))
    axes = figure.add_subplot()
    step = float(np.median(np.diff(starts))) if len(starts) > 1 else 1.0
    axes.imshow(image, origin="lower", interpolation="nearest", aspect="auto",
                extent=(starts[0] - step / 2, starts[-1] + step / 2,
                        ends[0] - step / 2, ends[-1] + step / 2))
    axes.set_xlabel("first point of the window")
    axes.set_ylabel("last point of the window")
    axes.set_title(title or "knot fingerprint: dominant knot of every sub-chain")
    shown = [k for k in colours if k in set(knots)]
    axes.legend(handles=[Patch(color=colours[k], label=k if k != "1" else "unknot") for k in shown],
                loc="lower right", fontsize="small", title="dominant knot")
    return figure


def cores(names: Sequence[str], cores: Sequence[Sequence[int]], n: int, title: str | None = None) -> Figure:
    """The knot core of every frame of a trajectory, as a band over the frames.

    ``names`` and ``cores`` are what :func:`skeinlab.knot_size` returns and
    ``n`` the number of points per frame; a ring core that runs across the
    first point (end < start) is drawn in its two pieces. Frames without a core
    are left empty.
    """
    colours = _knot_colours(names)
    figure = Figure(figsize=(7.0, 3.6))
    axes = figure.add_subplot()
    for frame, (name, (start, end, length)) in enumerate(zip(names, cores)):
        if length <= 0 or start < 0:
            continue
        pieces = [(start, end)] if end >= start else [(start, n - 1), (0, end)]
        for low, high in pieces:
            axes.bar(frame, high - low + 1, bottom=low, width=1.0, color=colours[name], linewidth=0)
    axes.set_xlim(-0.5, max(len(names), 1) - 0.5)
    axes.set_ylim(0, max(n, 1))
    axes.set_xlabel("frame")
    axes.set_ylabel("point")
    axes.set_title(title or "knot core over the frames")
    knots = [k for k in colours if k != "1" and k in set(names)]
    if knots:
        axes.legend(handles=[Patch(color=colours[k], label=k) for k in knots], loc="upper right", fontsize="small")
    return figure


def knots(names: Mapping[str, Sequence[str]], frames: Mapping[str, Sequence[int]] | None = None,
          title: str | None = None) -> Figure:
    """Each chain's knot over the frames of a trajectory: one strip per chain, one colour per knot (the
    colours of the other plots), frames that could not be typed ("winding", "not a chain") left white.

    ``names`` maps a chain's name to its knot name frame by frame; ``frames`` to the frame numbers of those
    names (default 0, 1, ...).
    """
    untyped = {"winding", "not a chain"}
    every = [n for chain_names in names.values() for n in chain_names if n not in untyped]
    colours = _knot_colours(every)
    chains = list(names)
    figure = Figure(figsize=(7.5, 1.2 + 0.35 * min(len(chains), 40)))
    axes = figure.add_subplot()
    last = 0
    for row, chain_name in enumerate(chains):
        numbers = list(frames[chain_name]) if frames else list(range(len(names[chain_name])))
        last = max([last] + numbers)
        spans: list[tuple[float, float]] = []
        shades: list[tuple[float, float, float]] = []
        for number, name in zip(numbers, names[chain_name]):
            if name in untyped:
                continue
            spans.append((number - 0.5, 1.0))
            shades.append(colours[name])
        if spans:
            axes.broken_barh(spans, (row - 0.4, 0.8), facecolors=shades, linewidth=0)
    from matplotlib.ticker import MaxNLocator

    axes.xaxis.set_major_locator(MaxNLocator(integer=True))
    axes.set_xlim(-0.5, last + 0.5)
    axes.set_ylim(len(chains) - 0.5, -0.5)
    axes.set_yticks(range(len(chains)) if len(chains) <= 40 else [])
    axes.set_yticklabels(chains if len(chains) <= 40 else [])
    axes.set_xlabel("frame")
    axes.set_ylabel("chain")
    axes.set_title(title or "knot of every chain over the frames")
    shown = [k for k in colours if k in set(every)]
    axes.legend(handles=[Patch(color=colours[k], label=k if k != "1" else "unknot") for k in shown],
                loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small", title="knot")
    figure.tight_layout()
    return figure


def chain(points: Any, core: Sequence[int] | None = None, title: str | None = None) -> Figure:
    """A chain in 3-D, its knot core (start, end[, length]) drawn thick and coloured."""
    xyz = np.asarray(points, dtype=float)
    figure = Figure(figsize=(5.5, 5.5))
    axes: Any = figure.add_subplot(projection="3d")
    axes.plot(xyz[:, 0], xyz[:, 1], xyz[:, 2], color="0.6", linewidth=1.2)
    if core is not None and core[0] >= 0:
        start, end = int(core[0]), int(core[1])
        index = np.arange(start, end + 1) if end >= start else np.r_[np.arange(start, len(xyz)), np.arange(0, end + 1)]
        axes.plot(xyz[index, 0], xyz[index, 1], xyz[index, 2], color="tab:red", linewidth=3.0, label="core")
        axes.legend(loc="upper right")
    axes.scatter(*xyz[0], color="tab:blue", s=20)
    finite = xyz[np.isfinite(xyz).all(axis=1)]
    if len(finite):
        axes.set_box_aspect(np.maximum(np.ptp(finite, axis=0), 1e-9 + 0.05 * np.ptp(finite)))  # true proportions
    axes.set_title(title or "chain" + (" and its knot core" if core is not None and core[0] >= 0 else ""))
    return figure


def lasso(points: Any, lasso: Any, title: str | None = None) -> Figure:
    """A chain in 3-D with a lasso: the loop its bridge closes (thick), the loop's minimal surface (as
    :func:`skeinlab.lasso_type` spans it), the bridge (dashed) and the piercings (the tail segments that cross
    the surface, red for "+", blue for "-"). ``lasso`` is one :class:`skeinlab.Lasso` record of the chain."""
    from mpl_toolkits.mplot3d.art3d import Poly3DCollection  # type: ignore[import-untyped]

    from . import _core

    xyz = np.asarray(points, dtype=float)
    i, j = lasso.bridge
    vertices, triangles = _core.lasso_surface(xyz, i, j)
    figure = Figure(figsize=(6.0, 6.0))
    axes: Any = figure.add_subplot(projection="3d")
    axes.add_collection3d(Poly3DCollection(vertices[triangles], facecolor=(0.55, 0.7, 0.9, 0.35),
                                           edgecolor=(0.4, 0.5, 0.7, 0.25), linewidth=0.3))
    axes.plot(xyz[:, 0], xyz[:, 1], xyz[:, 2], color="0.6", linewidth=1.0)
    axes.plot(xyz[i:j + 1, 0], xyz[i:j + 1, 1], xyz[i:j + 1, 2], color="tab:purple", linewidth=2.5, label="loop")
    axes.plot(*[[xyz[i, k], xyz[j, k]] for k in range(3)], color="tab:purple", linestyle="--", linewidth=1.5,
              label="bridge")
    for index, sign in list(lasso.piercings_n) + list(lasso.piercings_c):
        segment = xyz[index:index + 2]
        axes.plot(segment[:, 0], segment[:, 1], segment[:, 2], color="tab:red" if sign == "+" else "tab:blue",
                  linewidth=4.0)
    axes.scatter(*xyz[0], color="tab:green", s=20, label="N end")
    finite = xyz[np.isfinite(xyz).all(axis=1)]
    if len(finite):
        axes.set_box_aspect(np.maximum(np.ptp(finite, axis=0), 1e-9 + 0.05 * np.ptp(finite)))
    axes.legend(loc="upper right", fontsize="small")
    axes.set_title(title or f"lasso {lasso.name}, bridge {i}-{j}")
    return figure
