"""Shared helpers for the kyber_alg.Kyber tests: where the vectors are, and how to read them."""

from __future__ import annotations

import pytest
from vectors import load_cctv_records, load_gzip_lines, load_json, vector_path, wycheproof_cases  # noqa: F401


def load_cctv_modulus_keys() -> list[str]:
    return load_gzip_lines("cctv/modulus/ML-KEM-512.txt.gz")


def hexlower(s: str) -> bytes:
    """A vector's hex value as the lower-case ASCII bytes our API returns."""
    return s.lower().encode("ascii")


def _available_paths() -> tuple[str, ...]:
    from kyber_alg import Kyber

    return Kyber._available_backends()


@pytest.fixture(params=_available_paths())
def each_backend(request):
    """Runs a test once per code path this build and CPU offer."""
    from kyber_alg import Kyber

    previous = Kyber._backend()
    Kyber._set_backend(request.param)
    yield request.param
    Kyber._set_backend(previous)
