"""Constant-time check: valgrind memcheck over SM4 (key expansion, ECB, CBC
both ways, the padding checks; GCM with GHASH and its tag comparison, CCM,
CTR) and SM3 (the hash; HMAC, PBKDF2, HKDF and the SM2 KDF) with the key,
plaintext, message and passwords marked undefined.

Builds tests/sm/ct/sm_ctgrind_driver.cpp with the module's own C++ sources
(plus -DKYBER_ALG_CTGRIND, which turns the library's declassification points
into valgrind client requests) and runs it under memcheck. Any branch or
memory index that depends on a secret shows up as a memcheck error.
"""

import subprocess
from pathlib import Path

import ctgrind
import pytest
from sm_support import load_json

DRIVER = Path(__file__).resolve().parent / "ct" / "sm_ctgrind_driver.cpp"
STANDARD = load_json("sm3_sm4_standard_examples.json")["sm4"]

pytestmark = ctgrind.SKIP_MARKS


@pytest.fixture(scope="module")
def driver(tmp_path_factory):
    return ctgrind.build_driver(
        tmp_path_factory.mktemp("sm_ctgrind"),
        "sm_ctgrind_driver",
        [*ctgrind.library_sources("sm4", "sm3", "common"), DRIVER],
    )


@pytest.mark.parametrize("backend", ["portable", "avx2", "avx512"])
def test_sm4_and_sm3_have_no_secret_dependent_branch_or_index(driver, backend):
    proc, errors = ctgrind.memcheck_code_path(driver, backend)
    ctgrind.assert_clean(proc, errors, f"GCM, CCM, CTR, HMAC, PBKDF2, HKDF, KDF done ({backend})")


@pytest.mark.parametrize("backend", ["portable", "avx2"])
def test_round_keys_match_the_standard(driver, backend):
    proc = subprocess.run([str(driver), "--round-keys", backend, STANDARD["key"]], capture_output=True, text=True)
    if proc.returncode == ctgrind.PATH_UNAVAILABLE:
        pytest.skip(f"the {backend} code path is not available here")
    assert proc.returncode == 0
    assert proc.stdout.split() == STANDARD["round_keys_rk0_to_rk31"]


def test_harness_detects_a_secret_dependent_branch(driver):
    ctgrind.assert_catches_a_secret_branch(driver)
