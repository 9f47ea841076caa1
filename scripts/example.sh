#!/usr/bin/env bash
# Installs skeinlab from this checkout and types the example files that ship
# with it: ring polymers, open chains, and the alpha-carbon trace of a PDB file.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 -m pip install --quiet --disable-pip-version-check --root-user-action=ignore .
python3 examples/classify.py examples/rings.xyz
python3 examples/classify.py --open examples/open_chains.xyz
python3 examples/classify.py examples/knotted_backbone.pdb
