"""Shared helpers for the kyber_alg.mlkem tests: the three parameter sets and the code-path fixture."""

from __future__ import annotations

from typing import NamedTuple

import pytest

from kyber_alg import _mlkem, mlkem


class Set(NamedTuple):
    bits: int
    private: type
    public: type
    ek: int
    dk: int
    ct: int

    @property
    def name(self) -> str:
        return f"ML-KEM-{self.bits}"


SETS = [
    Set(512, mlkem.MLKEM512PrivateKey, mlkem.MLKEM512PublicKey, 800, 1632, 768),
    Set(768, mlkem.MLKEM768PrivateKey, mlkem.MLKEM768PublicKey, 1184, 2400, 1088),
    Set(1024, mlkem.MLKEM1024PrivateKey, mlkem.MLKEM1024PublicKey, 1568, 3168, 1568),
]
BY_BITS = {s.bits: s for s in SETS}
set_params = pytest.mark.parametrize("kem", SETS, ids=[s.name for s in SETS])


@pytest.fixture(params=_mlkem._available_backends())
def each_backend(request):
    """Runs a test once per code path this CPU and build have (kyber_alg._mlkem and Kyber share the switch)."""
    previous = _mlkem._backend()
    _mlkem._set_backend(request.param)
    yield request.param
    _mlkem._set_backend(previous)
