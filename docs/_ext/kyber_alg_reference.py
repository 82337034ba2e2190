"""The API reference of every public module, and checks that fail the ``-W`` build.

- Each page under ``api/`` documents the module its title names (``# `kyber_alg.sm2` ...``); a page
  without an ``autoapimodule`` directive of its own gets the module's reference appended, so a new
  module needs only its page. The page of the ``kyber-alg`` command gets the usage of each command,
  from the command line's own parser.
- Every public module has a reference on some page, and every public name in it has a docstring
  (functions, classes, their public methods and properties, and module constants, whose docstring
  is the string right after the assignment). Names are read from the stubs and sources without
  importing anything, as the reference itself is.
- Inline code that spans a line break (Markdown keeps the break as spaces: ``PRIVATE   KEY``), a
  paragraph line that starts with ``: `` (a definition list that was not parsed as one) and a link to
  the package index (packages are named, not linked) are reported.
"""

from __future__ import annotations

import ast
import contextlib
import importlib.machinery
import io
import os
import re
import sys
import types
from pathlib import Path
from unittest import mock

from docutils import nodes
from sphinx.util import logging

logger = logging.getLogger(__name__)

PACKAGE = "kyber_alg"
REFERENCE = """

## Reference

```{{eval-rst}}
.. autoapimodule:: {module}
   :members:
   :undoc-members:
   :member-order: bysource
```
"""


def _source_files(root: Path) -> dict[str, Path]:
    """Public module name -> the file the reference is read from (a stub wins over a .py file)."""
    found: dict[str, Path] = {}
    for path in sorted(root.rglob("*.py*")):
        if path.suffix not in (".py", ".pyi") or "__pycache__" in path.parts:
            continue
        parts = list(path.relative_to(root.parent).with_suffix("").parts)
        if parts[-1] == "__init__":
            parts.pop()
        if any(part.startswith("_") for part in parts):
            continue
        name = ".".join(parts)
        if name not in found or path.suffix == ".pyi":
            found[name] = path
    return found


def _module_file(root: Path, module: str) -> Path | None:
    base = root.parent.joinpath(*module.split("."))
    for candidate in (base.with_suffix(".pyi"), base.with_suffix(".py"), base / "__init__.pyi", base / "__init__.py"):
        if candidate.is_file():
            return candidate
    return None


def _has_docstring(node: ast.AST) -> bool:
    return isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef, ast.ClassDef)) and bool(ast.get_docstring(node))


def _documented_assignments(body: list[ast.stmt], lines: list[str]) -> dict[str, bool]:
    """Assigned names of a module or class body -> whether a string literal follows the assignment
    or a ``#:`` comment comes right before it."""
    names: dict[str, bool] = {}
    for i, statement in enumerate(body):
        targets = []
        if isinstance(statement, ast.AnnAssign) and isinstance(statement.target, ast.Name):
            targets = [statement.target.id]
        elif isinstance(statement, ast.Assign):
            targets = [t.id for t in statement.targets if isinstance(t, ast.Name)]
        following = body[i + 1] if i + 1 < len(body) else None
        documented = (
            isinstance(following, ast.Expr)
            and isinstance(following.value, ast.Constant)
            and isinstance(following.value.value, str)
        )
        documented = documented or (statement.lineno >= 2 and lines[statement.lineno - 2].lstrip().startswith("#:"))
        for target in targets:
            names[target] = names.get(target, False) or documented
    return names


def _undocumented(root: Path, module: str, seen: set[str] | None = None) -> list[str]:
    """The public names of `module` that have no docstring, as dotted names."""
    path = _module_file(root, module)
    if path is None:
        return [f"{module} (no source)"]
    text = path.read_text()
    tree = ast.parse(text, str(path))
    seen = seen if seen is not None else set()
    definitions = {
        node.name: node for node in tree.body if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef, ast.ClassDef))
    }
    assignments = _documented_assignments(tree.body, text.splitlines())
    imported = {}
    for node in tree.body:
        if isinstance(node, ast.ImportFrom) and node.module and node.level == 0:
            for alias in node.names:
                imported[alias.asname or alias.name] = (node.module, alias.name)
    public = None
    for node in tree.body:
        if isinstance(node, (ast.Assign, ast.AnnAssign)) and "__all__" in ast.unparse(node).split("=")[0]:
            public = list(ast.literal_eval(node.value))
    if public is None:
        public = [name for name in [*definitions, *assignments] if not name.startswith("_")]
    missing = []
    for name in public:
        qualified = f"{module}.{name}"
        if qualified in seen:
            continue
        seen.add(qualified)
        if name in definitions:
            node = definitions[name]
            if not _has_docstring(node):
                missing.append(qualified)
            if isinstance(node, ast.ClassDef):
                missing += _undocumented_members(node, qualified)
        elif name in assignments:
            if not assignments[name]:
                missing.append(qualified)
        elif name in imported and imported[name][0].startswith(PACKAGE):
            source, original = imported[name]
            missing += list(_undocumented_name(root, source, original, seen))
        elif name not in imported:
            missing.append(f"{qualified} (listed in __all__, not defined)")
    return missing


