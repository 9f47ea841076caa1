import numpy as np
import pytest


@pytest.fixture(autouse=True)
def isolated_table_env(monkeypatch, tmp_path):
    """Every test starts with no table variable and an empty home directory."""
    monkeypatch.delenv("LOOMCRAFT_ALEXANDER_TABLE", raising=False)
    home = tmp_path / "home"
    home.mkdir()
    monkeypatch.setenv("HOME", str(home))
    return home


PHASE = 0.0123  # keeps projected crossings off the sample points


def torus_knot(p, q, n=150, shift=(0.0, 0.0, 0.0)):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False) + PHASE
    r = 3.0 + np.cos(q * t)
    pts = np.stack([r * np.cos(p * t), r * np.sin(p * t), np.sin(q * t)], axis=1)
    return pts + np.asarray(shift)


def figure_eight(n=200):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False) + PHASE
    return np.stack(
        [(2 + np.cos(2 * t)) * np.cos(3 * t), (2 + np.cos(2 * t)) * np.sin(3 * t), np.sin(4 * t)], axis=1
    )


def twisted_circle(n=60):
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False)
    return np.stack([np.cos(t), np.sin(t), 0.3 * np.sin(2 * t)], axis=1)


def with_tails(knot, tail_points=40, tail_length=30.0):
    """An open chain: the knot with straight tails leaving along +z and -z."""
    steps = np.linspace(tail_length, tail_length / tail_points, tail_points)
    head = knot[0] + np.outer(steps, [0.0, 0.0, 1.0])
    tail = knot[-1] - np.outer(steps[::-1], [0.0, 0.0, 1.0])
    return np.vstack([head, knot, tail])
