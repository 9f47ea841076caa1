#!/usr/bin/env bash
# Builds skeinlab from this checkout into a virtual environment (the active
# one, or .venv here) and runs its command line on the example files that
# ship with it: ring polymers, open chains, and the alpha-carbon trace of a
# PDB file.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

ensure_build_requirements
echo "== building and installing skeinlab (the first build compiles the C++ core, about a minute on two cores)"
pip_build install ".[all]"
skeinlab="$(dirname "$PY")/skeinlab"
echo "== skeinlab type examples/rings.xyz"
"$skeinlab" type examples/rings.xyz
echo "== skeinlab size --open examples/open_chains.xyz"
"$skeinlab" size --open examples/open_chains.xyz
echo "== skeinlab size examples/knotted_backbone.pdb   (PDB files are typed as open chains)"
"$skeinlab" size examples/knotted_backbone.pdb
echo "== skeinlab spectrum examples/knotted_backbone.pdb"
"$skeinlab" spectrum examples/knotted_backbone.pdb
