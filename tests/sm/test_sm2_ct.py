"""Constant-time check of SM2: valgrind memcheck over key generation, encryption and decryption.

Builds tests/sm/ct/ctgrind_driver.cpp with the same C++ sources as kyber_alg.sm.SM2 (plus -DKYBER_ALG_CTGRIND,
which turns the library's classify/declassify points into valgrind client requests) and runs it under memcheck.
Any branch or memory index that depends on a private key, a nonce, a message or the shared point is an error.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
PACKAGE = REPO / "kyber_alg"
DRIVER = Path(__file__).resolve().parent / "ct" / "ctgrind_driver.cpp"
VECTORS = Path(__file__).resolve().parents[1] / "vectors" / "sm" / "sm2_examples.json"
# The field code has x86-64 carry intrinsics and a plain C++ version for other targets; both are checked.
BUILDS = {"x86-64": [], "generic-carries": ["-DKYBER_ALG_SM2_GENERIC_CARRIES"]}
CXX = os.environ.get("CXX") or shutil.which("g++") or shutil.which("c++")
VALGRIND = shutil.which("valgrind")


def _memcheck_header_present() -> bool:
    return any(Path(p, "valgrind", "memcheck.h").is_file() for p in ("/usr/include", "/usr/local/include"))


pytestmark = [
    pytest.mark.skipif(VALGRIND is None, reason="valgrind is not installed (apt-get install valgrind)"),
    pytest.mark.skipif(CXX is None, reason="no C++ compiler to build the constant-time driver"),
    pytest.mark.skipif(not _memcheck_header_present(), reason="valgrind/memcheck.h not found (apt package valgrind)"),
]


def _compile(source: Path, out_dir: Path, extra: list[str]) -> Path:
    obj = out_dir / f"{source.parent.name}_{source.stem}.o"
    flags = ["-std=c++20", "-O3", "-g", "-Wall", "-Wextra", "-DKYBER_ALG_CTGRIND", f"-I{PACKAGE}", *extra]
    subprocess.run([CXX, *flags, "-c", str(source), "-o", str(obj)], check=True)
    return obj


@pytest.fixture(scope="module", params=sorted(BUILDS))
def driver(request, tmp_path_factory) -> Path:
    out = tmp_path_factory.mktemp("sm2_ctgrind_" + request.param)
    sources = [p for p in sorted((PACKAGE / "sm2").glob("*.cpp")) if p.name != "module.cpp"]
    sources += [p for p in sorted((PACKAGE / "sm3").glob("*.cpp")) if p.name != "module.cpp"]
    sources += sorted((PACKAGE / "common").glob("*.cpp")) + [DRIVER]
    with ThreadPoolExecutor(max_workers=min(2, os.cpu_count() or 1)) as pool:
        objects = list(pool.map(lambda s: _compile(s, out, BUILDS[request.param]), sources))
    exe = out / "sm2_ctgrind_driver"
    subprocess.run([CXX, *map(str, objects), "-o", str(exe)], check=True)
    return exe


def _memcheck(exe: Path, *args: str) -> tuple[subprocess.CompletedProcess, int]:
    proc = subprocess.run([VALGRIND, "--tool=memcheck", "--error-exitcode=99", "--track-origins=yes", str(exe), *args],
                          capture_output=True, text=True, timeout=900)
    summary = re.search(r"ERROR SUMMARY: (\d+) errors", proc.stderr)
    assert summary, proc.stderr[-2000:]
    return proc, int(summary.group(1))


def _worked_example() -> list[str]:
    e = next(e for e in json.loads(VECTORS.read_text())["encryption"] if e["id"] == "recommended-curve-encryption")
    expected = e["C1_x"] + e["C1_y"] + e["C3"] + e["C2"]
    return [e["dB"], e["k"], e["message_ascii"].encode().hex(), expected]


def test_keygen_encrypt_decrypt_have_no_secret_dependent_branch_or_index(driver):
    proc, errors = _memcheck(driver, "2", *_worked_example())
    assert errors == 0 and proc.returncode == 0, proc.stderr[-6000:]
    assert "2 keygen/encrypt/decrypt rounds and the fixed nonces done, worked example matches" in proc.stdout


def test_harness_detects_a_secret_dependent_branch(driver):
    proc, errors = _memcheck(driver, "--leak-self-test")
    assert errors >= 1 and proc.returncode == 99
    assert "depends on uninitialised value" in proc.stderr
