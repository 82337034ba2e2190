"""Where the third-party test vectors live: tests/vectors/ inside the repository (see its README),
and readers for their formats."""

from __future__ import annotations

import gzip
import json
from pathlib import Path

VECTORS = Path(__file__).resolve().parent / "vectors"


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


def load_gzip_lines(relative: str) -> list[str]:
    """The non-empty lines of a gzip text file (CCTV's modulus keys: one hex key a line)."""
    with gzip.open(vector_path(relative), "rt") as f:
        return [line.strip() for line in f if line.strip()]


def wycheproof_cases(name: str) -> list[tuple[str, dict]]:
    """(id, test) pairs of a Wycheproof file, for parametrize."""
    data = load_json(f"wycheproof/{name}")
    return [(f"tc{t['tcId']}", t) for group in data["testGroups"] for t in group["tests"]]
