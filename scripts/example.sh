#!/usr/bin/env bash
# Builds skeinlab from this checkout into a virtual environment (the active
# one, or .venv here) and types the example files that ship with it: ring
# polymers, open chains, and the alpha-carbon trace of a PDB file.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

ensure_build_requirements
echo "== building and installing skeinlab (the first build compiles the C++ core, about a minute on two cores)"
pip_build install
echo "== typing the examples"
"$PY" examples/classify.py examples/rings.xyz
"$PY" examples/classify.py --open examples/open_chains.xyz
"$PY" examples/classify.py examples/knotted_backbone.pdb
