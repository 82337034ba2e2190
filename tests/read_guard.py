"""Keeps the suite self-contained: notes every file the tests open outside
the places a test may legitimately read.

A test may read the repository, the running Python (its prefix, base prefix
and site directories, wherever they are), the temporary directory, and the operating system's own
trees (/dev, /proc, /sys, /etc, /usr). Anything else, such as data sitting next
to the checkout, would make the suite pass here and fail in a plain clone.
The checkout's neighbours stay out of bounds even when the checkout itself
sits inside an allowed tree (a clone under the temporary directory, say).
"""

from __future__ import annotations

import functools
import os
import site
import sys
import sysconfig
import tempfile
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[1]


@functools.cache
def python_roots() -> tuple[Path, ...]:
    """The running interpreter's own trees: a venv may sit next to the checkout."""
    roots = {Path(p) for p in (sys.prefix, sys.base_prefix, sys.exec_prefix, sys.base_exec_prefix)}
    roots.update(Path(p) for p in sysconfig.get_paths().values())
    roots.update(Path(p) for p in site.getsitepackages())
    roots.add(Path(site.getusersitepackages()))
    # A prefix that holds the checkout's folder would open every neighbour.
    return tuple(sorted(r for r in {r.resolve() for r in roots} if not _within(REPOSITORY.parent, r)))


def allowed_roots() -> tuple[Path, ...]:
    roots = {REPOSITORY, Path(tempfile.gettempdir())}
    roots.update(python_roots())
    roots.update(Path(p) for p in ("/dev", "/proc", "/sys", "/etc", "/usr"))
    # hypothesis keeps its example database in the working directory.
    roots.add(Path.cwd() / ".hypothesis")
    return tuple(sorted({r.resolve() for r in roots}))


def _within(path: Path, root: Path) -> bool:
    return path == root or root in path.parents


def neighbours_guarded(roots: tuple[Path, ...]) -> bool:
    """True unless the checkout's folder is itself an allowed root (a clone
    made straight into /tmp): then its neighbours cannot be told apart from
    ordinary temporary files."""
    return REPOSITORY.parent not in roots


def is_allowed(path: str | os.PathLike[str] | bytes, roots: tuple[Path, ...]) -> bool:
    if isinstance(path, bytes):
        path = os.fsdecode(path)
    resolved = Path(path).resolve()
    if _within(resolved, REPOSITORY) or any(_within(resolved, root) for root in python_roots()):
        return True
    if neighbours_guarded(roots) and _within(resolved, REPOSITORY.parent):
        return False
    return any(_within(resolved, root) for root in roots)


class ReadGuard:
    """An audit hook that records opens outside the allowed roots while armed."""

    def __init__(self) -> None:
        self.roots = allowed_roots()
        self.armed = False
        self.outside: list[str] = []
        sys.addaudithook(self._hook)

    def _hook(self, event: str, args: tuple[object, ...]) -> None:
        if not self.armed or event != "open":
            return
        path = args[0]
        if not isinstance(path, (str, bytes, os.PathLike)):
            return  # an already open file descriptor
        self.armed = False  # resolving the path may itself audit
        try:
            if not is_allowed(path, self.roots):
                self.outside.append(os.fsdecode(path))
        finally:
            self.armed = True

    def take(self) -> list[str]:
        taken, self.outside = self.outside, []
        return taken
