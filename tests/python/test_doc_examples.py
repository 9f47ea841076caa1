"""The examples of the documentation run: every ``>>>`` example of the type stubs, of the package's
docstrings and of the guides in docs/, as doctests. They share a namespace of the chains they name
: ``right_trefoil`` and ``chain`` (a right-handed trefoil ring),
``trace`` (the first model of the shipped knotted backbone), ``ring_a`` and ``ring_b`` (a Hopf link),
``frame`` (a frame of those two rings), run in a directory holding ``examples/`` and ``run.xyz``."""
from __future__ import annotations

import ast
import doctest
import os
import shutil
from pathlib import Path

import numpy as np
import pytest

import skeinlab

ROOT = Path(__file__).resolve().parents[2]
PACKAGE = Path(skeinlab.__file__).resolve().parent
FLAGS = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE


def torus_knot(p: int, q: int, n: int = 200) -> np.ndarray:
    t = np.linspace(0.0, 2.0 * np.pi, n, endpoint=False)
    r = 2.0 + np.cos(q * t)
    return np.stack([r * np.cos(p * t), r * np.sin(p * t), -np.sin(q * t)], axis=1)


def names() -> dict[str, object]:
    """The names the examples use."""
    t = np.linspace(0.0, 2.0 * np.pi, 60, endpoint=False)
    ring_a = np.stack([np.cos(t), np.sin(t), np.zeros_like(t)], axis=1)
    ring_b = np.stack([1.0 + np.cos(t), np.zeros_like(t), np.sin(t)], axis=1)[::-1]
    trefoil = torus_knot(2, 3)
    from skeinlab.simulation import SimulationFrame

    frame = SimulationFrame(0, np.stack([ring_a, ring_b]), np.array([1, 2]), np.zeros(2, dtype=bool),
                            np.zeros(3))
    import glob

    import skeinlab.dask  # noqa: F401  (the examples use skeinlab.dask)

    return {"np": np, "skeinlab": skeinlab, "glob": glob, "right_trefoil": trefoil, "chain": trefoil, "ring_a": ring_a,
            "ring_b": ring_b, "frame": frame,
            "trace": skeinlab.read_pdb(str(ROOT / "examples" / "knotted_backbone.pdb"), atom_filter="ca")[0]}


def docstrings() -> list[tuple[str, str]]:
    """(where, docstring) of every function and class of the stubs and of the package's modules."""
    found = []
    sources = [PACKAGE / "_core.pyi"] + sorted(p for p in PACKAGE.glob("*.py") if not p.name.startswith("_"))
    for source in sources:
        for node in ast.walk(ast.parse(source.read_text(encoding="utf-8"))):
            if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
                text = ast.get_docstring(node, clean=False)
                if text and ">>>" in text:
                    found.append((f"{source.name}:{node.lineno} {node.name}", text))
    return found


def guides() -> list[tuple[str, str]]:
    pages = sorted((ROOT / "docs").rglob("*.md"))
    return [(str(p.relative_to(ROOT)), p.read_text(encoding="utf-8")) for p in pages
            if ">>>" in p.read_text(encoding="utf-8")]


@pytest.fixture(scope="module")
def workdir(tmp_path_factory: pytest.TempPathFactory) -> Path:
    here = tmp_path_factory.mktemp("examples")
    shutil.copytree(ROOT / "examples", here / "examples")
    shutil.copy(here / "examples" / "rings.xyz", here / "run.xyz")
    shutil.copy(here / "examples" / "ring_melt.lammpstrj", here / "melt.lammpstrj")
    (here / "runs").mkdir()
    for name in ("a.xyz", "b.xyz"):
        shutil.copy(here / "examples" / "rings.xyz", here / "runs" / name)
    return here


CASES = docstrings() + guides()


@pytest.mark.parametrize(("where", "text"), CASES, ids=[where.split()[0] for where, _ in CASES])
def test_the_examples_run(where: str, text: str, workdir: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    for module in ("pandas", "gemmi", "dask.distributed"):
        pytest.importorskip(module)
    monkeypatch.chdir(workdir)
    test = doctest.DocTestParser().get_doctest(text, names(), where, where, 0)
    runner = doctest.DocTestRunner(optionflags=FLAGS)
    report: list[str] = []
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)


def test_every_example_is_found() -> None:
    assert len(docstrings()) >= 20
