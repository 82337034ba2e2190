"""Loading the SM4-mode and HMAC-SM3 vectors of tests/vectors (Wycheproof JSON, OpenSSL evp_test text)."""

import json

from vectors import VECTORS


def wycheproof_cases(name):
    """(group, test) pairs of tests/vectors/wycheproof/<name>.json, with hex fields as bytes."""
    data = json.loads((VECTORS / "wycheproof" / name).read_text())
    cases = []
    for group in data["testGroups"]:
        for test in group["tests"]:
            decoded = {
                k: bytes.fromhex(v) if k in ("key", "iv", "aad", "msg", "ct", "tag") else v for k, v in test.items()
            }
            cases.append(pytest_param(group, decoded))
    return cases


def pytest_param(group, test):
    import pytest

    return pytest.param(group, test, id=f"tc{test['tcId']}")


def openssl_records(name, key, values):
    """The records of an evp_test file whose `key` field is in `values`; quoted values are ASCII, others hex."""
    records, current = [], {}
    for line in (VECTORS / "sm" / name).read_text().splitlines() + [""]:
        line = line.strip()
        if not line:
            if current.get(key) in values:
                records.append(current)
            current = {}
        elif not line.startswith("#") and "=" in line:
            field, value = (part.strip() for part in line.split("=", 1))
            if field in (key, "Algorithm", "Title", "XTSStandard"):
                current[field] = value
            elif value.startswith('"'):
                current[field] = value.strip('"').encode()
            else:
                current[field] = bytes.fromhex(value)
    return records
