#!/usr/bin/env python3
"""Generates the census of prime knots of 13 to 15 crossings by their HOMFLY-PT polynomials.

The Hoste-Thistlethwaite-Weeks enumeration lists every prime knot up to 15 crossings (313,230 with those of
up to 12, which the KnotInfo table holds already) by a Dowker-Thistlethwaite code. For each knot of 13 to 15
crossings this script turns the code into a PD code (spherogram's DT realisation), computes the HOMFLY-PT
polynomial of the diagram and of its mirror image with the project's own sweep (tools/homfly_of_pd.cpp,
--census), checks every 13-crossing knot against the polynomial KnotInfo publishes (and takes KnotInfo's
diagram as the chirality called "+", as the table does up to 12 crossings; beyond, the census diagram's),
and writes the binary resource the core embeds (src/core/invariants/knot_census.bin):

    magic "SKCENSUS", version u32, class count u32
    classes: crossings u8, kind u8 ('a' alternating, 'n' not), 2 bytes zero, count u32   (census order)
    entry count u32, then 65,537 u32: where the entries of each top 16 bits of the hash begin
    entries, by hash: the hash's low 40 bits (5 bytes, little-endian), then 3 bytes: index << 2 | chirality
    (0: no sign, the polynomial equals its mirror's; 1: "+"; 2: "-")

The hash is FNV-1a (64 bits) of the polynomial's text as the project writes it. A knot's index counts the
census knots in order (13a_1, ..., 13n_..., 14a_1, ...); its name is "13n_1609". All names are those of
the enumeration (KnotInfo's for 13 crossings are the same).

The enumeration's data come from the PyPI package snappy-15-knots (its SQLite file, read here), the DT
realisation from spherogram (part of SnapPy) and KnotInfo's polynomials from database-knotinfo: run this
script with a Python that has them, in a virtual environment of its own (SnapPy's module is named like
python-snappy, which dask imports); nothing of them is kept but the names and the polynomials computed here.

    /path/to/snappy-venv/bin/python tools/generate_knot_census.py [--max-crossings 15] [--jobs 2]

After writing the census, the tool is built again with it and names a sample of census diagrams (every
--sample-th knot, default 250) and their mirror images back: each name must hold the knot itself with "+"
(its mirror "-"), or without a sign when its polynomial equals its mirror's, alone or among the knots
that share its polynomial. --check-only runs that check on the census as it is.
"""
from __future__ import annotations

import argparse
import multiprocessing
import re
import struct
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tools"))
from generate_knot_table import build_tool, terms_of  # noqa: E402

OUTPUT = ROOT / "src" / "core" / "invariants" / "knot_census.bin"
FNV_OFFSET, FNV_PRIME = 0xCBF29CE484222325, 0x100000001B3


def fnv1a(text: str) -> int:
    value = FNV_OFFSET
    for byte in text.encode():
        value = ((value ^ byte) * FNV_PRIME) & 0xFFFFFFFFFFFFFFFF
    return value


def census_rows(first: int, last: int) -> list[tuple[str, str]]:
    """(name, DT code) of the enumeration's knots of first to last crossings, in its order."""
    import sqlite3

    import snappy_15_knots  # type: ignore[import-not-found]

    path = Path(snappy_15_knots.__file__).parent / "sqlite_files" / "15_knots.sqlite"
    connection = sqlite3.connect(path)
    rows = []
    for name, dt in connection.execute("select name, DT from HT_links where cusps = 1 order by id"):
        crossings = int(re.match(r"K(\d+)", name).group(1))
        if first <= crossings <= last:
            rows.append((name, dt))
    return rows


def pd_line(row: tuple[str, str]) -> str:
    """'name<TAB>PD code' with edges from 1, as KnotInfo writes them."""
    from spherogram.codecs import DTcodec  # type: ignore[import-not-found]

    name, dt = row
    pd = DTcodec(dt).link().PD_code()
    return name + "\t[" + ",".join("[" + ",".join(str(e + 1) for e in c) + "]" for c in pd) + "]"


def short_name(name: str) -> str:
    """K13n1609 -> 13n_1609."""
    m = re.fullmatch(r"K(\d+)([an])(\d+)", name)
    return f"{m.group(1)}{m.group(2)}_{m.group(3)}"


