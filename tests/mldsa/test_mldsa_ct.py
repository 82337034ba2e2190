"""Constant-time check of kyber_alg.mldsa's core: valgrind memcheck over key generation, reading an encoded
private key, signing (from the generated and the read-back key) and verification of ML-DSA-44, -65 and -87,
with the seed, the encoded private key and the signing randomness marked undefined, on every code path valgrind
can run. The rejection decision of the signing loop is the one secret-derived value declassified inside it.

Builds tests/mldsa/ct/ctgrind_driver.cpp with the C++ sources of the ML-DSA core, the ML-KEM core it takes its
Keccak from, and common/ (plus -DKYBER_ALG_CTGRIND).
"""

from __future__ import annotations

from pathlib import Path

import ctgrind
import pytest

DRIVER = Path(__file__).resolve().parent / "ct" / "ctgrind_driver.cpp"

pytestmark = ctgrind.SKIP_MARKS


@pytest.fixture(scope="module")
def driver(tmp_path_factory) -> Path:
    return ctgrind.build_driver(
        tmp_path_factory.mktemp("ctgrind_mldsa"),
        "ctgrind_driver",
        [*ctgrind.library_sources("mldsa", "mlkem", "common"), DRIVER],
    )


@pytest.mark.parametrize("backend", ["portable", "avx2"])
def test_all_sets_have_no_secret_dependent_branch_or_index(driver, backend):
    ctgrind.assert_code_path_clean(driver, backend, f"ML-DSA-44/65/87 keygen/read/sign/verify rounds done ({backend})")


def test_harness_detects_a_secret_dependent_branch(driver):
    ctgrind.assert_catches_a_secret_branch(driver)
