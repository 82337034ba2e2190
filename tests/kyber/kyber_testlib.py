"""Shared helpers for the kyber_alg.Kyber tests: where the vectors are, and how to read them."""

from __future__ import annotations

import pytest
from vectors import load_cctv_records, load_gzip_lines, load_json, vector_path, wycheproof_cases  # noqa: F401


def load_cctv_modulus_keys() -> list[str]:
    return load_gzip_lines("cctv/modulus/ML-KEM-512.txt.gz")


def hexlower(s: str) -> bytes:
    """A vector's hex value as the lower-case ASCII bytes our API returns."""
    return s.lower().encode("ascii")


@pytest.fixture(params=["portable", "avx2", "avx512"])
def each_backend(request):
    """Runs a test once per code path of the module (each where the CPU has it)."""
    from kyber_alg import Kyber

    if request.param not in Kyber._available_backends():
        pytest.skip(f"the {request.param} code path is not available on this CPU/build")
    previous = Kyber._backend()
    Kyber._set_backend(request.param)
    yield request.param
    Kyber._set_backend(previous)
