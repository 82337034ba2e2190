"""What every fuzz/fuzz_<name>.py shares: running under libFuzzer, and the
folders that a harness which writes its own seeds reads and writes.

The harnesses run as `python -P fuzz/fuzz_<name>.py`, so each puts this
folder on sys.path before importing this module.
"""
import sys
from pathlib import Path

import atheris

FUZZ = Path(__file__).resolve().parent
VECTORS = FUZZ.parent / "tests" / "vectors"


def seed_folder(name):
    """fuzz/seeds/<name>/, created if missing."""
    folder = FUZZ / "seeds" / name
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def run(test_one_input, make_seeds=None):
    """Fuzzes test_one_input with libFuzzer's command line (sys.argv); a
    harness that passes make_seeds writes its seeds instead when called with
    --make-seeds alone."""
    if make_seeds is not None and sys.argv[1:] == ["--make-seeds"]:
        make_seeds()
        return
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()
