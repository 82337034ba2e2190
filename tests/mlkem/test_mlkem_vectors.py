"""Known-answer tests of kyber_alg.mlkem for ML-KEM-512, -768 and -1024 on every code path: every ML-KEM
vector file in tests/vectors (ACVP, CCTV, Wycheproof) and CCTV's accumulated 10,000-test hashes."""

from __future__ import annotations

import hashlib

import pytest
from mlkem_testlib import BY_BITS, SETS, each_backend, set_params  # noqa: F401  (each_backend is a fixture)
from vectors import load_cctv_records, load_gzip_lines, load_json, wycheproof_cases

pytestmark = pytest.mark.usefixtures("each_backend")


def h(value: str) -> bytes:
    return bytes.fromhex(value)


@set_params
def test_acvp(kem):
    keygen = [t for g in load_json(f"acvp/ML-KEM-{kem.bits}-keyGen-FIPS203.json")["testGroups"] for t in g["tests"]]
    groups = load_json(f"acvp/ML-KEM-{kem.bits}-encapDecap-FIPS203.json")["testGroups"]
    encaps = [t for g in groups if g["function"] == "encapsulation" for t in g["tests"]]
    decaps = [(g["dk"], t) for g in groups if g["function"] == "decapsulation" for t in g["tests"]]
    assert (len(keygen), len(encaps), len(decaps)) == ((25, 17, 7) if kem.bits == 512 else (17, 17, 7))
    for t in keygen:
        sk = kem.private.from_seed_bytes(h(t["d"]) + h(t["z"]))
        assert sk.public_key().public_bytes_raw() == h(t["ek"]), t["tcId"]
        assert sk._expanded_bytes() == h(t["dk"]), t["tcId"]
    for t in encaps:
        assert kem.public.from_public_bytes(h(t["ek"]))._encapsulate_deterministic(h(t["m"])) == (h(t["k"]), h(t["c"]))
    for dk, t in decaps:
        assert kem.private._from_expanded(h(dk), None).decapsulate(h(t["c"])) == h(t["k"]), t["tcId"]


@set_params
def test_cctv_strcmp_and_unlucky_sample(kem):
    (r,) = load_cctv_records(f"cctv/strcmp/ML-KEM-{kem.bits}.txt")
    assert kem.private._from_expanded(h(r["dk"]), None).decapsulate(h(r["c"])) == h(r["K"])
    (r,) = load_cctv_records(f"cctv/unluckysample-pr13/ML-KEM-{kem.bits}.txt")
    sk = kem.private.from_seed_bytes(h(r["d"]) + h(r["z"]))
    assert sk._expanded_bytes() == h(r["dk"]) and sk.public_key().public_bytes_raw() == h(r["ek"])
    assert sk.public_key()._encapsulate_deterministic(h(r["m"])) == (h(r["K"]), h(r["c"]))
    assert sk.decapsulate(h(r["c"])) == h(r["K"])


@set_params
def test_cctv_modulus_keys_are_refused(kem):
    keys = load_gzip_lines(f"cctv/modulus/ML-KEM-{kem.bits}.txt.gz")
    assert len(keys) == {512: 775, 768: 780, 1024: 1040}[kem.bits]
    for ek in keys:
        with pytest.raises(ValueError, match="modulus check"):
            kem.public.from_public_bytes(h(ek))


@set_params
def test_wycheproof_keygen_then_decaps(kem):
    cases = wycheproof_cases(f"mlkem_{kem.bits}_test.json")
    assert len(cases) == 193
    for tc, t in cases:
        seed, c = h(t["seed"]), h(t["c"])
        if len(seed) != 64:
            assert t["result"] == "invalid"
            with pytest.raises(ValueError, match="seed"):
                kem.private.from_seed_bytes(seed)
            continue
        sk = kem.private.from_seed_bytes(seed)
        assert sk.public_key().public_bytes_raw() == h(t["ek"]), tc
        if t["result"] == "valid":
            assert sk.decapsulate(c) == h(t["K"]), tc
        else:
            assert len(c) != kem.ct, tc
            with pytest.raises(ValueError, match="ciphertext is"):
                sk.decapsulate(c)


