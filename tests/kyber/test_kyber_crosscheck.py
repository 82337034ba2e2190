"""Cross-check against kyber-py, an independent pure-Python ML-KEM, on random seeds."""

from __future__ import annotations

import platform
import random
from pathlib import Path

import pytest
from kyber_testlib import each_backend  # noqa: F401  (fixture)

from kyber_alg import Kyber

ml_kem = pytest.importorskip("kyber_py.ml_kem", reason="kyber-py (the test extra) is not installed")
REFERENCE = ml_kem.ML_KEM_512

# Fixed generator seed, so a failure is reproducible; 24 cases keep kyber-py's share of the run short.
RNG = random.Random(20240813)
SEEDS = [tuple(RNG.randbytes(32) for _ in range(3)) for _ in range(24)]


@pytest.mark.usefixtures("each_backend")
@pytest.mark.parametrize("d,z,m", SEEDS, ids=[f"seed{i}" for i in range(len(SEEDS))])
def test_same_keys_ciphertexts_and_secrets_as_kyber_py(d, z, m):
    ek_ref, dk_ref = REFERENCE._keygen_internal(d, z)
    ek, dk = Kyber.CCA_KeyGen_derand(d, z)
    assert bytes.fromhex(ek.decode()) == ek_ref
    assert bytes.fromhex(dk.decode()) == dk_ref

    k_ref, c_ref = REFERENCE._encaps_internal(ek_ref, m)
    c, k = Kyber.CCA_Enc(ek.decode(), m)
    assert bytes.fromhex(c.decode()) == c_ref
    assert k == k_ref

    assert Kyber.CCA_Dec(c, dk.decode()) == REFERENCE._decaps_internal(dk_ref, c_ref) == k

    # A damaged ciphertext: both must take the implicit-rejection path to the same secret.
    damaged = bytearray(c_ref)
    damaged[m[0] % len(damaged)] ^= 1 << (m[1] % 8)
    assert Kyber.CCA_Dec(damaged.hex(), dk) == REFERENCE._decaps_internal(dk_ref, bytes(damaged))


def _run_all(backend, d, z, m):
    Kyber._set_backend(backend)
    ek, dk = Kyber.CCA_KeyGen_derand(d, z)
    c, k = Kyber.CCA_Enc(ek, m)
    damaged = bytearray.fromhex(c.decode())
    damaged[m[2] % len(damaged)] ^= 1 << (m[3] % 8)
    return ek, dk, c, k, Kyber.CCA_Dec(c, dk), Kyber.CCA_Dec(damaged.hex(), dk)


@pytest.mark.parametrize("path", ["avx2", "avx512"])
def test_vector_paths_agree_with_portable(path):
    if path not in Kyber._available_backends():
        pytest.skip(f"no {path} code path on this CPU/build")
    rng = random.Random(7)
    previous = Kyber._backend()
    try:
        for _ in range(300):
            d, z, m = (rng.randbytes(32) for _ in range(3))
            assert _run_all(path, d, z, m) == _run_all("portable", d, z, m)
    finally:
        Kyber._set_backend(previous)


def test_best_path_is_chosen_by_default(tmp_path):
    # The default in a fresh interpreter: the last (fastest) available path.
    import os
    import subprocess
    import sys

    import kyber_alg

    code = "from kyber_alg import Kyber; print(Kyber._backend(), ' '.join(Kyber._available_backends()))"
    package_root = str(Path(kyber_alg.__file__).resolve().parents[1])  # the same kyber_alg as this test run's
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(filter(None, [package_root, os.environ.get("PYTHONPATH")])))
    out = subprocess.run(
        [sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True, check=True
    )
    chosen, *available = out.stdout.split()
    assert available[0] == "portable"
    assert chosen == available[-1]


# The CPU features each vector path needs, as /proc/cpuinfo names them.
PATH_FLAGS = {
    "avx2": {"avx2", "bmi1", "bmi2", "popcnt", "aes", "pclmulqdq"},
    "avx512": {"avx2", "bmi1", "bmi2", "popcnt", "aes", "pclmulqdq", "avx512f", "avx512vl", "avx512bw"},
}


@pytest.mark.parametrize("path", sorted(PATH_FLAGS))
def test_vector_path_offered_exactly_when_the_cpu_has_its_features(path):
    cpuinfo = Path("/proc/cpuinfo")
    if platform.machine() != "x86_64" or not cpuinfo.is_file():
        pytest.skip("needs x86-64 Linux")
    flags = set(
        next(line for line in cpuinfo.read_text().splitlines() if line.startswith("flags")).split(":")[1].split()
    )
    assert (path in Kyber._available_backends()) == PATH_FLAGS[path].issubset(flags)
