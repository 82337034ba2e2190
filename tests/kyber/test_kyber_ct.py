"""Constant-time check: valgrind memcheck over keygen, encapsulation and decapsulation with secrets marked undefined.

Builds tests/kyber/ct/ctgrind_driver.cpp with the same C++ sources as the module (plus -DKYBER_ALG_CTGRIND,
which turns the library's declassification points into valgrind client requests) and runs it under memcheck.
Any branch or memory index that depends on d, z, m or dk shows up as a memcheck error.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
SOURCES = REPO / "kyber_alg" / "kyber"
COMMON = REPO / "kyber_alg" / "common"
DRIVER = Path(__file__).resolve().parent / "ct" / "ctgrind_driver.cpp"
CXX = os.environ.get("CXX") or shutil.which("g++") or shutil.which("c++")
VALGRIND = shutil.which("valgrind")


def _memcheck_header_present() -> bool:
    return any(Path(p, "valgrind", "memcheck.h").is_file() for p in ("/usr/include", "/usr/local/include"))


pytestmark = [
    pytest.mark.skipif(VALGRIND is None, reason="valgrind is not installed (apt-get install valgrind)"),
    pytest.mark.skipif(CXX is None, reason="no C++ compiler to build the constant-time driver"),
    pytest.mark.skipif(not _memcheck_header_present(), reason="valgrind/memcheck.h not found (apt package valgrind)"),
]


def _compile(source: Path, out_dir: Path) -> Path:
    obj = out_dir / (source.stem + ".o")
    flags = ["-std=c++20", "-O3", "-g", "-Wall", "-Wextra", "-DKYBER_ALG_CTGRIND", f"-I{SOURCES}", f"-I{REPO / 'kyber_alg'}"]
    subprocess.run([CXX, *flags, "-c", str(source), "-o", str(obj)], check=True)
    return obj


@pytest.fixture(scope="module")
def driver(tmp_path_factory) -> Path:
    out = tmp_path_factory.mktemp("ctgrind")
    sources = [p for p in sorted(SOURCES.glob("*.cpp")) if p.name != "module.cpp"] + sorted(COMMON.glob("*.cpp")) + [DRIVER]
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        objects = list(pool.map(lambda s: _compile(s, out), sources))
    exe = out / "ctgrind_driver"
    subprocess.run([CXX, *map(str, objects), "-o", str(exe)], check=True)
    return exe


def _memcheck(exe: Path, *args: str, env: dict | None = None) -> tuple[subprocess.CompletedProcess, int]:
    proc = subprocess.run([VALGRIND, "--tool=memcheck", "--error-exitcode=99", "--track-origins=yes",
                           str(exe), *args], capture_output=True, text=True, timeout=600, env=env)
    summary = re.search(r"ERROR SUMMARY: (\d+) errors", proc.stderr)
    assert summary, proc.stderr[-2000:]
    return proc, int(summary.group(1))


@pytest.mark.parametrize("backend", ["portable", "avx2", "avx512"])
def test_keygen_encaps_decaps_have_no_secret_dependent_branch_or_index(driver, backend):
    proc, errors = _memcheck(driver, backend)
    if proc.returncode == 77:
        # valgrind's CPU model has no AVX-512, so the avx512 path cannot be checked this way.
        pytest.skip(f"the {backend} code path is not available under valgrind on this machine")
    assert errors == 0 and proc.returncode == 0, proc.stderr[-6000:]
    assert f"3 keygen/encaps/decaps rounds done ({backend})" in proc.stdout


def test_harness_detects_a_secret_dependent_branch(driver):
    proc, errors = _memcheck(driver, "--leak-self-test")
    assert errors >= 1 and proc.returncode == 99
    assert "depends on uninitialised value" in proc.stderr
