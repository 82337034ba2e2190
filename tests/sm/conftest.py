"""Shared fixtures of the SM2/SM3/SM4 tests: every test that takes `sm2_path`,
`sm3_path`, `sm4_path` or `sm2api_path` runs once per code path this build and CPU offer."""
import pytest

from kyber_alg import _sm2
from kyber_alg.sm import SM2 as native_sm2
from kyber_alg.sm import SM3 as native_sm3
from kyber_alg.sm import sm4 as native_sm4
from shared_helpers import switched_path as _switch


@pytest.fixture(params=native_sm3._available_backends())
def sm3_path(request):
    yield from _switch(native_sm3, request.param)


@pytest.fixture(params=native_sm4._available_backends())
def sm4_path(request):
    yield from _switch(native_sm4, request.param)


@pytest.fixture(params=native_sm2._available_backends())
def sm2_path(request):
    yield from _switch(native_sm2, request.param)


@pytest.fixture(params=_sm2._available_backends())
def sm2api_path(request):
    """Every code path of kyber_alg._sm2 (its own copy of the SM2 core's dispatch)."""
    yield from _switch(_sm2, request.param)
