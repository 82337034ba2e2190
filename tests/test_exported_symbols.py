"""Each extension exports its init function and nothing else (no C++ runtime
or template symbols that could clash with another library in the process)."""

import importlib.util
import shutil
import subprocess

import pytest


@pytest.mark.skipif(shutil.which("nm") is None, reason="nm (binutils) not installed")
@pytest.mark.parametrize("module", ["Velmora", "Kyber", "_mlkem", "_mldsa", "sm.SM3", "sm.sm4", "sm.SM2"])
def test_only_the_init_symbol_is_exported(module):
    origin = importlib.util.find_spec(f"kyber_alg.{module}").origin
    listing = subprocess.run(["nm", "-D", "--defined-only", origin], capture_output=True, text=True, check=True)
    names = [line.split()[-1] for line in listing.stdout.splitlines() if line.strip()]
    assert names == [f"PyInit_{module.rsplit('.', 1)[-1]}"]
