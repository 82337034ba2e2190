"""Known-answer tests: every ML-KEM-512 vector in tests/vectors (ACVP, CCTV, Wycheproof)."""

from __future__ import annotations

import pytest
from kyber_testlib import (  # noqa: F401  (each_backend is a fixture)
    each_backend,
    hexlower,
    load_cctv_modulus_keys,
    load_cctv_records,
    load_json,
    wycheproof_cases,
)

from kyber_alg import Kyber

M32 = bytes(range(32))

# Every vector runs on each code path.
pytestmark = pytest.mark.usefixtures("each_backend")


def _ids(cases):
    return [c[0] for c in cases]


# --- ACVP ---------------------------------------------------------------------------

ACVP_KEYGEN = [
    (f"tc{t['tcId']}", t) for g in load_json("acvp/ML-KEM-512-keyGen-FIPS203.json")["testGroups"] for t in g["tests"]
]
_ENCDEC = load_json("acvp/ML-KEM-512-encapDecap-FIPS203.json")["testGroups"]
ACVP_ENCAPS = [(f"tc{t['tcId']}", t) for g in _ENCDEC if g["function"] == "encapsulation" for t in g["tests"]]
ACVP_DECAPS = [(f"tc{t['tcId']}", g["dk"], t) for g in _ENCDEC if g["function"] == "decapsulation" for t in g["tests"]]


def test_acvp_case_counts():
    # Guards against a reshaped vector file silently dropping cases.
    assert (len(ACVP_KEYGEN), len(ACVP_ENCAPS), len(ACVP_DECAPS)) == (25, 17, 7)


@pytest.mark.parametrize("case", [c[1] for c in ACVP_KEYGEN], ids=_ids(ACVP_KEYGEN))
def test_acvp_keygen(case):
    ek, dk = Kyber.CCA_KeyGen_derand(bytes.fromhex(case["d"]), bytes.fromhex(case["z"]))
    assert ek == hexlower(case["ek"])
    assert dk == hexlower(case["dk"])


@pytest.mark.parametrize("case", [c[1] for c in ACVP_ENCAPS], ids=_ids(ACVP_ENCAPS))
def test_acvp_encaps(case):
    c, k = Kyber.CCA_Enc(case["ek"], bytes.fromhex(case["m"]))
    assert c == hexlower(case["c"])
    assert k == bytes.fromhex(case["k"])


@pytest.mark.parametrize("dk,case", [c[1:] for c in ACVP_DECAPS], ids=_ids(ACVP_DECAPS))
def test_acvp_decaps(dk, case):
    assert Kyber.CCA_Dec(case["c"], dk) == bytes.fromhex(case["k"])


# --- CCTV ---------------------------------------------------------------------------


def test_cctv_strcmp():
    records = load_cctv_records("cctv/strcmp/ML-KEM-512.txt")
    assert records
    for r in records:
        assert Kyber.CCA_Dec(r["c"], r["dk"]) == bytes.fromhex(r["K"])


MODULUS_KEYS = load_cctv_modulus_keys()


def test_cctv_modulus_count():
    assert len(MODULUS_KEYS) == 775


@pytest.mark.parametrize("ek", MODULUS_KEYS, ids=[f"key{i}" for i in range(len(MODULUS_KEYS))])
def test_cctv_modulus_rejected(ek):
    with pytest.raises(ValueError, match="modulus check"):
        Kyber.CCA_Enc(ek, M32)


def test_cctv_unluckysample_encaps_decaps():
    # Only the Encaps/Decaps parts apply: the file's keygen is draft-era.
    (r,) = load_cctv_records("cctv/unluckysample/ML-KEM-512.txt")
    c, k = Kyber.CCA_Enc(r["ek"], bytes.fromhex(r["m"]))
    assert c == hexlower(r["c"])
    assert k == bytes.fromhex(r["K"])
    assert Kyber.CCA_Dec(r["c"], r["dk"]) == bytes.fromhex(r["K"])


# --- Wycheproof ---------------------------------------------------------------------

WP_COMBINED = wycheproof_cases("mlkem_512_test.json")
WP_ENCAPS = wycheproof_cases("mlkem_512_encaps_test.json")
WP_KEYGEN = wycheproof_cases("mlkem_512_keygen_seed_test.json")
WP_SEMI = wycheproof_cases("mlkem_512_semi_expanded_decaps_test.json")


def test_wycheproof_case_counts():
    assert (len(WP_COMBINED), len(WP_ENCAPS), len(WP_KEYGEN), len(WP_SEMI)) == (193, 261, 100, 9)


@pytest.mark.parametrize("case", [c[1] for c in WP_COMBINED], ids=_ids(WP_COMBINED))
def test_wycheproof_keygen_then_decaps(case):
    seed = bytes.fromhex(case["seed"])
    d, z = seed[:32], seed[32:]
    if case["result"] == "valid":
        ek, dk = Kyber.CCA_KeyGen_derand(d, z)
        assert ek == hexlower(case["ek"])
        assert Kyber.CCA_Dec(case["c"], dk.decode()) == bytes.fromhex(case["K"])
    elif len(seed) != 64:
        with pytest.raises(ValueError, match="must be 32 bytes long"):
            Kyber.CCA_KeyGen_derand(d, z)
    else:  # valid seed, ciphertext of the wrong length
        ek, dk = Kyber.CCA_KeyGen_derand(d, z)
        assert ek == hexlower(case["ek"])
        assert len(case["c"]) != 2 * 768
        with pytest.raises(ValueError, match="must be 1536 hexadecimal characters"):
            Kyber.CCA_Dec(case["c"], dk)


@pytest.mark.parametrize("case", [c[1] for c in WP_ENCAPS], ids=_ids(WP_ENCAPS))
def test_wycheproof_encaps(case):
    m = bytes.fromhex(case["m"])
    if case["result"] == "valid":
        c, k = Kyber.CCA_Enc(case["ek"], m)
        assert c == hexlower(case["c"])
        assert k == bytes.fromhex(case["K"])
        return
    if len(case["ek"]) != 2 * 800:
        message = "must be 1600 hexadecimal characters"
    elif len(m) != 32:
        message = "must be 32 bytes long"
    else:
        message = "modulus check"
    with pytest.raises(ValueError, match=message):
        Kyber.CCA_Enc(case["ek"], m)


@pytest.mark.parametrize("case", [c[1] for c in WP_KEYGEN], ids=_ids(WP_KEYGEN))
def test_wycheproof_keygen_seed(case):
    assert case["result"] == "valid"
    seed = bytes.fromhex(case["seed"])
    ek, dk = Kyber.CCA_KeyGen_derand(seed[:32], seed[32:])
    assert ek == hexlower(case["ek"])
    assert dk == hexlower(case["dk"])


SEMI_ERRORS = {
    "IncorrectCiphertextLength": "must be 1536 hexadecimal characters",
    "IncorrectDecapsulationKeyLength": "must be 3264 hexadecimal characters",
    "InvalidDecapsulationKey": "hash check",
}


@pytest.mark.parametrize("case", [c[1] for c in WP_SEMI], ids=_ids(WP_SEMI))
def test_wycheproof_semi_expanded_decaps(case):
    if case["result"] == "valid":
        assert Kyber.CCA_Dec(case["c"], case["dk"]) == bytes.fromhex(case["K"])
        return
    (flag,) = case["flags"]
    with pytest.raises(ValueError, match=SEMI_ERRORS[flag]):
        Kyber.CCA_Dec(case["c"], case["dk"])
