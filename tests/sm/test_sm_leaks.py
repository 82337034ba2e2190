"""Runs bench/leaks_sm.py (every SM3/SM4 call and error path, many times) in a subprocess."""
import subprocess
import sys
from pathlib import Path

import pytest

LEAKS = Path(__file__).resolve().parents[2] / "bench" / "leaks_sm.py"


@pytest.mark.parametrize("self_test", [False, True], ids=["module", "detects-leaks"])
def test_no_leaks_on_any_path(self_test):
    args = [sys.executable, "-P", str(LEAKS), "--iterations", "1000"] + (["--self-test"] if self_test else [])
    proc = subprocess.run(args, capture_output=True, text=True, timeout=600)
    asan = "resident memory not checked" in proc.stdout  # sanitizer builds (tools/sanitize.sh)
    if self_test:
        expected = 1 if asan else 2
        assert proc.returncode == 1 and f" {expected} leaking, 0 unexpected" in proc.stdout, proc.stdout + proc.stderr
        assert "LEAK self-test: Python object" in proc.stdout
        assert asan or "LEAK self-test: native memory" in proc.stdout
    else:
        assert proc.returncode == 0 and " 0 leaking, 0 unexpected" in proc.stdout, proc.stdout + proc.stderr
