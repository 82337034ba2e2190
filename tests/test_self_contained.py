"""The suite runs from a plain clone: every file a test reads is inside the repository."""

import re
import sys
import tempfile
from pathlib import Path

import pytest
from read_guard import REPOSITORY, allowed_roots, is_allowed, neighbours_guarded
from vectors import VECTORS

TESTS = REPOSITORY / "tests"
OUTSIDE_SIBLING = REPOSITORY.parent / "shared" / "vectors" / "README.md"


@pytest.mark.parametrize(
    "path, allowed",
    [
        (VECTORS / "acvp" / "ML-KEM-512-keyGen-FIPS203.json", True),
        (REPOSITORY / "tests" / ".." / "README.md", True),
        (Path(tempfile.gettempdir()) / "scratch.bin", True),
        (Path(sys.base_prefix) / "lib", True),
        (Path(sys.prefix) / "lib", True),
        (OUTSIDE_SIBLING, False),
        (REPOSITORY / ".." / "shared" / "vectors", False),
        (Path("/opt/elsewhere/data.json"), False),
        (Path("/home/someone/vectors.json"), False),
    ],
    ids=["vector", "repo-readme", "tmp", "python", "venv", "sibling", "dotdot", "opt", "home"],
)
def test_allowed_locations(path, allowed):
    roots = allowed_roots()
    if not allowed and REPOSITORY.parent in path.resolve().parents and not neighbours_guarded(roots):
        pytest.skip("the checkout sits directly in an allowed folder, so its neighbours are allowed too")
    assert is_allowed(path, roots) is allowed


def test_guard_notices_an_open_outside(read_guard):
    target = Path("/opt/kyber_alg-no-such-dir/vectors.json")
    with pytest.raises(FileNotFoundError):
        open(target, "rb")
    assert read_guard.take() == [str(target)]


def test_every_vector_file_is_documented():
    readme = (VECTORS / "README.md").read_text()
    files = [p.relative_to(VECTORS).as_posix() for p in VECTORS.rglob("*") if p.is_file() and p.name != "README.md"]
    assert files
    undocumented = [f for f in files if f"`{f}`" not in readme and f"`{Path(f).name}`" not in readme]
    assert not undocumented


# Spellings of a path that climbs out of the checkout or names a fixed place on this machine.
_LEAVING = re.compile(r"""shared[/"' ,]+vectors|["']\.\.["']|\.\./|["']/work/|["']/home/""")


# This file spells such paths on purpose and is left out.
_SOURCES = sorted(p for p in TESTS.rglob("*.py") if p != Path(__file__).resolve())


@pytest.mark.parametrize("source", _SOURCES, ids=lambda p: p.relative_to(TESTS).as_posix())
def test_no_test_source_names_a_path_outside(source):
    hits = [line.strip() for line in source.read_text(encoding="utf-8").splitlines() if _LEAVING.search(line)]
    assert not hits
