"""What every fuzz/fuzz_<name>.py shares: running under libFuzzer, and the
folders that a harness which writes its own seeds reads and writes.

The harnesses run as `python -P fuzz/fuzz_<name>.py`, so each puts this
folder on sys.path before importing this module.
"""

import sys
import time
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


def many_begin(data):
    """The input that made the PEM search quadratic (issue 22): data after many BEGIN lines without an
    END. The first byte sets how many (times 64, up to 16,321 lines), the bytes up to the first newline
    after it the label (at most 24 bytes); the rest of data follows."""
    count = (data[0] if data else 0) * 64 + 1
    label, _, rest = data[1:].partition(b"\n")
    return (b"-----BEGIN " + label[:24] + b"-----\n") * count + rest


def linear_time(loader, data, seconds=2.0):
    """loader(data) as its result or exception type, checked to take less than seconds (a PEM loader reads
    at most 1 MiB in one pass: quadratic work on a many-BEGIN input takes tens of seconds)."""
    start = time.perf_counter()
    try:
        result = loader(data)
    except (ValueError, TypeError) as exc:
        result = type(exc)
    elapsed = time.perf_counter() - start
    assert elapsed < seconds, f"{loader.__qualname__} took {elapsed:.1f} s on {len(data)} bytes"
    return result
