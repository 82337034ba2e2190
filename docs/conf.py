"""Sphinx configuration of kyber_alg's documentation (MyST markdown pages, API from the .pyi stubs)."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(Path(__file__).resolve().parent / "_ext"))

project = "kyber_alg"
author = "kyber_alg developers"
copyright = "kyber_alg developers, Apache License 2.0"
# The one place the version is written is kyber_alg/__init__.py; read it without importing the package.
release = re.search(r'^__version__ = "([^"]+)"', (ROOT / "kyber_alg" / "__init__.py").read_text(), re.M).group(1)
version = release

# kyber_alg_reference: the reference of every public module, and the checks of the -W build
# (docs/_ext/kyber_alg_reference.py).
extensions = ["myst_parser", "autoapi.extension", "kyber_alg_reference"]
source_suffix = {".md": "markdown"}
exclude_patterns = ["requirements.txt", "_ext"]
myst_heading_anchors = 3
myst_enable_extensions = ["deflist"]
kyber_alg_package = str(ROOT / "kyber_alg")

# The API reference is read statically from the stubs (no build of the native modules needed); a
# stub wins over a .py file of the same name. Pages under api/ place it with the autoapi directives
# (``autoapimodule``, ``autoapifunction``, ...), so no pages are generated.
autoapi_type = "python"
autoapi_dirs = [str(ROOT / "kyber_alg")]
autoapi_file_patterns = ["*.pyi", "*.py"]
autoapi_ignore = ["*/__main__.py"]
autoapi_generate_api_docs = False
autoapi_add_toctree_entry = False
autoapi_member_order = "bysource"
# autoapi loads autosummary; nothing here uses its page generation (which wants .rst sources).
autosummary_generate = False

html_theme = "alabaster"
html_title = f"kyber_alg {release}"


def _signature_from_new(app, what, name, obj, options, signature, return_annotation):
    """The native types' stubs declare their constructor as ``__new__`` (they have no ``__init__``),
    which autoapi does not read for a class's signature: take it from there."""
    if what != "apiclass" or signature not in (None, "", "()"):
        return None
    new = next((child for child in getattr(obj, "children", ()) if child.short_name == "__new__"), None)
    if new is None:
        return None
    parameters = [
        (prefix or "")
        + arg
        + (f": {annotation}" if annotation else "")
        + ((f" = {default}" if annotation else f"={default}") if default else "")
        for prefix, arg, annotation, default in new.obj["args"]
        if arg != "cls"
    ]
    return f"({', '.join(parameters)})", return_annotation


def setup(app):
    app.connect("autodoc-process-signature", _signature_from_new)
