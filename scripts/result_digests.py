#!/usr/bin/env python3
"""Prints a digest of the results of every public function on fixed inputs: seeded random walks and
rings, torus knots, the shipped examples. A refactoring that must not change results (moving code, splitting
functions) keeps every line the same: run it before and after and compare.

    python scripts/result_digests.py > before.txt   # ... change ...
    python scripts/result_digests.py | diff before.txt -
"""
from __future__ import annotations

import hashlib
import json
from pathlib import Path
from typing import Any

import numpy as np

import skeinlab

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def torus(p: int, q: int, n: int) -> np.ndarray:
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False)
    r = 2.0 + np.cos(q * t)
    return np.stack([r * np.cos(p * t), r * np.sin(p * t), -np.sin(q * t)], axis=1)


def walks(seed: int, frames: int, n: int) -> np.ndarray:
    steps = np.random.default_rng(seed).normal(size=(frames, n, 3))
    return np.cumsum(steps / np.linalg.norm(steps, axis=2, keepdims=True), axis=1)


def plain(value: Any) -> Any:
    """The result in a form json writes the same way every time."""
    if isinstance(value, np.ndarray):
        return {"dtype": str(value.dtype), "shape": list(value.shape), "data": value.tolist()}
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in sorted(value.items(), key=lambda kv: str(kv[0]))}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (np.integer, np.floating)):
        return value.item()
    if isinstance(value, float):
        return repr(value)
    return value


def digest(value: Any) -> str:
    return hashlib.sha256(json.dumps(plain(value), sort_keys=True).encode()).hexdigest()[:16]


def main() -> None:
    rings = walks(7, 24, 120)
    globule = np.concatenate([walks(11, 2, 600), walks(13, 1, 600) * 0.3])
    knots = np.stack([torus(2, 3, 200), torus(2, 5, 200), torus(3, 4, 200), torus(2, 7, 200)])
    open_chains = walks(5, 6, 200)
    protein = str(EXAMPLES / "1j85.pdb")
    cases: dict[str, Any] = {
        "knot_type rings": lambda: skeinlab.knot_type(rings, "ring", threads=2),
        "knot_type open": lambda: skeinlab.knot_type(open_chains, "open", threads=2),
        "knot_type torus": lambda: skeinlab.knot_type(knots, "ring"),
        "knot_type globule": lambda: skeinlab.knot_type(globule, "ring"),
        "knot_identify rings": lambda: skeinlab.knot_identify(rings, "ring"),
        "knot_identify torus": lambda: skeinlab.knot_identify(knots, "ring"),
        "knot_identify globule": lambda: skeinlab.knot_identify(globule, "ring"),
        "knot_invariants torus": lambda: skeinlab.knot_invariants(knots, "ring"),
        "pd_code torus": lambda: skeinlab.pd_code(knots, "ring"),
        "identify_pd": lambda: skeinlab.identify_pd(skeinlab.pd_code(knots, "ring")),
        "knot_size torus": lambda: skeinlab.knot_size(knots, "ring"),
        "knot_size open": lambda: skeinlab.knot_size(open_chains, "open"),
        "knot_spectrum": lambda: skeinlab.knot_spectrum(open_chains[:3], "open", samples=30, seed=3),
        "knot_spectrum homfly": lambda: skeinlab.knot_spectrum(np.concatenate([knots[:2], globule[2:]]), "ring", samples=4, seed=3,
                                                               invariant="homfly"),
        "knot_fingerprint": lambda: skeinlab.knot_fingerprint(knots[0], step=20, samples=5, seed=1),
        "kmt": lambda: [skeinlab.kmt(ring, "ring") for ring in rings[:3]],
        "linking_matrix": lambda: skeinlab.linking_matrix(list(rings[:6])),
        "linking_pairs": lambda: skeinlab.linking_pairs([list(rings[:8])]),
        "linked_clusters": lambda: skeinlab.linked_clusters([list(rings[:8] * 0.3)]),
        "link_type": lambda: skeinlab.link_type([list(rings[:3] * 0.3)]),
        "lasso_type": lambda: skeinlab.lasso_type(open_chains, [(20, 120), (50, 90)]),
        "read_pdb": lambda: skeinlab.read_pdb(protein),
        "example 1j85": lambda: skeinlab.knot_size(skeinlab.read_pdb(protein)[:1], "open"),
        "example rings.xyz": lambda: skeinlab.knot_identify(skeinlab.read_xyz(str(EXAMPLES / "rings.xyz")), "ring"),
    }
    for name, case in cases.items():
        try:
            result = case()
        except Exception as error:  # an error is a result too
            result = f"{type(error).__name__}: {error}"
        print(f"{name:24s} {digest(result)}")


if __name__ == "__main__":
    main()
