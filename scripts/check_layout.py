#!/usr/bin/env python3
"""Checks that the core's layout keeps the rules ARCHITECTURE.md states.

- every unit of src/core lies in a folder, and every folder is named in the
  order of folders that ARCHITECTURE.md gives (lowest first);
- every quoted include of a core unit names an existing unit by its folder
  ("geometry/hull.hpp"), of the unit's own folder or of one before it;
- no core unit includes Python.h or NumPy's headers;
- the core tests under tests/core mirror the core's folders.

Prints one line per broken rule and exits with status 1 when there is any.
"""

from __future__ import annotations

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CORE = ROOT / "src" / "core"
CORE_TESTS = ROOT / "tests" / "core"
SOURCE_SUFFIXES = {".hpp", ".cpp", ".h", ".cc"}

# The order line of ARCHITECTURE.md: backquoted folder names joined by " < ".
ORDER_LINE = re.compile(r"^`\w+`(?: < `\w+`)+$")
QUOTED_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
ANY_INCLUDE = re.compile(r'^\s*#\s*include\s+[<"]([^>"]+)[>"]', re.MULTILINE)


def folder_order(architecture: Path) -> list[str]:
    lines = [line.strip() for line in architecture.read_text(encoding="utf-8").splitlines()]
    orders = [line for line in lines if ORDER_LINE.match(line)]
    if len(orders) != 1:
        raise SystemExit(f"{architecture}: expected one line ordering the core's folders, found {len(orders)}")
    return re.findall(r"`(\w+)`", orders[0])


def check(root: Path = ROOT) -> list[str]:
    core = root / "src" / "core"
    order = folder_order(root / "ARCHITECTURE.md")
    rank = {name: i for i, name in enumerate(order)}
    problems: list[str] = []

    units = sorted(p for p in core.rglob("*") if p.is_file() and p.suffix in SOURCE_SUFFIXES)
    folders = sorted({p.relative_to(core).parts[0] for p in core.iterdir() if p.is_dir()})
    for unit in units:
        parts = unit.relative_to(core).parts
        if len(parts) != 2:
            problems.append(f"src/core/{'/'.join(parts)}: units lie one folder deep under src/core")
    for folder in folders:
        if folder not in rank:
            problems.append(f"src/core/{folder}/: not named in the folder order of ARCHITECTURE.md")
    for name in order:
        if not (core / name).is_dir():
            problems.append(f"ARCHITECTURE.md names the folder {name}, which src/core does not have")

    includes = 0
    for unit in units:
        parts = unit.relative_to(core).parts
        if len(parts) != 2 or parts[0] not in rank:
            continue
        here = parts[0]
        where = f"src/core/{parts[0]}/{parts[1]}"
        text = unit.read_text(encoding="utf-8")
        for header in ANY_INCLUDE.findall(text):
            if header == "Python.h" or header.startswith("numpy/") or header.startswith("python"):
                problems.append(f"{where}: includes {header}; the core never includes Python's or NumPy's headers")
        for header in QUOTED_INCLUDE.findall(text):
            includes += 1
            target = Path(header)
            if len(target.parts) != 2:
                problems.append(f'{where}: includes "{header}"; core includes name the folder, as "geometry/hull.hpp"')
                continue
            if not (core / target).is_file():
                problems.append(f'{where}: includes "{header}", which is not a unit of src/core')
                continue
            there = target.parts[0]
            if there in rank and rank[there] > rank[here]:
                problems.append(f'{where}: includes "{header}" from {there}, a folder after {here}')

    if (root / "tests" / "core").is_dir():
        for path in sorted((root / "tests" / "core").iterdir()):
            if path.is_dir() and path.name not in rank:
                problems.append(f"tests/core/{path.name}/: no core folder of that name")
            if path.is_file() and path.name.endswith("_test.cpp"):
                problems.append(f"tests/core/{path.name}: core tests lie in the folder of the unit they test")

    if not problems:
        print(f"layout: {len(order)} folders, {len(units)} files, {includes} includes, none upward")
    return problems


def main() -> int:
    problems = check()
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
