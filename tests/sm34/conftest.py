"""Fixtures of the SM4-mode and SM3-derivation tests: `sm4_modes_path` and
`sm3_api_path` run a test once per code path of kyber_alg._sm4 / kyber_alg._sm3."""
import pytest

from kyber_alg import _sm3, _sm4
from shared_helpers import switched_path as _switch


@pytest.fixture(params=_sm4._available_backends())
def sm4_modes_path(request):
    yield from _switch(_sm4, request.param)


@pytest.fixture(params=_sm3._available_backends())
def sm3_api_path(request):
    yield from _switch(_sm3, request.param)
