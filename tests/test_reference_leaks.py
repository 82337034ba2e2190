"""Runs tests/leak_check.py (every call path of every native function, success
and error) in a fresh interpreter: no path may leak and each must end as listed;
and its self-test, whose two deliberately leaking paths must both be reported."""

import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

CHECK = Path(__file__).resolve().parent / "leak_check.py"


def run_check(*args):
    return subprocess.run(
        [sys.executable, "-P", str(CHECK), "--iterations", "1000", *args],
        capture_output=True,
        text=True,
        timeout=900,
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)),
    )


@pytest.mark.skipif(importlib.util.find_spec("kyber_alg.Velmora") is None, reason="kyber_alg is not built")
def test_no_path_leaks():
    proc = run_check()
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert " 0 leaking, 0 unexpected" in proc.stdout, proc.stdout


def test_self_test_reports_both_deliberate_leaks():
    proc = run_check("--self-test")
    asan = "resident memory not checked" in proc.stdout  # sanitizer builds (tools/sanitize.sh)
    assert proc.returncode == 1, proc.stdout + proc.stderr
    assert f" {1 if asan else 2} leaking, 0 unexpected" in proc.stdout, proc.stdout
    assert "LEAK self-test: Python object" in proc.stdout
    assert asan or "LEAK self-test: native memory" in proc.stdout
