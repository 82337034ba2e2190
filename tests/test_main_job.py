"""The README's first command in a fresh virtual environment: install the
checkout, then `python -P -m kyber_alg` prints one full exchange.

Building the package takes a minute or two, so this runs when
KYBER_ALG_VENV_TEST=1 (as .ci/run sets it)."""

import os
import subprocess
import sys
import venv
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]
SAMPLE_TEXT = r"hello Bellmar![\%tdy se76s66443a5hfd$nnn]"
LABELS = [
    "pk:",
    "sk:",
    "cipher1:",
    "cipher2:",
    "sym_key:",
    "sym_iv:",
    "sym_key:",
    "sym_iv:",
    "cipher3(SM4_CBC):",
    "明文：",
]

pytestmark = pytest.mark.skipif(
    os.environ.get("KYBER_ALG_VENV_TEST") != "1", reason="set KYBER_ALG_VENV_TEST=1 to build into a fresh venv"
)


def test_install_and_run_main_job_in_fresh_venv(tmp_path):
    env_dir = tmp_path / "venv"
    venv.create(env_dir, with_pip=True)
    python = env_dir / "bin" / "python"
    install = subprocess.run([python, "-m", "pip", "install", "-q", str(ROOT)], capture_output=True, text=True)
    assert install.returncode == 0, install.stderr[-3000:]

    run = subprocess.run(
        [python, "-P", "-m", "kyber_alg"],
        cwd=ROOT,
        capture_output=True,
        env={k: v for k, v in os.environ.items() if k != "PYTHONPATH"},
        encoding="utf-8",
        timeout=300,
    )
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert [line.split(" ", 1)[0] for line in lines] == LABELS
    values = [line.split(" ", 1)[1] for line in lines]
    assert len(values[0]) == 1728 and len(values[1]) == 3264 + 64
    assert values[3].startswith("b'")
    assert values[4] == values[6] and values[5] == values[7]
    assert values[9] == SAMPLE_TEXT
    # The fresh venv runs the interpreter under test, one of the supported ones.
    version = subprocess.run(
        [python, "-c", "import sys; print(*sys.version_info[:2])"], capture_output=True, text=True
    ).stdout.split()
    assert tuple(map(int, version)) == sys.version_info[:2] and (3, 11) <= sys.version_info[:2] <= (3, 13)
