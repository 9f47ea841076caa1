"""Every prime link of LinkInfo up to 10 crossings placed in space and named by skeinlab.link_type.

usage: python3 bench/link_names_bench.py (after `pip install .`, with `pip install database-knotinfo`,
the package the link table is generated from, in the same environment)

Each link is placed as the closure of its braid word (LinkInfo's braid notation, read from the package,
nothing kept), turned by a seeded random rotation, and named (tools/check_link_placements.py): prints the
links not named, then how many were named and the time, for the two-component links and for all.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from generate_link_table import braid_lines  # noqa: E402


def main():
    import database_knotinfo

    links = [k for k in database_knotinfo.link_list(proper_links=True)[1:] if int(k["crossing_number"]) <= 10]
    checker = os.path.join(ROOT, "tools", "check_link_placements.py")
    for label, chosen in (("two components", [k for k in links if k["components"] == "2"]), ("all", links)):
        print(f"== {label}: {len(chosen)} links")
        subprocess.run([sys.executable, checker], input=braid_lines(chosen), text=True)


if __name__ == "__main__":
    main()
