"""Constant-time check: valgrind memcheck over SM4 (key expansion, ECB, CBC
both ways, both padding checks) and SM3 with the key, plaintext and message
marked undefined.

Builds tests/sm/ct/sm_ctgrind_driver.cpp with the module's own C++ sources
(plus -DKYBER_ALG_CTGRIND, which turns the library's declassification points
into valgrind client requests) and runs it under memcheck. Any branch or
memory index that depends on a secret shows up as a memcheck error.
"""
import os
import re
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

from sm_support import load_json

REPO = Path(__file__).resolve().parents[2]
PACKAGE = REPO / "kyber_alg"
SOURCES = [*sorted((PACKAGE / "sm4").glob("*.cpp")), *sorted((PACKAGE / "sm3").glob("*.cpp")),
           PACKAGE / "common" / "cpu.cpp"]
DRIVER = Path(__file__).resolve().parent / "ct" / "sm_ctgrind_driver.cpp"
CXX = os.environ.get("CXX") or shutil.which("g++") or shutil.which("c++")
VALGRIND = shutil.which("valgrind")
STANDARD = load_json("sm3_sm4_standard_examples.json")["sm4"]


def _memcheck_header_present():
    return any(Path(p, "valgrind", "memcheck.h").is_file() for p in ("/usr/include", "/usr/local/include"))


pytestmark = [
    pytest.mark.skipif(VALGRIND is None, reason="valgrind is not installed (apt-get install valgrind)"),
    pytest.mark.skipif(CXX is None, reason="no C++ compiler to build the constant-time driver"),
    pytest.mark.skipif(not _memcheck_header_present(), reason="valgrind/memcheck.h not found (apt package valgrind)"),
]


def _compile(source, out_dir):
    obj = out_dir / (source.parent.name + "_" + source.stem + ".o")
    flags = ["-std=c++20", "-O3", "-g", "-Wall", "-Wextra", "-DKYBER_ALG_CTGRIND", f"-I{PACKAGE}"]
    subprocess.run([CXX, *flags, "-c", str(source), "-o", str(obj)], check=True)
    return obj


@pytest.fixture(scope="module")
def driver(tmp_path_factory):
    out = tmp_path_factory.mktemp("sm_ctgrind")
    sources = [s for s in SOURCES if s.name != "module.cpp"] + [DRIVER]
    with ThreadPoolExecutor(max_workers=2) as pool:
        objects = list(pool.map(lambda s: _compile(s, out), sources))
    exe = out / "sm_ctgrind_driver"
    subprocess.run([CXX, *map(str, objects), "-o", str(exe)], check=True)
    return exe


def _memcheck(exe, *args):
    proc = subprocess.run([VALGRIND, "--tool=memcheck", "--error-exitcode=99", "--track-origins=yes",
                           str(exe), *args], capture_output=True, text=True, timeout=900)
    summary = re.search(r"ERROR SUMMARY: (\d+) errors", proc.stderr)
    assert summary, proc.stderr[-2000:]
    return proc, int(summary.group(1))


@pytest.mark.parametrize("backend", ["portable", "avx2", "avx512"])
def test_sm4_and_sm3_have_no_secret_dependent_branch_or_index(driver, backend):
    proc, errors = _memcheck(driver, backend)
    if proc.returncode == 77:
        pytest.skip(f"the {backend} code path is not available under valgrind on this machine")
    assert errors == 0 and proc.returncode == 0, proc.stderr[-6000:]
    assert f"padding checks and SM3 done ({backend})" in proc.stdout


@pytest.mark.parametrize("backend", ["portable", "avx2"])
def test_round_keys_match_the_standard(driver, backend):
    proc = subprocess.run([str(driver), "--round-keys", backend, STANDARD["key"]], capture_output=True, text=True)
    if proc.returncode == 77:
        pytest.skip(f"the {backend} code path is not available here")
    assert proc.returncode == 0
    assert proc.stdout.split() == STANDARD["round_keys_rk0_to_rk31"]


def test_harness_detects_a_secret_dependent_branch(driver):
    proc, errors = _memcheck(driver, "--leak-self-test")
    assert errors >= 1 and proc.returncode == 99
    assert "depends on uninitialised value" in proc.stderr