@set_params
def test_wycheproof_encaps(kem):
    cases = wycheproof_cases(f"mlkem_{kem.bits}_encaps_test.json")
    assert len(cases) == {512: 261, 768: 265, 1024: 269}[kem.bits]
    for tc, t in cases:
        ek, m = h(t["ek"]), h(t["m"])
        if t["result"] == "valid":
            assert kem.public.from_public_bytes(ek)._encapsulate_deterministic(m) == (h(t["K"]), h(t["c"])), tc
        elif len(ek) != kem.ek:
            with pytest.raises(ValueError, match="public key is"):
                kem.public.from_public_bytes(ek)
        elif len(m) != 32:
            with pytest.raises(ValueError, match="m is 32 bytes"):
                kem.public.from_public_bytes(ek)._encapsulate_deterministic(m)
        else:
            with pytest.raises(ValueError, match="modulus check"):
                kem.public.from_public_bytes(ek)


@set_params
def test_wycheproof_keygen_seed(kem):
    cases = wycheproof_cases(f"mlkem_{kem.bits}_keygen_seed_test.json")
    assert len(cases) == 100
    for tc, t in cases:
        sk = kem.private.from_seed_bytes(h(t["seed"]))
        assert sk.public_key().public_bytes_raw() == h(t["ek"]) and sk._expanded_bytes() == h(t["dk"]), tc
        assert sk.private_bytes_raw() == h(t["seed"])


SEMI_ERRORS = {
    "IncorrectCiphertextLength": "ciphertext is",
    "IncorrectDecapsulationKeyLength": "expanded private key is",
    "InvalidDecapsulationKey": "hash check|modulus check",
}


@set_params
def test_wycheproof_semi_expanded_decaps(kem):
    cases = wycheproof_cases(f"mlkem_{kem.bits}_semi_expanded_decaps_test.json")
    assert len(cases) == 9
    for tc, t in cases:
        dk, c = h(t["dk"]), h(t["c"])
        if t["result"] == "valid":
            assert kem.private._from_expanded(dk, None).decapsulate(c) == h(t["K"]), tc
            continue
        (flag,) = t["flags"]
        with pytest.raises(ValueError, match=SEMI_ERRORS[flag]):
            kem.private._from_expanded(dk, None).decapsulate(c)


ACCUMULATED = load_json("cctv/accumulated/ML-KEM-768-1024-accumulated.json")


@pytest.mark.parametrize("bits", [768, 1024])
def test_cctv_accumulated(bits, each_backend):  # noqa: F811  (the fixture, by name)
    """CCTV's accumulated test: 10,000 key pairs, encapsulations and decapsulations (of a good and of a random
    ciphertext) from one SHAKE-128 stream, hashed together. The full run on the default path, the first 1,000
    (a checkpoint of the same run) on the others."""
    kem = BY_BITS[bits]
    expected = ACCUMULATED[kem.name]["final_fips203"]
    default = each_backend == _default_backend()
    count = 10_000 if default else 1000
    want = expected["10000"] if default else expected["checkpoints_recomputed"]["1000"]
    per_test = 96 + kem.ct
    stream = hashlib.shake_128(b"").digest(count * per_test)
    acc = hashlib.shake_128()
    for i in range(count):
        chunk = stream[i * per_test : (i + 1) * per_test]
        sk = kem.private.from_seed_bytes(chunk[:64])
        pk = sk.public_key()
        key, ct = pk._encapsulate_deterministic(chunk[64:96])
        assert sk.decapsulate(ct) == key
        acc.update(pk.public_bytes_raw() + sk._expanded_bytes() + ct + key + sk.decapsulate(chunk[96:]))
    assert acc.hexdigest(32) == want


def _default_backend() -> str:
    from kyber_alg import _mlkem

    return _mlkem._available_backends()[-1]
