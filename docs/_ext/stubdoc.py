"""A Sphinx directive documenting the compiled module's functions from its type stubs.

The compiled functions carry no docstrings of their own: their signatures and numpydoc-style docstrings live
in ``skeinlab/_core.pyi``. ``.. stub-functions:: name name ...`` reads the stubs of the installed package and
writes each function as autodoc would (``py:function`` with its signature, the docstring rendered by
numpydoc). Docstrings are read as the package writes them: an "Example" section is numpydoc's "Examples".
"""
from __future__ import annotations

import ast
import re
from pathlib import Path

from docutils import nodes
from docutils.statemachine import StringList
from numpydoc.docscrape_sphinx import SphinxDocString
from sphinx.application import Sphinx
from sphinx.util.docutils import SphinxDirective


def stub_path() -> Path:
    import skeinlab

    return Path(skeinlab.__file__).resolve().parent / "_core.pyi"


def numpydoc_sections(text: str) -> str:
    """The docstring with the package's "Example" heading named as numpydoc names it."""
    return re.sub(r"^(\s*)Example\n(\s*)-------$", r"\1Examples\n\2--------", text, flags=re.M)


def escaped_bars(text: str) -> str:
    """The docstring with its "|" escaped outside code and doctest blocks: knot names such as "(3_1|4_1)"
    are text, not reStructuredText substitutions."""
    out, in_doctest = [], False
    for line in text.split("\n"):
        stripped = line.strip()
        in_doctest = stripped.startswith(">>>") or (in_doctest and stripped != "")
        if not in_doctest:
            parts = re.split(r"(``.*?``|`[^`]*`)", line)
            line = "".join(part if part.startswith("`") else part.replace("|", "\\|") for part in parts)
        out.append(line)
    return "\n".join(out)


def stub_functions() -> dict[str, tuple[str, str]]:
    """name -> (signature, docstring) of the stubs' functions."""
    source = stub_path().read_text(encoding="utf-8")
    found = {}
    for node in ast.parse(source).body:
        if isinstance(node, ast.FunctionDef):
            arguments = ast.unparse(node.args)
            returns = f" -> {ast.unparse(node.returns)}" if node.returns else ""
            found[node.name] = (f"{node.name}({arguments}){returns}", ast.get_docstring(node) or "")
    return found


class StubFunctions(SphinxDirective):
    has_content = False
    required_arguments = 1
    final_argument_whitespace = True

    def run(self) -> list[nodes.Node]:
        functions = stub_functions()
        lines: list[str] = []
        for name in self.arguments[0].split():
            if name not in functions:
                raise self.error(f"stub-functions: no function {name} in {stub_path()}")
            signature, doc = functions[name]
            lines += [f".. py:function:: {signature}", "   :module: skeinlab", ""]
            rendered = str(SphinxDocString(escaped_bars(numpydoc_sections(doc)), config={"use_plots": False}))
            lines += ["   " + line if line else "" for line in rendered.splitlines()] + [""]
        container = nodes.section()
        container.document = self.state.document
        self.state.nested_parse(StringList(lines, source=str(stub_path())), self.content_offset, container)
        return list(container.children)


def package_sections(app: Sphinx, what: str, name: str, obj: object, options: object, lines: list[str]) -> None:
    """The package's own docstrings, before numpydoc reads them: "Example" as numpydoc names it."""
    lines[:] = numpydoc_sections("\n".join(lines)).split("\n")


def setup(app: Sphinx) -> dict[str, object]:
    app.add_directive("stub-functions", StubFunctions)
    app.connect("autodoc-process-docstring", package_sections, priority=100)
    return {"parallel_read_safe": True}
