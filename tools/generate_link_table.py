#!/usr/bin/env python3
"""Generates the table of prime links and their HOMFLY-PT polynomials.

For every oriented prime link of two or more components in the LinkInfo
database up to --max-crossings crossings (10 by default), the polynomial is
computed by the project's own code (tools/homfly_of_pd.cpp --link, built here:
the oriented diagram of the link's PD code, each over strand directed by the
under strands of its component, and the HOMFLY-PT sweep) and checked against
the HOMFLY-PT polynomial LinkInfo publishes; any difference stops the run.
Then every link's diagram and its mirror image are named by the project's
lookup in the table just written (compiled into the tool), which must give the
link itself with its chirality ("+L", "-L", "L" when the polynomial cannot
tell the two apart), alone or among the links that share its polynomial. The
result is a C++ source holding one line per link, "name<TAB>components<TAB>
HOMFLY-PT": the polynomial of LinkInfo's diagram (the chirality the table calls
"+"; the mirror image has P(v^-1, -z)).

LinkInfo's data come from the PyPI package database-knotinfo, needed only to
run this script (pip install database-knotinfo); nothing of it is kept but the
names and the polynomials computed here.

    python3 tools/generate_link_table.py                 # writes src/core/invariants/link_table_data.cpp
    python3 tools/generate_link_table.py --placements PYTHON   # then places every link in space

With --placements, every link of the table is then also placed in space as the closure of its braid word
(LinkInfo's braid notation, read here and not kept) and named by skeinlab.link_type, by
tools/check_link_placements.py run with the given Python interpreter (one where skeinlab is installed).
"""

from __future__ import annotations

import argparse
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from generate_knot_table import ROOT, build_tool, terms_of  # noqa: E402

DEFAULT_OUTPUT = ROOT / "src" / "core" / "invariants" / "link_table_data.cpp"


def pd_lines(links: list[dict[str, str]]) -> str:
    return "".join(f"{k['name']}\t{k['pd_notation_vector'].replace('{', '[').replace('}', ']')}\n" for k in links)


def check_names(tool: Path, links: list[dict[str, str]], polynomials: dict[str, dict]) -> int:
    """Names every link's diagram and its mirror image; returns the number of wrong names."""
    run = subprocess.run([str(tool), "--link-names"], input=pd_lines(links), capture_output=True, text=True,
                         check=True)
    wrong = shared = 0
    for line in run.stdout.splitlines():
        name, named, named_mirror = line.split("\t")
        p = polynomials[name]
        signed = p != {(-a, b): c * (-1) ** b for (a, b), c in p.items()}
        for got, sign in ((named, "+"), (named_mirror, "-")):
            expected = sign + name if signed else name
            alternatives = got[1:-1].split("|") if got.startswith("(") else [got]
            shared += len(alternatives) > 1
            if expected not in alternatives:
                print(f"{name}: its {'mirror image' if sign == '-' else 'diagram'} is named {got}, "
                      f"expected {expected}", file=sys.stderr)
                wrong += 1
    print(f"every diagram and mirror image named as its link ({shared // 2} links among alternatives)"
          if not wrong else f"{wrong} wrong names")
    return wrong


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--max-crossings", type=int, default=10)
    parser.add_argument("-o", "--output", type=Path, default=DEFAULT_OUTPUT)
    parser.add_argument("--placements", metavar="PYTHON",
                        help="also name every link placed in space, with skeinlab installed for PYTHON")
    args = parser.parse_args()
    try:
        import database_knotinfo
    except ImportError:
        print("the generator needs LinkInfo's data: pip install database-knotinfo", file=sys.stderr)
        return 2

    links = [k for k in database_knotinfo.link_list(proper_links=True)[1:]
             if int(k["crossing_number"]) <= args.max_crossings and int(k["components"]) >= 2]
    tool = build_tool()
    started = time.monotonic()
    run = subprocess.run([str(tool), "--link"], input=pd_lines(links), capture_output=True, text=True, check=True)
    seconds = time.monotonic() - started
    rows = [line.split("\t") for line in run.stdout.splitlines()]
    if len(rows) != len(links):
        print(f"the tool gave {len(rows)} rows for {len(links)} links", file=sys.stderr)
        return 1
    mismatches = 0
    for link, (name, components, homfly) in zip(links, rows):
        assert name == link["name"]
        if components != link["components"]:
            print(f"{name}: {components} components but LinkInfo has {link['components']}", file=sys.stderr)
            mismatches += 1
        if terms_of(homfly, "v", "z") != terms_of(link["homflypt_polynomial"], "v", "z"):
            print(f"{name}: HOMFLY-PT {homfly} but LinkInfo has {link['homflypt_polynomial']}", file=sys.stderr)
            mismatches += 1
    if mismatches:
        print(f"{mismatches} differences from LinkInfo; nothing written", file=sys.stderr)
        return 1

    version = database_knotinfo.version()
    body = "".join(f"{name}\t{components}\t{homfly}\n" for name, components, homfly in rows)
    args.output.write_text(
        "// Generated by tools/generate_link_table.py from the PD codes of LinkInfo\n"
        f"// (database-knotinfo {version}); do not edit. The oriented prime links of two or more\n"
        f"// components up to {args.max_crossings} crossings, one line each: the name, the number of\n"
        "// components, and the HOMFLY-PT polynomial of LinkInfo's diagram as the sweep\n"
        "// computes it (the chirality called \"+\").\n"
        '#include "invariants/link_table_data.hpp"\n\n'
        "namespace skeinlab {\n\n"
        f"extern const char kPrimeLinkHomfly[] = R\"table(\n{body})table\";\n\n"
        "}  // namespace skeinlab\n",
        encoding="utf-8",
    )
    print(f"{len(rows)} links up to {args.max_crossings} crossings: HOMFLY-PT equal to LinkInfo's "
          f"(computed in {seconds:.1f} s); wrote {args.output.relative_to(ROOT) if args.output.is_relative_to(ROOT) else args.output}")
    if args.output.resolve() != DEFAULT_OUTPUT.resolve():
        print("names not checked: the tool compiles the table at its default place")
        return 0
    polynomials = {name: terms_of(homfly, "v", "z") for name, _components, homfly in rows}
    if check_names(build_tool(), links, polynomials):
        return 1
    if args.placements:
        return subprocess.run([args.placements, str(ROOT / "tools" / "check_link_placements.py")],
                              input=braid_lines(links), text=True).returncode
    return 0


def braid_lines(links: list[dict[str, str]]) -> str:
    """Lines "name<TAB>strands<TAB>word" of LinkInfo's braid notation, "{3, {1, -2, 1}}"."""
    out = []
    for link in links:
        strands, word = link["braid_notation"].strip()[1:-1].split(",", 1)
        out.append(f"{link['name']}\t{strands.strip()}\t{word.strip().strip('{}')}\n")
    return "".join(out)


if __name__ == "__main__":
    sys.exit(main())
