"""Cost of knot_spectrum against knot_type, and windows per second of knot_fingerprint.

usage: python3 bench/spectrum_bench.py [DATA_DIR] [--quick]

Spectra: for each frame, one knot_type (the frame repeated in one call, on one
thread, so the per-call cost is shared out) against knot_spectrum(samples=100)
on one thread; each the shortest of five runs. "direct" is the same 100 samples done the straightforward way,
through the public API: every rotated copy (closed through its far point when
open) built with NumPy and typed by knot_type as a ring, so each sample runs
KMT on the whole polygon; knot_spectrum instead reduces a frame once and reuses
the reduction.

Fingerprints: a 300-residue protein trace (chain I of 1yve, residues 150 to
449 of the file, from DATA_DIR, by default ../shared/data next to the
checkout) with step=2 and samples=50, on all processors and on one, and the
direct way on all processors (skipped with --quick).

Times are wall-clock seconds on this machine; run with nothing else busy.
"""
import os
import pathlib
import sys
import time

import numpy as np

import skeinlab

SAMPLES = 100


def trefoil(n, rng, noise):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False) + 0.0123
    r = 3.0 + np.cos(3 * t)
    pts = np.stack([r * np.cos(2 * t), r * np.sin(2 * t), np.sin(3 * t)], axis=1)
    return pts + rng.normal(scale=noise, size=pts.shape)


def open_trefoil(n, rng, noise):
    tail = n // 5
    knot = trefoil(n - 2 * tail, rng, noise)
    steps = np.linspace(10.0, 10.0 / tail, tail)
    head = knot[0] + np.outer(steps, [0, 0, 1.0])
    end = knot[-1] - np.outer(steps[::-1], [0, 0, 1.0])
    return np.vstack([head, knot, end])


def ca_trace(path, chain=None):
    rows = [line for line in open(path) if line.startswith("ATOM") and line[12:16] == " CA "]
    if chain:
        rows = [r for r in rows if r[21] == chain]
    return np.array([[float(r[30:38]), float(r[38:46]), float(r[46:54])] for r in rows])


def random_rotations(count, rng):
    q = rng.normal(size=(count, 4))
    w, x, y, z = (q / np.linalg.norm(q, axis=1, keepdims=True)).T
    return np.stack([
        np.stack([w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)], axis=1),
        np.stack([2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)], axis=1),
        np.stack([2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z], axis=1),
    ], axis=1)


def direct_polygons(chain, chain_type, samples, rng):
    """The samples of a spectrum as explicit polygons: rotated, and closed through a far point when open."""
    if chain_type == "open":
        centre = chain.mean(axis=0)
        radius = np.linalg.norm(chain - centre, axis=1).max()
        u = rng.normal(size=(samples, 3))
        u /= np.linalg.norm(u, axis=1, keepdims=True)
        far = centre + 100.0 * radius * u
        chains = np.concatenate([np.broadcast_to(chain, (samples,) + chain.shape), far[:, None, :]], axis=1)
    else:
        chains = np.broadcast_to(chain, (samples,) + chain.shape)
    return np.einsum("sij,snj->sni", random_rotations(samples, rng), chains)


def timed(fn, *args, repeats=1, **kwargs):
    """The shortest of `repeats` runs, and the result."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        result = fn(*args, **kwargs)
        best = min(best, time.perf_counter() - start)
    return best, result


def spectra_table(data, rng):
    cases = [
        ("ring", "trefoil 100", trefoil(100, rng, 0.05)),
        ("ring", "trefoil 1000", trefoil(1000, rng, 0.005)),
        ("open", "trefoil 100", open_trefoil(100, rng, 0.05)),
        ("open", "trefoil 1000", open_trefoil(1000, rng, 0.005)),
    ]
    if data.is_dir():
        for frame, ring in enumerate(skeinlab.read_xyz(str(data / "rings" / "rings_250.xyz"))[:3]):
            cases.append(("ring", f"rings_250 #{frame}", ring[:-1]))
        for entry in ("2efv", "1j85"):
            cases.append(("open", entry, ca_trace(data / "proteins" / f"{entry}.pdb")))
        cases.append(("open", "1yve I", ca_trace(data / "proteins" / "1yve.pdb", "I")))
    print(f"{'chain':6s} {'frame':16s} {'points':>6s} {'type ms':>9s} {'spectrum ms':>12s} {'ratio':>7s}"
          f" {'direct ms':>10s} {'ratio':>7s}  dominant")
    for chain_type, label, chain in cases:
        copies = max(1, 20000 // len(chain))
        t_type, _ = timed(skeinlab.knot_type, np.repeat(chain[None], copies, axis=0), chain_type, threads=1,
                          repeats=5)
        t_type /= copies
        t_spec, [spectrum] = timed(skeinlab.knot_spectrum, chain, chain_type, samples=SAMPLES, threads=1,
                                   repeats=5)
        polygons = direct_polygons(chain, chain_type, SAMPLES, rng)
        t_direct, _ = timed(skeinlab.knot_type, polygons, "ring", threads=1, repeats=3)
        name, share = next(iter(spectrum.items()))
        print(f"{chain_type:6s} {label:16s} {len(chain):6d} {1e3 * t_type:9.3f} {1e3 * t_spec:12.2f}"
              f" {t_spec / t_type:7.1f} {1e3 * t_direct:10.2f} {t_direct / t_type:7.1f}  {name} {share:.2f}")


def fingerprint_table(data, quick, rng):
    path = data / "proteins" / "1yve.pdb"
    if not path.is_file():
        print("fingerprint: no protein data, skipped")
        return
    chain = ca_trace(path, "I")[150:450]
    print(f"{'fingerprint':24s} {'windows':>8s} {'seconds':>8s} {'windows/s':>10s}")
    for label, threads in (("all processors", None), ("one thread", 1)):
        seconds, fp = timed(skeinlab.knot_fingerprint, chain, step=2, samples=50, threads=threads)
        print(f"{label:24s} {len(fp):8d} {seconds:8.2f} {len(fp) / seconds:10.1f}")
    if quick:
        return
    # The direct way: every sample of every window an explicit polygon typed by knot_type.
    start = time.perf_counter()
    for i, j in zip(fp["start"], fp["end"]):
        skeinlab.knot_type(direct_polygons(chain[i:j + 1], "open", 50, rng), "ring")
    seconds = time.perf_counter() - start
    print(f"{'direct, all processors':24s} {len(fp):8d} {seconds:8.2f} {len(fp) / seconds:10.1f}")


def main(argv):
    quick = "--quick" in argv
    paths = [a for a in argv if not a.startswith("--")]
    data = pathlib.Path(paths[0]) if paths else pathlib.Path(__file__).resolve().parents[2] / "shared" / "data"
    rng = np.random.default_rng(7)
    print(f"processors available: {len(os.sched_getaffinity(0))}")
    spectra_table(data, rng)
    print()
    fingerprint_table(data, quick, rng)


if __name__ == "__main__":
    main(sys.argv[1:])
