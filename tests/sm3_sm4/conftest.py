"""Fixtures of the SM4-mode and SM3-derivation tests: `sm4_modes_path` and
`sm3_api_path` run a test once per code path of kyber_alg._sm4 / kyber_alg._sm3."""

from shared_helpers import code_path_fixture

from kyber_alg import _sm3, _sm4

sm4_modes_path = code_path_fixture(_sm4, "sm4_modes_path")
sm3_api_path = code_path_fixture(_sm3, "sm3_api_path")
