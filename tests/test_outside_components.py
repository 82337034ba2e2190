"""The pinned SM2/SM3/SM4 packages against published examples, used the way
Velmora uses them (positional calls, one update() per SM3 object, CBC with the
package's own padding)."""

import json
import os

import pytest
from gmssl import sm4
from pysmx.SM2 import Decrypt, Encrypt, generate_keypair
from pysmx.SM3 import SM3, hash_msg
from vectors import VECTORS

SM = VECTORS / "sm"


def _load(name):
    return json.loads((SM / name).read_text())


def _evp_cases(cipher):
    cases, current = [], {}
    for line in (SM / "openssl_evpciph_sm4.txt").read_text().splitlines():
        if "=" not in line or line.lstrip().startswith("#"):
            if current.get("Cipher") == cipher:
                cases.append(current)
            current = {}
            continue
        key, value = (part.strip() for part in line.split("=", 1))
        current[key] = value
    if current.get("Cipher") == cipher:
        cases.append(current)
    return cases


def _sm3_hex(message: bytes) -> str:
    h = SM3()
    h.update(message)
    return h.hexdigest()


def _sm4_cbc(key: bytes, iv: bytes, data: bytes, mode) -> bytes:
    cipher = sm4.CryptSM4()
    cipher.set_key(key, mode)
    return cipher.crypt_cbc(iv, data)


@pytest.mark.parametrize("case", _load("sm3_sm4_standard_examples.json")["sm3"], ids=lambda c: c["name"])
def test_sm3_digest_matches_standard_examples(case):
    digest = _sm3_hex(bytes.fromhex(case["message_hex"]))
    assert type(digest) is str
    assert digest == case["digest"]
    assert callable(hash_msg)


@pytest.mark.parametrize("case", _evp_cases("SM4-CBC"), ids=lambda c: f"{len(c['Plaintext']) // 32}-blocks")
def test_sm4_cbc_matches_openssl_blocks(case):
    key, iv = bytes.fromhex(case["Key"]), bytes.fromhex(case["IV"])
    plain, expected = bytes.fromhex(case["Plaintext"]), bytes.fromhex(case["Ciphertext"])
    produced = _sm4_cbc(key, iv, plain, sm4.SM4_ENCRYPT)
    # The package always pads: the unpadded blocks come first, one padding block follows.
    assert produced[: len(expected)] == expected
    assert len(produced) == len(expected) + 16
    assert _sm4_cbc(key, iv, produced, sm4.SM4_DECRYPT) == plain


@pytest.mark.parametrize(
    "case",
    [c for c in _load("gmssl_sm4_cbc_pkcs7_padding.json") if c["result"] == "valid"],
    ids=lambda c: f"tc{c['tcId']}",
)
def test_sm4_cbc_pads_with_pkcs7(case):
    key, iv = bytes.fromhex(case["key"]), bytes.fromhex(case["iv"])
    assert _sm4_cbc(key, iv, bytes.fromhex(case["msg"]), sm4.SM4_ENCRYPT).hex() == case["ct"]
    assert _sm4_cbc(key, iv, bytes.fromhex(case["ct"]), sm4.SM4_DECRYPT).hex() == case["msg"]


def test_sm2_decrypts_the_recommended_curve_example():
    case = next(c for c in _load("sm2_examples.json")["encryption"] if c["id"] == "recommended-curve-encryption")
    # The package's ciphertext is C1 (x || y, no 04 prefix) || C3 || C2.
    ciphertext = bytes.fromhex(case["derived_C1C3C2"][2:])
    assert Decrypt(ciphertext, bytes.fromhex(case["dB"]), 64) == case["message_ascii"].encode()


def test_sm2_keypair_and_round_trip_as_the_hybrid_scheme_uses_them():
    public, private = generate_keypair(64)
    assert isinstance(public, bytes) and len(public) == 64
    assert isinstance(private, bytes) and len(private) == 32
    secret = os.urandom(32)
    ciphertext = Encrypt(secret, public, 64, 0)
    assert Decrypt(ciphertext, private, 64) == secret
    # A damaged ciphertext is refused (C3 check), not turned into another secret.
    damaged = bytearray(ciphertext)
    damaged[-1] ^= 1
    assert Decrypt(bytes(damaged), private, 64) != secret
