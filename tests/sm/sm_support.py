"""Helpers shared by the SM3/SM4 tests."""

import json
from pathlib import Path

VECTORS = Path(__file__).resolve().parents[1] / "vectors" / "sm"


def load_json(name):
    return json.loads((VECTORS / name).read_text())


def openssl_evp_records(name, ciphers):
    """The records of an OpenSSL evp_test file whose Cipher is in `ciphers`, as dicts of bytes."""
    records, current = [], {}
    for line in (VECTORS / name).read_text().splitlines() + [""]:
        line = line.strip()
        if not line:
            if current.get("Cipher") in ciphers:
                records.append(current)
            current = {}
        elif not line.startswith("#") and "=" in line:
            key, value = (part.strip() for part in line.split("=", 1))
            hex_fields = ("Key", "IV", "Plaintext", "Ciphertext")
            current[key] = bytes.fromhex(value) if key in hex_fields else value
    return records
