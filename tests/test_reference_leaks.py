"""Runs tests/leak_check.py (every call path of every native function, success
and error) in a fresh interpreter: no path may leak and each must end as listed."""
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

CHECK = Path(__file__).resolve().parent / "leak_check.py"


@pytest.mark.skipif(importlib.util.find_spec("kyber_alg.Velmora") is None, reason="kyber_alg is not built")
def test_no_path_leaks():
    proc = subprocess.run([sys.executable, "-P", str(CHECK), "--iterations", "1000"], capture_output=True,
                          text=True, timeout=900, env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert " 0 leaking, 0 unexpected" in proc.stdout, proc.stdout
