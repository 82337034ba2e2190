"""Runs bench/leaks.py (reference leaks over every call path) in a subprocess."""
import os
import subprocess
import sys
from pathlib import Path

import pytest

from velmora_support import VELMORA_SO, needs_so

LEAKS = Path(__file__).resolve().parents[2] / "bench" / "leaks.py"


@needs_so
@pytest.mark.skipif(not LEAKS.exists(), reason="bench/leaks.py not in this tree")
def test_no_reference_leaks():
    proc = subprocess.run([sys.executable, str(LEAKS), "--iterations", "1000"], capture_output=True, text=True,
                          env=dict(os.environ, VELMORA_SO=VELMORA_SO), timeout=600)
    assert proc.returncode == 0 and " 0 leaking" in proc.stdout, proc.stdout + proc.stderr