def knotinfo_polynomials() -> dict[str, dict]:
    from database_knotinfo import link_list  # type: ignore[import-not-found]

    return {k["name"]: terms_of(k["homfly_polynomial"], "v", "z") for k in link_list()
            if k.get("crossing_number") == "13" and k.get("homfly_polynomial")}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--max-crossings", type=int, default=15)
    parser.add_argument("--jobs", type=int, default=multiprocessing.cpu_count())
    parser.add_argument("-o", "--output", type=Path, default=OUTPUT)
    parser.add_argument("--sample", type=int, default=250, help="name back every N-th knot (default 250)")
    parser.add_argument("--check-only", action="store_true", help="only name a sample back")
    args = parser.parse_args()
    started = time.time()
    if args.check_only:
        return check_names(census_rows(13, args.max_crossings), args.sample, args.jobs)
    tool = build_tool()
    rows = census_rows(13, args.max_crossings)
    print(f"{len(rows):,} knots of 13 to {args.max_crossings} crossings", flush=True)
    with multiprocessing.Pool(args.jobs) as pool:
        lines = pool.map(pd_line, rows, chunksize=2000)
    print(f"PD codes in {time.time() - started:.0f} s", flush=True)
    run = subprocess.run([str(tool), "--census"], input="\n".join(lines) + "\n", capture_output=True, text=True)
    if run.returncode:
        print(run.stderr, file=sys.stderr)
        return 1
    polynomials = [line.split("\t") for line in run.stdout.splitlines()]
    assert [p[0] for p in polynomials] == [r[0] for r in rows]
    print(f"polynomials in {time.time() - started:.0f} s", flush=True)

    knotinfo = knotinfo_polynomials()
    flipped = checked = 0
    entries: list[tuple[int, int]] = []
    classes: list[list] = []
    for index, (name, homfly, mirror) in enumerate(polynomials):
        short = short_name(name)
        if knotinfo and short.startswith("13"):
            ours, theirs = terms_of(homfly, "v", "z"), knotinfo.get(short)
            if theirs is None:
                print(f"KnotInfo has no polynomial of {short}", file=sys.stderr)
                return 1
            if theirs != ours:
                if theirs != terms_of(mirror, "v", "z"):
                    print(f"{short}: HOMFLY-PT {homfly} is not KnotInfo's", file=sys.stderr)
                    return 1
                homfly, mirror = mirror, homfly  # "+" is KnotInfo's diagram
                flipped += 1
            checked += 1
        crossings, kind = int(short.split("_")[0][:-1]), short.split("_")[0][-1]
        if not classes or classes[-1][:2] != [crossings, kind]:
            classes.append([crossings, kind, 0])
        classes[-1][2] += 1
        if homfly == mirror:
            entries.append((fnv1a(homfly), index << 2))
        else:
            entries.append((fnv1a(homfly), index << 2 | 1))
            entries.append((fnv1a(mirror), index << 2 | 2))
    print(f"checked {checked:,} knots of 13 crossings against KnotInfo ({flipped:,} mirrored to its chirality)")
    entries.sort()
    out = bytearray(b"SKCENSUS")
    out += struct.pack("<II", 1, len(classes))
    for crossings, kind, count in classes:
        out += struct.pack("<BBHI", crossings, ord(kind), 0, count)
    out += struct.pack("<I", len(entries))
    buckets = [0] * 65537
    for value, _ in entries:
        buckets[(value >> 48) + 1] += 1
    for k in range(65536):
        buckets[k + 1] += buckets[k]
    out += struct.pack(f"<{len(buckets)}I", *buckets)
    for value, packed in entries:
        out += (value & 0xFFFFFFFFFF).to_bytes(5, "little") + packed.to_bytes(3, "little")
    args.output.write_bytes(bytes(out))
    print(f"{len(entries):,} entries of {len(polynomials):,} knots, {len(out) / 1e6:.1f} MB written to "
          f"{args.output} in {time.time() - started:.0f} s")
    if args.output != OUTPUT:
        return 0  # the tool embeds the census at OUTPUT only
    return check_names(rows, args.sample, args.jobs)


def check_names(rows: list[tuple[str, str]], every: int, jobs: int) -> int:
    """Names every `every`-th census knot's diagram and mirror image with the tool built on the census."""
    tool = build_tool()
    sample = rows[::every]
    with multiprocessing.Pool(jobs) as pool:
        lines = pool.map(pd_line, sample)
    run = subprocess.run([str(tool), "--names"], input="\n".join(lines) + "\n", capture_output=True, text=True)
    if run.returncode:
        print(run.stderr, file=sys.stderr)
        return 1
    wrong = 0
    for line in run.stdout.splitlines():
        name, identified, mirrored = line.split("\t")
        short = short_name(name)
        ours, theirs = identified.strip("()").split("|"), mirrored.strip("()").split("|")
        if not ((f"+{short}" in ours and f"-{short}" in theirs) or (short in ours and short in theirs)):
            wrong += 1
            print(f"{short}: named {identified}, its mirror image {mirrored}", file=sys.stderr)
    print(f"named back {len(sample) - wrong:,} of {len(sample):,} census diagrams and their mirror images")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