def _undocumented_name(root: Path, module: str, name: str, seen: set[str]) -> list[str]:
    path = _module_file(root, module)
    if path is None:
        return [f"{module}.{name} (no source)"]
    text = path.read_text()
    tree = ast.parse(text, str(path))
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef, ast.ClassDef)) and node.name == name:
            missing = [] if _has_docstring(node) else [f"{module}.{name}"]
            if isinstance(node, ast.ClassDef):
                missing += _undocumented_members(node, f"{module}.{name}")
            return missing
    assignments = _documented_assignments(tree.body, text.splitlines())
    if name in assignments:
        return [] if assignments[name] else [f"{module}.{name}"]
    return []


def _undocumented_members(cls: ast.ClassDef, qualified: str) -> list[str]:
    missing = []
    for node in cls.body:
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef, ast.ClassDef)) and not node.name.startswith("_"):
            if not _has_docstring(node):
                missing.append(f"{qualified}.{node.name}")
    return missing


def _page_module(source: str, modules: set[str], docname: str) -> str | None:
    """The module a page documents: the first public module named in its title, else its file name."""
    title = next((line for line in source.splitlines() if line.startswith("# ")), "")
    for name in re.findall(r"`(" + PACKAGE + r"(?:\.\w+)*)`", title):
        if name in modules:
            return name
    stem = docname.rsplit("/", 1)[-1].lower()
    matches = [m for m in modules if m.rsplit(".", 1)[-1].lower() == stem]
    return matches[0] if len(matches) == 1 else None


class _StandInType(type):
    """A class that stands in for any name of a native module: it can be subclassed and called, and
    any attribute of it or of its instances is a mock."""

    def __new__(mcs, name, bases, namespace):
        namespace.setdefault("__init__", lambda self, *args, **kwargs: None)
        namespace.setdefault("__getattr__", lambda self, attribute: mock.MagicMock(name=attribute))
        return super().__new__(mcs, name, bases, namespace)

    def __getattr__(cls, attribute):
        return mock.MagicMock(name=f"{cls.__name__}.{attribute}")


def _command_usage(root: Path) -> str:
    """`--help` of the command and of each of its subcommands, from kyber_alg._cli's parser. The
    native modules are not built for the docs: stand-ins take their place while the parser is made."""

    class StandIns:
        def find_spec(self, name, path=None, target=None):
            if not name.startswith(PACKAGE + "."):
                return None
            base = root.parent.joinpath(*name.split("."))
            if base.with_suffix(".py").is_file() or (base / "__init__.py").is_file():
                return None
            return importlib.machinery.ModuleSpec(name, self)  # a native module: not built here

        def create_module(self, spec):
            module = types.ModuleType(spec.name)
            module.__getattr__ = lambda attribute: _StandInType(attribute, (), {})
            return module

        def exec_module(self, module):
            pass

    finder = StandIns()
    saved = {name: module for name, module in sys.modules.items() if name == PACKAGE or name.startswith(PACKAGE + ".")}
    for name in saved:
        del sys.modules[name]
    sys.path.insert(0, str(root.parent))
    sys.meta_path.insert(0, finder)
    columns = os.environ.get("COLUMNS")
    os.environ["COLUMNS"] = "100"
    try:
        cli = __import__(f"{PACKAGE}._cli", fromlist=["_parser"])
        parser = cli._parser("kyber-alg")
        sections = [("kyber-alg", parser)]
        for action in parser._actions:
            if hasattr(action, "choices") and isinstance(action.choices, dict):
                sections += [(f"kyber-alg {name}", sub) for name, sub in action.choices.items()]
        text = []
        for title, sub in sections:
            with contextlib.redirect_stdout(io.StringIO()) as out:
                sub.print_help()
            text.append(f"### `{title}`\n\n```text\n{out.getvalue().rstrip()}\n```\n")
        return "\n\n## Reference\n\nThe usage of each command, as `--help` prints it:\n\n" + "\n".join(text)
    finally:
        sys.meta_path.remove(finder)
        sys.path.remove(str(root.parent))
        for name in [n for n in sys.modules if n == PACKAGE or n.startswith(PACKAGE + ".")]:
            del sys.modules[name]
        sys.modules.update(saved)
        if columns is None:
            os.environ.pop("COLUMNS", None)
        else:
            os.environ["COLUMNS"] = columns


