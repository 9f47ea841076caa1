#!/usr/bin/env bash
# Builds skeinlab from this checkout into a virtual environment (the active
# one, or .venv here) and runs its command line on the example files that
# ship with it: ring polymers, open chains, a knotted protein (PDB entry 1J85)
# and a LAMMPS dump of a ring melt in a periodic box.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

ensure_build_requirements
echo "== building and installing skeinlab (the first build compiles the C++ core, about a minute on two cores)"
pip_build install ".[all]"
skeinlab="$(dirname "$PY")/skeinlab"
echo "== skeinlab type examples/rings.xyz --summary   (how many of its 120 frames gave each knot; without --summary, a row a frame)"
"$skeinlab" type examples/rings.xyz --summary
echo "== skeinlab size --open examples/open_chains.xyz --stop 5   (knot and core of the first five frames)"
"$skeinlab" size --open examples/open_chains.xyz --stop 5
echo "== skeinlab size --open examples/open_chains.xyz --summary"
"$skeinlab" size --open examples/open_chains.xyz --summary
echo "== skeinlab size examples/1j85.pdb   (a protein: its alpha carbons, typed as an open chain)"
"$skeinlab" size examples/1j85.pdb
echo "== skeinlab spectrum --identify examples/1j85.pdb   (its trefoil over 100 closures, with its hand)"
"$skeinlab" spectrum --identify examples/1j85.pdb
echo "== skeinlab type examples/ring_melt.lammpstrj --summary   (every ring of every frame, unwrapped across the box)"
"$skeinlab" type examples/ring_melt.lammpstrj --summary
