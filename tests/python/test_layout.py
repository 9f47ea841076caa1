"""The layout check of the core (scripts/check_layout.py) on this checkout and on
small trees that break each rule it enforces."""

from __future__ import annotations

import importlib.util
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
_spec = importlib.util.spec_from_file_location("check_layout", ROOT / "scripts" / "check_layout.py")
assert _spec and _spec.loader
check_layout = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_layout)


def test_this_checkout_keeps_the_layout() -> None:
    assert check_layout.check(ROOT) == []


def make_tree(root: Path, files: dict[str, str]) -> None:
    base = {
        "ARCHITECTURE.md": "# Architecture\n\nFolders, lowest first:\n\n`low` < `high`\n",
        "src/core/low/a.hpp": "#pragma once\n#include <vector>\n",
        "src/core/low/a.cpp": '#include "low/a.hpp"\n',
        "src/core/high/b.hpp": '#pragma once\n#include "low/a.hpp"\n',
        "tests/core/low/a_test.cpp": '#include "low/a.hpp"\n',
    }
    base.update(files)
    for name, text in base.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)


@pytest.mark.parametrize(
    ("files", "expected"),
    [
        pytest.param({}, None, id="clean"),
        pytest.param({"src/core/low/a.cpp": '#include "high/b.hpp"\n'}, "a folder after low", id="upward"),
        pytest.param({"src/core/c.hpp": "#pragma once\n"}, "one folder deep", id="unit-at-top"),
        pytest.param({"src/core/high/b.cpp": '#include "a.hpp"\n'}, "name the folder", id="bare-include"),
        pytest.param({"src/core/high/b.cpp": '#include "low/gone.hpp"\n'}, "not a unit", id="missing-unit"),
        pytest.param({"src/core/low/p.cpp": "#include <Python.h>\n"}, "never includes", id="python-header"),
        pytest.param({"src/core/low/n.cpp": "#include <numpy/arrayobject.h>\n"}, "never includes", id="numpy"),
        pytest.param({"src/core/extra/e.hpp": "#pragma once\n"}, "not named", id="unlisted-folder"),
        pytest.param({"tests/core/x_test.cpp": ""}, "folder of the unit", id="test-at-top"),
        pytest.param({"tests/core/other/x_test.cpp": ""}, "no core folder", id="test-folder"),
        pytest.param({"src/core/low/b.hpp": '#pragma once\n#include "low/a.hpp"\n',
                      "src/core/low/a.cpp": '#include "low/a.hpp"\n#include "low/b.hpp"\n'},
                     "cycle: low/a -> low/b -> low/a", id="include-cycle"),
        pytest.param({"src/core/low/f.cpp": "int f(int x) {\n" + "    x += g(x, '}');\n" * 125 + "    return x;\n}\n"},
                     "f.cpp:1 f: 128 lines", id="long-function"),
        pytest.param({"src/core/low/f.cpp": "struct S {\n    S() : x{1} {\n" + "        x += 1;\n" * 125 + "    }\n"
                      "    int x;\n};\n"}, "f.cpp:2 S: 127 lines", id="long-constructor"),
        pytest.param({"src/core/low/f_data.cpp": "int f() {\n" + "    return 1;\n" * 125 + "}\n"}, None,
                     id="generated-table"),
        pytest.param({"src/core/low/f.cpp": "namespace n {\nint f() {\n    auto g = [] {\n" + "        h();\n" * 60
                      + "    };\n    /* } */ return 1;\n}\n}  // namespace n\n"}, None, id="lambda-in-function"),
    ],
)
def test_each_rule_is_enforced(tmp_path: Path, files: dict[str, str], expected: str | None) -> None:
    make_tree(tmp_path, files)
    problems = check_layout.check(tmp_path)
    if expected is None:
        assert problems == []
    else:
        assert len(problems) == 1 and expected in problems[0], problems


def test_the_longest_functions_are_reported(tmp_path: Path) -> None:
    make_tree(tmp_path, {"src/core/low/f.cpp": "int f() {\n    return 1;\n}\nint g() { return 2; }\n"})
    longest: list[tuple[int, str]] = []
    assert check_layout.check(tmp_path, longest) == []
    assert longest == [(3, "src/core/low/f.cpp:1 f"), (1, "src/core/low/f.cpp:4 g")]


def test_the_order_must_be_stated_once(tmp_path: Path) -> None:
    make_tree(tmp_path, {"ARCHITECTURE.md": "no order here\n"})
    with pytest.raises(SystemExit, match="expected one line ordering"):
        check_layout.check(tmp_path)
