#!/usr/bin/env python3
"""Checks that the core's layout keeps the rules ARCHITECTURE.md states.

- every unit of src/core lies in a folder, and every folder is named in the
  order of folders that ARCHITECTURE.md gives (lowest first);
- every quoted include of a core unit names an existing unit by its folder
  ("geometry/hull.hpp"), of the unit's own folder or of one before it;
- the units of a folder include each other without a cycle (a unit is its
  header and its source together);
- no function of src/core is longer than MAX_FUNCTION_LINES (the generated
  tables, *_data.cpp, are data, not functions); the longest are reported;
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
MAX_FUNCTION_LINES = 120
# The text before a function's body: a parameter list's ")", then qualifiers or a trailing return type.
FUNCTION_HEAD = re.compile(r"\)\s*(?:const\s*|noexcept\s*|override\s*|final\s*|mutable\s*|&\s*)*"
                           r"(?:->\s*[\w:<>,\s*&]+)?$")
# A constructor's member initialisers: ") : a(x), b{y}" before its body.
INITIALISERS = re.compile(r"\)\s*:\s*[\w:]+\s*[({]")
SCOPE_HEAD = re.compile(r"\b(?:namespace|struct|class|enum|union)\b[^;{}()]*$")


def folder_order(architecture: Path) -> list[str]:
    lines = [line.strip() for line in architecture.read_text(encoding="utf-8").splitlines()]
    orders = [line for line in lines if ORDER_LINE.match(line)]
    if len(orders) != 1:
        raise SystemExit(f"{architecture}: expected one line ordering the core's folders, found {len(orders)}")
    return re.findall(r"`(\w+)`", orders[0])


def code_only(text: str) -> str:
    """The text with comments, string and character literals blanked (their newlines kept)."""
    out: list[str] = []
    i, n = 0, len(text)
    while i < n:
        if text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("\n" * text.count("\n", i, end))
            i = end
            continue
        raw = re.match(r'R"([^(\s]*)\(', text[i:i + 20]) if text[i] == "R" and not text[i - 1:i].isalnum() else None
        if raw:
            closing = ")" + raw.group(1) + '"'
            end = text.find(closing, i + raw.end())
            end = n if end < 0 else end + len(closing)
            out.append('""' + "\n" * text.count("\n", i, end))
            i = end
            continue
        c = text[i]
        if c == "'" and text[i - 1:i].isalnum() and text[i + 1:i + 2].isalnum():
            out.append(c)  # a digit separator, 1'000
            i += 1
            continue
        if c in "\"'":
            end = i + 1
            while end < n and text[end] != c:
                end += 2 if text[end] == "\\" else 1
            out.append(c + c)
            i = end + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


def function_lengths(text: str) -> list[tuple[int, int, str]]:
    """(lines, first line, name) of every function body of a C++ source: a brace after a parameter list (or a
    constructor's initialisers) outside any other function; lambdas and blocks count in their function."""
    code = code_only(text)
    stack: list[tuple[str, int, str]] = []
    found: list[tuple[int, int, str]] = []
    line = 1
    for i, c in enumerate(code):
        if c == "\n":
            line += 1
        elif c == "{":
            if any(kind == "function" for kind, _, _ in stack):
                stack.append(("block", line, ""))
                continue
            head = code[max(0, i - 400):i].rstrip()
            is_function = FUNCTION_HEAD.search(head) or (INITIALISERS.search(head[-300:]) and head[-1:] in ")}")
            if not is_function or SCOPE_HEAD.search(head):
                stack.append(("scope", line, ""))
                continue
            if not FUNCTION_HEAD.search(head):  # a constructor: its name comes before its initialisers
                tail = head[-300:]
                starts = [m.start() for m in re.finditer(r"\)\s*:(?!:)", tail) if ";" not in tail[m.start():]]
                head = tail[:starts[0] + 1] if starts else tail
            names = re.findall(r"([~\w:]+)\s*\(", re.split(r"[;{}]", head)[-1])
            stack.append(("function", line, names[0] if names else "?"))
        elif c == "}" and stack:
            kind, first, name = stack.pop()
            if kind == "function":
                found.append((line - first + 1, first, name))
    return found


def include_cycles(units: dict[str, set[str]]) -> list[list[str]]:
    """The cycles of a folder's include graph (unit -> the units it includes), each once, from its least unit."""
    cycles: list[list[str]] = []
    state: dict[str, int] = {}
    path: list[str] = []

    def visit(unit: str) -> None:
        state[unit] = 1
        path.append(unit)
        for other in sorted(units.get(unit, ())):
            if state.get(other) == 1:
                cycle = path[path.index(other):]
                start = cycle.index(min(cycle))
                cycles.append(cycle[start:] + cycle[:start])
            elif other not in state:
                visit(other)
        path.pop()
        state[unit] = 2

    for unit in sorted(units):
        if unit not in state:
            visit(unit)
    return cycles


def check(root: Path = ROOT, longest: list[tuple[int, str]] | None = None) -> list[str]:
    """The broken rules, one line each; `longest` receives (lines, "file:line name") of every function."""
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
    within: dict[str, dict[str, set[str]]] = {}  # folder -> unit -> units of the folder it includes
    functions: list[tuple[int, str]] = []
    for unit in units:
        parts = unit.relative_to(core).parts
        if len(parts) != 2 or parts[0] not in rank:
            continue
        here = parts[0]
        where = f"src/core/{parts[0]}/{parts[1]}"
        text = unit.read_text(encoding="utf-8")
        if unit.suffix in (".cpp", ".cc", ".hpp", ".h") and not unit.stem.endswith("_data"):
            for lines, first, name in function_lengths(text):
                functions.append((lines, f"{where}:{first} {name}"))
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
            if there == here and target.stem != unit.stem:
                within.setdefault(here, {}).setdefault(unit.stem, set()).add(target.stem)
            if there in rank and rank[there] > rank[here]:
                problems.append(f'{where}: includes "{header}" from {there}, a folder after {here}')

    for folder, graph in sorted(within.items()):
        for cycle in include_cycles(graph):
            shown = " -> ".join(f"{folder}/{u}" for u in cycle + cycle[:1])
            problems.append(f"src/core/{folder}: its units include each other in a cycle: {shown}")
    functions.sort(key=lambda f: (-f[0], f[1]))
    for lines, where in functions:
        if lines > MAX_FUNCTION_LINES:
            problems.append(f"{where}: {lines} lines; functions of the core fit in {MAX_FUNCTION_LINES}")
    if longest is not None:
        longest.extend(functions)

    if (root / "tests" / "core").is_dir():
        for path in sorted((root / "tests" / "core").iterdir()):
            if path.is_dir() and path.name not in rank:
                problems.append(f"tests/core/{path.name}/: no core folder of that name")
            if path.is_file() and path.name.endswith("_test.cpp"):
                problems.append(f"tests/core/{path.name}: core tests lie in the folder of the unit they test")

    if not problems:
        print(f"layout: {len(order)} folders, {len(units)} files, {includes} includes, none upward, no cycle; "
              f"{len(functions)} functions, the longest {functions[0][0] if functions else 0} lines")
    return problems


def main() -> int:
    longest: list[tuple[int, str]] = []
    problems = check(longest=longest)
    for problem in problems:
        print(problem, file=sys.stderr)
    print("longest functions: " + "; ".join(f"{where} ({lines})" for lines, where in longest[:5]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
