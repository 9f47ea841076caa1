"""Ctrl-C during a long call: KeyboardInterrupt within half a second, and the pool works after."""
import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

CHILD = textwrap.dedent('''
    import sys, time
    import numpy as np
    import skeinlab

    def trefoil(n, noise, seed):
        t = np.linspace(0, 2 * np.pi, n, endpoint=False) + 0.0123
        r = 3 + np.cos(3 * t)
        c = np.stack([r * np.cos(2 * t), r * np.sin(2 * t), np.sin(3 * t)], axis=1)
        return c + np.random.default_rng(seed).normal(scale=noise, size=c.shape)

    kind = sys.argv[1]
    if kind == "trajectory":     # many frames, each quick
        call = lambda: skeinlab.knot_size(np.stack([trefoil(1000, 1e-3, s) for s in range(400)]))
    elif kind == "long core search":   # one frame: the core search of a long ring
        call = lambda: skeinlab.knot_size(trefoil(60000, 1e-3, 1), threads=1)
    elif kind in ("identify", "compact globule"):
        # One frame: a compact globule, its diagram simplified (identify), or its determinant (type).
        steps = np.random.default_rng(4).normal(size=(3000, 3))
        steps /= np.linalg.norm(steps, axis=1, keepdims=True)
        globule = np.zeros((3000, 3))
        for i in range(1, 3000):
            globule[i] = 0.9 * globule[i - 1] + steps[i]
        function = skeinlab.knot_identify if kind == "identify" else skeinlab.knot_type
        call = lambda: function(globule, threads=1)
    elif kind == "long walk":    # one frame: KMT and the polynomial of a long random walk
        call = lambda: skeinlab.knot_type(np.cumsum(np.random.default_rng(5).normal(size=(100000, 3)), axis=0))
    else:                        # one frame of a spectrum
        call = lambda: skeinlab.knot_spectrum(trefoil(3000, 1e-3, 2), "open", samples=100000)
    print("ready", flush=True)
    start = time.monotonic()
    try:
        call()
        print("finished", flush=True)
    except KeyboardInterrupt:
        print(f"interrupted {time.monotonic():.6f}", flush=True)
    # The same process types again, on the same shared pool.
    print(skeinlab.knot_type(trefoil(200, 0, 0))[0], flush=True)
''')


@pytest.mark.skipif(sys.platform == "win32", reason="POSIX signals")
@pytest.mark.parametrize("kind", ["trajectory", "long core search", "long walk", "spectrum", "identify",
                                  "compact globule"])
def test_sigint_ends_the_call_quickly_and_the_next_call_works(kind):
    child = subprocess.Popen([sys.executable, "-c", CHILD, kind], stdout=subprocess.PIPE, text=True,
                             start_new_session=True)
    assert child.stdout.readline().strip() == "ready"
    time.sleep(3.0 if kind == "compact globule" else 0.8)  # well inside the call (the determinant's, there)
    sent = time.monotonic()
    os.kill(child.pid, signal.SIGINT)
    out, _ = child.communicate(timeout=60)
    lines = out.split()
    assert len(lines) >= 3, out
    assert lines[0] == "interrupted", out
    assert float(lines[1]) - sent < 0.5
    assert lines[2] == "3_1"
