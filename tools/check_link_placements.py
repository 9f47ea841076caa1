#!/usr/bin/env python3
"""Places links in space as closed braids and checks that skeinlab.link_type names them.

Reads lines "name<TAB>strands<TAB>word" (the word as generators separated by commas or spaces: i for
sigma_i, -i for its inverse) from standard input, builds the closure of each braid as rings in space (see
braid_closure), turns it by a seeded random rotation, and names it; a link is named when its name (without
a chirality sign) is among the names link_type gives (alternatives included) and the whole link is one
sublink. Prints every link not named, then a summary line; exits with 1 when a link is not named.

tools/generate_link_table.py --placements runs it on every link of the table; bench/link_names_bench.py
measures it; the tests use braid_closure.
"""
from __future__ import annotations

import sys
import time

import numpy as np


def braid_closure(strands: int, word: list[int], steps: int = 24) -> list[np.ndarray]:
    """The closure of a braid as rings in space, one (N, 3) array per ring.

    Strand places are radii 4, 5, ... around the z axis; the braid runs once around, `steps` points per
    generator. Generator i > 0 (sigma_i) swaps the strands at places i and i + 1 (from 1), the one from
    the inner place passing above the other; -i passes it below. The strands are joined into rings by
    the braid's permutation."""
    places = list(range(strands))  # places[p] = the strand now at place p
    paths: dict[int, list[tuple[float, float, float]]] = {k: [] for k in range(strands)}
    for step, g in enumerate(word):
        i = abs(g) - 1
        lift = 0.4 if g > 0 else -0.4
        for s in range(steps):
            angle = 2 * np.pi * (step + s / steps) / len(word)
            u = 0.5 - 0.5 * np.cos(np.pi * s / steps)
            bump = np.sin(np.pi * s / steps)
            for p, k in enumerate(places):
                r, z = 4.0 + p, 0.0
                if p == i:
                    r, z = 4.0 + p + u, lift * bump
                elif p == i + 1:
                    r, z = 4.0 + p - u, -lift * bump
                paths[k].append((r * np.cos(angle), r * np.sin(angle), z))
        places[i], places[i + 1] = places[i + 1], places[i]
    rings, seen = [], set()
    for start in range(strands):
        ring: list[tuple[float, float, float]] = []
        k = start
        while k not in seen:
            seen.add(k)
            ring.extend(paths[k])
            k = places.index(k)  # the strand that starts where this one ends
        if ring:
            rings.append(np.array(ring))
    return rings


def rotated(rings: list[np.ndarray], seed: int) -> list[np.ndarray]:
    """The rings turned by a random rotation (not a reflection) drawn from `seed`."""
    q, _ = np.linalg.qr(np.random.default_rng(seed).normal(size=(3, 3)))
    q *= np.sign(np.linalg.det(q))
    return [r @ q.T + 0.1 for r in rings]


def unsigned_names(name: str) -> list[str]:
    """The names of a link_type sublink without chirality signs, alternatives split."""
    return [n.lstrip("+-") for n in (name[1:-1].split("|") if name.startswith("(") else [name])]


def main() -> int:
    import skeinlab

    wrong = named = 0
    started = time.monotonic()
    for number, line in enumerate(sys.stdin):
        name, strands, word = line.rstrip("\n").split("\t")
        generators = [int(g.strip("(){} ")) for g in word.replace(",", " ").split()]
        rings = rotated(braid_closure(int(strands), generators), number)
        link = skeinlab.link_type(rings)
        if len(link.sublinks) == 1 and name in unsigned_names(link.name):
            named += 1
        else:
            wrong += 1
            print(f"{name}: placed as the closure of {word}, named {link.name}")
    seconds = time.monotonic() - started
    print(f"{named} of {named + wrong} links placed in space named ({seconds:.1f} s)")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
