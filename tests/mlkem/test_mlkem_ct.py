"""Constant-time check of kyber_alg.mlkem's core: valgrind memcheck over key generation, reading keys,
encapsulation and decapsulation (accepted and implicitly rejected) of ML-KEM-512, -768 and -1024, with the
secrets marked undefined, on every code path valgrind can run.

Builds tests/mlkem/ct/ctgrind_driver.cpp with the C++ sources of the module (plus -DKYBER_ALG_CTGRIND, which
turns the library's declassification points into valgrind client requests).
"""

from __future__ import annotations

from pathlib import Path

import ctgrind
import pytest

DRIVER = Path(__file__).resolve().parent / "ct" / "ctgrind_driver.cpp"

pytestmark = ctgrind.SKIP_MARKS


@pytest.fixture(scope="module")
def driver(tmp_path_factory) -> Path:
    return ctgrind.build_mlkem_driver(tmp_path_factory.mktemp("ctgrind_mlkem"), DRIVER)


@pytest.mark.parametrize("backend", ["portable", "avx2", "avx512"])
def test_all_sets_have_no_secret_dependent_branch_or_index(driver, backend):
    ctgrind.assert_code_path_clean(driver, backend, f"ML-KEM-512/768/1024 keygen/encaps/decaps rounds done ({backend})")


def test_harness_detects_a_secret_dependent_branch(driver):
    ctgrind.assert_catches_a_secret_branch(driver)
