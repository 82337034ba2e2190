"""Native unit tests of SM2 pieces that the Python module does not reach on their own.

Small C++ drivers (tests/sm/native/) are built from the library sources with the ordinary flags and fed inputs on
stdin; their answers are checked against plain Python: the field inversions (constant-time and variable-time)
against pow(a, -1, p), the
variable-time u1*G + u2*P of signature verification against the affine model in sm2_reference.py, on every code
path the CPU runs.
"""

from __future__ import annotations

import random
import subprocess
from pathlib import Path

import ctgrind
import pytest
import sm2_reference as ref

NATIVE = Path(__file__).resolve().parent / "native"
R = 1 << 256

pytestmark = pytest.mark.skipif(ctgrind.CXX is None, reason="no C++ compiler to build the test drivers")


def _run(exe: Path, lines: list[str]) -> list[str]:
    proc = subprocess.run([str(exe)], input="\n".join(lines) + "\n", capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    return proc.stdout.splitlines()


@pytest.fixture(scope="module")
def invert_driver(tmp_path_factory) -> Path:
    sources = [ctgrind.SOURCES / "sm2" / "field_invert.cpp", NATIVE / "field_invert_driver.cpp"]
    return ctgrind.build_driver(tmp_path_factory.mktemp("sm2_invert"), "field_invert_driver", sources, ctgrind=False)


@pytest.fixture(scope="module")
def double_mult_vartime_driver(tmp_path_factory) -> Path:
    sources = [*ctgrind.library_sources("sm2", "sm3", "common"), NATIVE / "double_mult_vartime_driver.cpp"]
    return ctgrind.build_driver(
        tmp_path_factory.mktemp("sm2_double_mult"), "double_mult_vartime_driver", sources, ["-O1"], ctgrind=False
    )


def _inversion_inputs() -> list[int]:
    p = ref.P
    edges = [
        0,
        1,
        2,
        3,
        p - 1,
        p - 2,
        (p - 1) // 2,
        (p + 1) // 2,
        1 << 255,
        (1 << 255) - 1,
        1 << 64,
        1 << 192,
        0xFFFFFFFE << 224,
        (1 << 64) - 1,
        R % p,
        R * R % p,
        R * R * R % p,
        p >> 1,
        p >> 32,
    ]
    rng = random.Random(20261207)
    randoms = [rng.randrange(1, p) for _ in range(3000)]
    # Short and sparse numbers take the division steps along other routes than full-size ones.
    short = [rng.getrandbits(rng.randrange(1, 256)) or 1 for _ in range(500)]
    sparse = [sum(1 << b for b in rng.sample(range(256), rng.randrange(1, 6))) % p for _ in range(300)]
    return edges + randoms + short + [s for s in sparse if s]


def test_field_inversion_matches_python_pow(invert_driver):
    inputs = _inversion_inputs()
    out = _run(invert_driver, [f"{a:064x}" for a in inputs])
    assert len(out) == len(inputs)
    for a, line in zip(inputs, out):
        plain, montgomery, vartime = (int(h, 16) for h in line.split())
        inverse = pow(a, -1, ref.P) if a else 0
        assert plain == inverse == vartime, hex(a)
        # fe_invert reads a as the Montgomery form of a / R and answers in that form: R^2 / a.
        assert montgomery == R * R * inverse % ref.P, hex(a)


def _double_mult_cases() -> list[tuple[int, int, tuple[int, int]]]:
    n, g = ref.N, ref.G
    minus_g = (g[0], ref.P - g[1])
    rng = random.Random(16)
    k = rng.randrange(1, n)
    q = ref.mul(k, g)
    cases = [
        (0, 0, q),
        (0, 1, q),
        (1, 0, q),
        (0, k, g),
        (k, 0, q),
        (1, 1, g),
        (2, 1, ref.mul(2, g)),
        (3, 5, g),
        (n - 1, 1, g),
        (n - 1, n - 1, q),
        (k, k, minus_g),
        (k, n - k, g),
        (1, n - 1, g),
        (n - 1, 1, minus_g),
        (n, 1, q),
        (n + 3, n - 3, g),
        (R - 1, R - 1, q),
        (1 << 255, (1 << 255) - 1, minus_g),
        (k, k, g),
        (k, 2 * k % n, ref.mul(n - 2, g)),
    ]
    for _ in range(24):
        cases.append((rng.randrange(n), rng.randrange(n), ref.mul(rng.randrange(1, n), g)))
    return cases


def test_double_mult_matches_the_affine_model_on_every_path(double_mult_vartime_driver):
    cases = _double_mult_cases()
    out = _run(double_mult_vartime_driver, [f"{u1:064x} {u2:064x} {p[0]:064x} {p[1]:064x}" for u1, u2, p in cases])
    paths = out[0].split()[1:]
    assert "portable" in paths
    assert len(out) == len(cases) + 1
    for (u1, u2, p), line in zip(cases, out[1:]):
        expected = ref.add(ref.mul(u1, ref.G), ref.mul(u2, p))
        want = "infinity" if expected is None else ref.encode(expected).hex()
        assert line.split() == [want] * len(paths), (hex(u1), hex(u2), p)