def _check_code_spans(docname: str, text: str) -> None:
    """Inline code must open and close on one line: Markdown turns a line break inside it, and the
    next line's indentation, into spaces (``PRIVATE   KEY``)."""
    fence = None
    lines = text.splitlines()
    for number, line in enumerate(lines, 1):
        opening = re.match(r"\s*(`{3,}|~{3,})", line)
        if opening:
            marker = opening.group(1)
            if fence is None:
                fence = marker
            elif marker.startswith(fence[0]) and len(marker) >= len(fence) and not line.strip()[len(marker) :]:
                fence = None
            continue
        if fence is not None:
            continue
        runs = list(re.finditer(r"`+", line.replace("\\`", "  ")))
        i = 0
        while i < len(runs):
            closer = next((j for j in range(i + 1, len(runs)) if len(runs[j].group()) == len(runs[i].group())), None)
            if closer is not None:
                i = closer + 1
                continue
            # No closer on this line: the span is real only if the paragraph closes it further down.
            rest = []
            for following in lines[number:]:
                if not following.strip():
                    break
                rest.append(following)
            if re.search(r"(?<!`)" + runs[i].group() + r"(?!`)", "\n".join(rest)):
                logger.warning("inline code continues on the next line", location=(docname, number))
            break


def _on_source_read(app, docname, source):
    _check_code_spans(docname, source[0])
    if re.search(r"https?://(pypi\.org|pypi\.python\.org|files\.pythonhosted\.org)", source[0]):
        logger.warning("a link to the package index: name the package instead", location=docname)
    if not docname.startswith("api/"):
        return
    text = source[0]
    referenced = app.env.kyber_alg_referenced.setdefault(docname, set())
    referenced.update(re.findall(r"autoapimodule::\s*(\S+)", text))
    if "autoapimodule::" in text:
        return
    root = Path(app.config.kyber_alg_package)
    module = _page_module(text, set(_source_files(root)), docname)
    if module is not None:
        source[0] = text.rstrip("\n") + REFERENCE.format(module=module)
        referenced.add(module)
    elif docname == "api/cli":
        try:
            source[0] = text.rstrip("\n") + _command_usage(root)
        except Exception as error:  # any failure to make the parser must fail the build
            logger.warning("the usage of the kyber-alg command could not be generated: %r", error, location=docname)
    else:
        logger.warning("no module of %s found for this page (name it in the title)", PACKAGE, location=docname)


def _on_builder_inited(app):
    if not hasattr(app.env, "kyber_alg_referenced"):
        app.env.kyber_alg_referenced = {}


def _purge(app, env, docname):
    env.kyber_alg_referenced.pop(docname, None)


def _check_coverage(app, env):
    root = Path(app.config.kyber_alg_package)
    seen: set[str] = set()
    for module in sorted(_source_files(root)):
        if module == PACKAGE:
            continue
        if not any(module in modules for modules in env.kyber_alg_referenced.values()):
            logger.warning("the public module %s has no reference page under api/", module)
        for name in _undocumented(root, module, seen):
            logger.warning("public name without a docstring: %s", name)


def _check_rendering(app, doctree, docname):
    for literal in doctree.findall(nodes.literal):
        if "\n" in literal.astext():
            logger.warning("inline code spans a line break: %r", literal.astext(), location=literal)
    for paragraph in doctree.findall(nodes.paragraph):
        if re.search(r"(^|\n): ", paragraph.astext()):
            logger.warning(
                "a definition list rendered as a paragraph (is the deflist extension on?)", location=paragraph
            )


def _merge(app, env, docnames, other):
    env.kyber_alg_referenced.update(getattr(other, "kyber_alg_referenced", {}))


def setup(app):
    app.add_config_value("kyber_alg_package", "", "env")
    app.connect("builder-inited", _on_builder_inited)
    app.connect("source-read", _on_source_read)
    app.connect("env-check-consistency", _check_coverage)
    app.connect("doctree-resolved", _check_rendering)
    app.connect("env-merge-info", _merge)
    app.connect("env-purge-doc", _purge)
    return {"parallel_read_safe": True, "parallel_write_safe": True, "env_version": 1}
