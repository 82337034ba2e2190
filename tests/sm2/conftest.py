"""Fixture of the kyber_alg.sm2 tests: `sm2api_path` runs a test once per code path of kyber_alg._sm2 (its own
copy of the SM2 core's dispatch)."""

from shared_helpers import code_path_fixture

from kyber_alg import _sm2

sm2api_path = code_path_fixture(_sm2, "sm2api_path")
