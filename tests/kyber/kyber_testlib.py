"""Shared helpers for the kyber_alg.Kyber tests: where the vectors are, and how to read them."""

from __future__ import annotations

import gzip
import json
from pathlib import Path

import pytest
from vectors import VECTORS


def vector_path(relative: str) -> Path:
    path = (VECTORS / relative).resolve()
    if not path.is_file():
        raise FileNotFoundError(f"test vector file {path} is missing from tests/vectors/")
    return path


def load_json(relative: str) -> dict:
    return json.loads(vector_path(relative).read_text())


def load_cctv_records(relative: str) -> list[dict[str, str]]:
    """CCTV text format: `name = hex` lines, records separated by blank lines."""
    records, current = [], {}
    for line in vector_path(relative).read_text().splitlines():
        line = line.strip()
        if not line:
            if current:
                records.append(current)
            current = {}
            continue
        name, _, value = line.partition("=")
        current[name.strip()] = value.strip()
    if current:
        records.append(current)
    return records


def load_cctv_modulus_keys() -> list[str]:
    with gzip.open(vector_path("cctv/modulus/ML-KEM-512.txt.gz"), "rt") as f:
        return [line.strip() for line in f if line.strip()]


def wycheproof_cases(name: str) -> list[tuple[str, dict]]:
    """(id, test) pairs of a Wycheproof file, for parametrize."""
    data = load_json(f"wycheproof/{name}")
    return [(f"tc{t['tcId']}", t) for group in data["testGroups"] for t in group["tests"]]


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
