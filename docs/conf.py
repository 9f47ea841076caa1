"""Sphinx configuration of skeinlab's documentation: Markdown pages (MyST), the API reference from the
package's docstrings (autodoc) and, for the compiled functions, from the type stubs (docs/_ext/stubdoc.py),
both in numpydoc style."""
from __future__ import annotations

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent / "_ext"))

project = "skeinlab"
author = "the skeinlab developers"
extensions = ["myst_parser", "sphinx.ext.autodoc", "numpydoc", "stubdoc"]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build"]
html_theme = "alabaster"
html_static_path: list[str] = []
myst_heading_anchors = 3
numpydoc_show_class_members = False
numpydoc_class_members_toctree = False
# The stubs' and docstrings' sections named as this package writes them ("Example").
numpydoc_validation_checks: set[str] = set()
autodoc_typehints = "signature"
nitpicky = False
suppress_warnings = ["myst.xref_missing"]
