"""Constant-time check of SM2: valgrind memcheck over key generation, encryption, decryption, signing, ECDH
and the key exchange.

Builds tests/sm/ct/ctgrind_driver.cpp with the same C++ sources as kyber_alg.sm.SM2 (plus -DKYBER_ALG_CTGRIND,
which turns the library's classify/declassify points into valgrind client requests) and runs it under memcheck.
Any branch or memory index that depends on a private key, a nonce, a message, a digest or a shared point is an
error.
"""

from __future__ import annotations

import json
from pathlib import Path

import ctgrind
import pytest

DRIVER = Path(__file__).resolve().parent / "ct" / "ctgrind_driver.cpp"
VECTORS = Path(__file__).resolve().parents[1] / "vectors" / "sm" / "sm2_examples.json"
# The field code has x86-64 carry intrinsics and a plain C++ version for other targets; both are checked.
BUILDS = {"x86-64": [], "generic-carries": ["-DKYBER_ALG_SM2_GENERIC_CARRIES"]}

pytestmark = ctgrind.SKIP_MARKS


@pytest.fixture(scope="module", params=sorted(BUILDS))
def driver(request, tmp_path_factory) -> Path:
    return ctgrind.build_driver(
        tmp_path_factory.mktemp("sm2_ctgrind_" + request.param),
        "sm2_ctgrind_driver",
        [*ctgrind.library_sources("sm2", "sm3", "common"), DRIVER],
        BUILDS[request.param],
    )


def _worked_example() -> list[str]:
    e = next(e for e in json.loads(VECTORS.read_text())["encryption"] if e["id"] == "recommended-curve-encryption")
    expected = e["C1_x"] + e["C1_y"] + e["C3"] + e["C2"]
    return [e["dB"], e["k"], e["message_ascii"].encode().hex(), expected]


# adx is the MULX/ADX path (with the AVX2 table reads where the CPU has AVX2, as valgrind's does); under
# valgrind the library offers it although valgrind's CPUID hides ADX (valgrind runs those instructions), so that
# this check covers it.
@pytest.mark.parametrize("backend", ["portable", "adx"])
def test_keygen_encrypt_decrypt_have_no_secret_dependent_branch_or_index(driver, backend):
    proc, errors = ctgrind.memcheck_code_path(driver, backend, "2", *_worked_example())
    ctgrind.assert_clean(
        proc,
        errors,
        f"2 keygen/encrypt/decrypt rounds and the fixed nonces done on the {backend} path, worked example matches",
    )


@pytest.mark.parametrize("backend", ["portable", "adx"])
def test_signing_ecdh_key_exchange_and_decryption_have_no_secret_dependent_branch_or_index(driver, backend):
    # What kyber_alg._sm2 adds: the inversion mod n of key preparation, hedged and given signing nonces,
    # ECDH, both roles of the key exchange; decryption with a prepared key.
    proc, errors = ctgrind.memcheck_code_path(driver, backend, "api")
    ctgrind.assert_clean(proc, errors, f"signing, ECDH, key exchange and decryption rounds done on the {backend} path")


def test_harness_detects_a_secret_dependent_branch(driver):
    ctgrind.assert_catches_a_secret_branch(driver)
