"""Constant-time check: valgrind memcheck over keygen, encapsulation and decapsulation with secrets marked undefined.

Builds tests/kyber/ct/ctgrind_driver.cpp with the same C++ sources as the module (plus -DKYBER_ALG_CTGRIND,
which turns the library's declassification points into valgrind client requests) and runs it under memcheck.
Any branch or memory index that depends on d, z, m or dk shows up as a memcheck error.
"""

from __future__ import annotations

from pathlib import Path

import ctgrind
import pytest

DRIVER = Path(__file__).resolve().parent / "ct" / "ctgrind_driver.cpp"

pytestmark = ctgrind.SKIP_MARKS


@pytest.fixture(scope="module")
def driver(tmp_path_factory) -> Path:
    return ctgrind.build_mlkem_driver(tmp_path_factory.mktemp("ctgrind"), DRIVER)


@pytest.mark.parametrize("backend", ["portable", "avx2", "avx512"])
def test_keygen_encaps_decaps_have_no_secret_dependent_branch_or_index(driver, backend):
    ctgrind.assert_code_path_clean(driver, backend, f"3 keygen/encaps/decaps rounds done ({backend})")


def test_harness_detects_a_secret_dependent_branch(driver):
    ctgrind.assert_catches_a_secret_branch(driver)
