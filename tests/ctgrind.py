"""The valgrind constant-time check shared by the Kyber, SM3/SM4 and SM2 tests.

A driver program is built from a module's C++ sources with -DKYBER_ALG_CTGRIND (which turns the library's
classify/declassify points into valgrind client requests) and run under memcheck with its secrets marked
undefined: any branch or memory index that depends on a secret is then a memcheck error.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
from collections.abc import Iterable, Sequence
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[1]
SOURCES = REPO / "src"
CXX = os.environ.get("CXX") or shutil.which("g++") or shutil.which("c++")
VALGRIND = shutil.which("valgrind")
# The drivers' exit code when the CPU (or valgrind's emulated one) lacks the requested code path.
PATH_UNAVAILABLE = 77


def _memcheck_header_present() -> bool:
    return any(Path(p, "valgrind", "memcheck.h").is_file() for p in ("/usr/include", "/usr/local/include"))


SKIP_MARKS = [
    pytest.mark.skipif(VALGRIND is None, reason="valgrind is not installed (apt-get install valgrind)"),
    pytest.mark.skipif(CXX is None, reason="no C++ compiler to build the constant-time driver"),
    pytest.mark.skipif(not _memcheck_header_present(), reason="valgrind/memcheck.h not found (apt package valgrind)"),
]


def library_sources(*subpackages: str) -> list[Path]:
    """The C++ sources of src/<component> for each one named, without the Python module shells."""
    return [
        p for name in subpackages for p in sorted((SOURCES / name).glob("*.cpp")) if not p.name.endswith("module.cpp")
    ]


def _compile(source: Path, out_dir: Path, flags: Sequence[str]) -> Path:
    obj = out_dir / f"{source.parent.name}_{source.stem}.o"
    subprocess.run(
        [CXX, "-std=c++20", "-O3", "-g", "-Wall", "-Wextra", f"-I{SOURCES}", *flags, "-c", str(source), "-o", str(obj)],
        check=True,
    )
    return obj


def build_driver(
    out_dir: Path, name: str, sources: Iterable[Path], flags: Sequence[str] = (), ctgrind: bool = True
) -> Path:
    """Compiles the sources (two at a time: the machine is shared) and links them into out_dir/name.

    With ctgrind (the default) the build defines KYBER_ALG_CTGRIND for the valgrind check; without it, it is the
    library's ordinary build, for native unit-test drivers.
    """
    flags = ["-DKYBER_ALG_CTGRIND", *flags] if ctgrind else list(flags)
    with ThreadPoolExecutor(max_workers=min(2, os.cpu_count() or 1)) as pool:
        objects = list(pool.map(lambda s: _compile(s, out_dir, flags), sources))
    exe = out_dir / name
    subprocess.run([CXX, *map(str, objects), "-o", str(exe)], check=True)
    return exe


def memcheck(exe: Path, *args: str) -> tuple[subprocess.CompletedProcess, int]:
    """Runs exe under memcheck; returns the process and the error count of memcheck's summary."""
    proc = subprocess.run(
        [VALGRIND, "--tool=memcheck", "--error-exitcode=99", "--track-origins=yes", str(exe), *args],
        capture_output=True,
        text=True,
        timeout=900,
    )
    summary = re.search(r"ERROR SUMMARY: (\d+) errors", proc.stderr)
    assert summary, proc.stderr[-2000:]
    return proc, int(summary.group(1))


def memcheck_code_path(exe: Path, backend: str, *args: str) -> tuple[subprocess.CompletedProcess, int]:
    """memcheck(exe, backend, *args), skipping the test when that code path cannot run here."""
    proc, errors = memcheck(exe, backend, *args)
    if proc.returncode == PATH_UNAVAILABLE:
        # valgrind's CPU model has no AVX-512, so the avx512 path cannot be checked this way.
        pytest.skip(f"the {backend} code path is not available under valgrind on this machine")
    return proc, errors


def assert_clean(proc: subprocess.CompletedProcess, errors: int, done: str) -> None:
    """No memcheck error, a clean exit, and the driver's line saying it ran everything."""
    assert errors == 0 and proc.returncode == 0, proc.stderr[-6000:]
    assert done in proc.stdout


def assert_catches_a_secret_branch(exe: Path) -> None:
    """The driver's --leak-self-test branches on a secret on purpose: memcheck must report it."""
    proc, errors = memcheck(exe, "--leak-self-test")
    assert errors >= 1 and proc.returncode == 99
    assert "depends on uninitialised value" in proc.stderr


def build_mlkem_driver(out_dir: Path, driver: Path) -> Path:
    """A driver over the ML-KEM core and common/."""
    return build_driver(out_dir, "ctgrind_driver", [*library_sources("mlkem", "common"), driver])


def assert_code_path_clean(exe: Path, backend: str, done: str, *args: str) -> None:
    """memcheck_code_path(exe, backend, *args), then assert_clean with the driver's `done` line."""
    proc, errors = memcheck_code_path(exe, backend, *args)
    assert_clean(proc, errors, done)
