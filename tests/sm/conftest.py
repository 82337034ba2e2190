"""Shared fixtures of the SM2/SM3/SM4 tests: every test that takes `sm2_path`,
`sm3_path` or `sm4_path` runs once per code path this build and CPU offer."""

from shared_helpers import code_path_fixture

from kyber_alg.sm import SM2 as native_sm2
from kyber_alg.sm import SM3 as native_sm3
from kyber_alg.sm import sm4 as native_sm4

sm3_path = code_path_fixture(native_sm3, "sm3_path")
sm4_path = code_path_fixture(native_sm4, "sm4_path")
sm2_path = code_path_fixture(native_sm2, "sm2_path")
