"""Shared helpers for the kyber_alg.mldsa tests: the three parameter sets and the code-path fixture."""

from __future__ import annotations

from typing import NamedTuple

import pytest

from kyber_alg import _mldsa, mldsa


class Set(NamedTuple):
    level: int
    private: type
    public: type
    pk: int
    sk: int
    sig: int

    @property
    def name(self) -> str:
        return f"ML-DSA-{self.level}"


SETS = [
    Set(44, mldsa.MLDSA44PrivateKey, mldsa.MLDSA44PublicKey, 1312, 2560, 2420),
    Set(65, mldsa.MLDSA65PrivateKey, mldsa.MLDSA65PublicKey, 1952, 4032, 3309),
    Set(87, mldsa.MLDSA87PrivateKey, mldsa.MLDSA87PublicKey, 2592, 4896, 4627),
]
set_params = pytest.mark.parametrize("dsa", SETS, ids=[s.name for s in SETS])


@pytest.fixture(params=_mldsa._available_backends())
def each_backend(request):
    """Runs a test once per code path this CPU and build have."""
    previous = _mldsa._backend()
    _mldsa._set_backend(request.param)
    yield request.param
    _mldsa._set_backend(previous)


def m_prime(message: bytes, context: bytes = b"") -> bytes:
    """M' of pure ML-DSA (FIPS 204 Algorithm 2 step 10): 0 || |ctx| || ctx || M."""
    return bytes([0, len(context)]) + context + message
