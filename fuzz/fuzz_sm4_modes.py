#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.sm4 and kyber_alg.sm3's MAC and key derivations: sealing and
opening any message under any nonce, associated data and tampering, streaming CTR in any pieces,
CBC/ECB with each padding, HMAC, HKDF and PBKDF2, on any code path, checked against OpenSSL
(through cryptography): same bytes, or the same failure (InvalidTag for a bad tag, ValueError
for a bad size or padding).

    python -P fuzz/fuzz_sm4_modes.py -max_total_time=60 [corpus_dir] [fuzz/seeds/sm4_modes]
    python -P fuzz/fuzz_sm4_modes.py --make-seeds   # rewrite fuzz/seeds/sm4_modes from tests/vectors

Input layout: byte 0 picks the operation (low 3 bits), the code path (bit 3) and opening a
given payload instead of sealing (bit 4); byte 1 is the nonce length and byte 2 the length of
the associated data (or a tag length, a split point, a padding choice); then the 16-byte key,
the nonce, the associated data and the payload.
"""

import json
import sys
from pathlib import Path

import atheris

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness

with atheris.instrument_imports():
    from cryptography.exceptions import InvalidTag as OpenSSLInvalidTag
    from cryptography.hazmat.primitives import hashes
    from cryptography.hazmat.primitives import hmac as openssl_hmac
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
    from cryptography.hazmat.primitives.kdf.hkdf import HKDF
    from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC

    from kyber_alg import _sm3, _sm4, sm3, sm4
    from kyber_alg.exceptions import InvalidTag

PATHS = _sm4._available_backends()
PADDINGS = ["pkcs7", "iso9797-1-m2", "none"]


def openssl(key, mode, data, decrypt=False):
    c = Cipher(algorithms.SM4(key), mode)
    c = c.decryptor() if decrypt else c.encryptor()
    return c.update(data) + c.finalize()


def openssl_gcm_open(key, nonce, sealed, ad):
    d = Cipher(algorithms.SM4(key), modes.GCM(nonce, sealed[-16:])).decryptor()
    d.authenticate_additional_data(ad)
    return d.update(sealed[:-16]) + d.finalize()


@atheris.instrument_func
def check_gcm(key, nonce, ad, payload, opening):
    aead = sm4.SM4GCM(key)
    if not nonce:
        try:
            aead.encrypt(nonce, payload, ad)
        except ValueError:
            return
        raise AssertionError("empty nonce accepted")
    peer = 8 <= len(nonce) <= 128  # the nonce lengths OpenSSL's GCM takes through cryptography
    if opening:
        try:
            got = aead.decrypt(nonce, payload, ad)
        except InvalidTag:
            got = None
        if peer and len(payload) >= 16:
            try:
                expected = openssl_gcm_open(key, nonce, payload, ad)
            except OpenSSLInvalidTag:
                expected = None
            assert got == expected
        else:
            assert got is None or aead.encrypt(nonce, got, ad) == payload
        return
    sealed = aead.encrypt(nonce, payload, ad)
    if peer:
        e = Cipher(algorithms.SM4(key), modes.GCM(nonce)).encryptor()
        e.authenticate_additional_data(ad)
        assert sealed == e.update(payload) + e.finalize() + e.tag
    assert aead.decrypt(nonce, sealed, ad) == payload


@atheris.instrument_func
def check_ccm(key, nonce, tag_length, ad, payload, opening):
    size_ok = 7 <= len(nonce) <= 13
    tag_ok = tag_length in range(4, 17, 2)
    try:
        aead = sm4.SM4CCM(key, tag_length=tag_length)
        sealed = aead.encrypt(nonce, payload, ad)
    except ValueError:
        assert not (size_ok and tag_ok) or len(payload) >= 1 << (8 * (15 - len(nonce)))
        return
    assert size_ok and tag_ok and len(sealed) == len(payload) + tag_length
    assert aead.decrypt(nonce, sealed, ad) == payload
    if payload:  # any change of the sealed message is caught
        changed = bytearray(sealed)
        changed[payload[0] % len(changed)] ^= 1 + payload[-1] % 255
        try:
            aead.decrypt(nonce, bytes(changed), ad)
        except InvalidTag:
            return
        raise AssertionError("tampered CCM message accepted")


@atheris.instrument_func
def check_ctr(key, nonce, split, payload):
    counter = (nonce + bytes(16))[:16]
    stream = sm4.SM4CTR(key, counter)
    cut = split * len(payload) // 255
    out = stream.update(payload[:cut]) + stream.update(payload[cut:]) + stream.finalize()
    assert out == openssl(key, modes.CTR(counter), payload)


def unpad(plain, padding):
    """Bytes kept after removing the padding, or None where it is invalid."""
    if not plain or padding == "none":
        return plain if padding == "none" else None
    if padding == "pkcs7":
        p = plain[-1]
        return plain[:-p] if 1 <= p <= 16 and plain[-p:] == bytes([p]) * p else None
    stripped = plain[-16:].rstrip(b"\0")
    return plain[: len(plain) - 16 + len(stripped) - 1] if stripped.endswith(b"\x80") else None


@atheris.instrument_func
def check_block_modes(key, nonce, choice, payload, opening):
    padding, cbc = PADDINGS[choice % 3], choice & 4
    iv = (nonce + bytes(16))[:16]
    cipher = sm4.SM4CBC(key) if cbc else sm4.SM4ECB(key)
    mode = modes.CBC(iv) if cbc else modes.ECB()
    args = (iv,) if cbc else ()
    if opening:
        try:
            got = cipher.decrypt(*args, payload, padding)
        except ValueError:
            got = None
        raw = openssl(key, mode, payload, True) if len(payload) % 16 == 0 else None
        expected = None if raw is None else unpad(raw, padding)
        assert got == expected
        return
    try:
        sealed = cipher.encrypt(*args, payload, padding)
    except ValueError:
        assert padding == "none" and len(payload) % 16
        return
    fill = 16 - len(payload) % 16
    padded = {
        "pkcs7": payload + bytes([fill]) * fill,
        "iso9797-1-m2": payload + b"\x80" + bytes(fill - 1),
        "none": payload,
    }[padding]
    assert sealed == openssl(key, mode, padded)


@atheris.instrument_func
def check_sm3(key, nonce, choice, payload):
    mac = openssl_hmac.HMAC(key + nonce, hashes.SM3())
    mac.update(payload)
    expected = mac.finalize()
    assert sm3.hmac_sm3(key + nonce, payload) == expected
    keyed = sm3.HMAC(key + nonce, payload[:choice]).copy()
    keyed.update(payload[choice:])
    assert keyed.digest() == expected
    length = 1 + choice * 3
    salt = None if choice & 1 else nonce
    assert sm3.hkdf_sm3(payload, salt, key, length) == HKDF(hashes.SM3(), length, salt, key).derive(payload)
    iterations = 1 + choice % 5
    assert sm3.pbkdf2_hmac_sm3(payload, nonce, iterations, length) == PBKDF2HMAC(
        hashes.SM3(), length, nonce, iterations
    ).derive(payload)


@atheris.instrument_func
def test_one_input(data):
    if len(data) < 3 + 16:
        return
    op, nonce_len, extra = data[0], data[1] % 64, data[2]
    path = PATHS[(op >> 3) % 2 % len(PATHS)]
    _sm4._set_backend(path)
    _sm3._set_backend(path)
    key = data[3:19]
    nonce = data[19 : 19 + nonce_len]
    rest = data[19 + nonce_len :]
    ad_len = extra % 40
    ad, payload = rest[:ad_len], rest[ad_len:]
    opening = bool(op & 16)
    kind = op % 8
    if kind in (0, 1):
        check_gcm(key, nonce, ad, payload, opening)
    elif kind == 2:
        check_ccm(key, nonce, extra % 20, ad, payload, opening)
    elif kind == 3:
        check_ctr(key, nonce, extra, rest)
    elif kind in (4, 5):
        check_block_modes(key, nonce, extra, rest, opening)
    else:
        check_sm3(key, nonce, extra % 64, rest)


def make_seeds():
    out = harness.seed_folder("sm4_modes")
    wycheproof = harness.VECTORS / "wycheproof"
    gcm = json.loads((wycheproof / "sm4_gcm_test.json").read_text())
    for t in [t for g in gcm["testGroups"] for t in g["tests"]][::13]:
        iv, aad = bytes.fromhex(t["iv"]), bytes.fromhex(t["aad"])
        if len(iv) < 64 and len(aad) < 40:
            sealed = bytes.fromhex(t["ct"] + t["tag"])
            head = bytes([16, len(iv), len(aad)]) + bytes.fromhex(t["key"]) + iv + aad
            (out / f"gcm_tc{t['tcId']}_open").write_bytes(head + sealed)
            (out / f"gcm_tc{t['tcId']}_seal").write_bytes(bytes([0]) + head[1:] + bytes.fromhex(t["msg"]))
    ccm = json.loads((wycheproof / "sm4_ccm_test.json").read_text())
    for g in ccm["testGroups"][::3]:
        t = g["tests"][0]
        head = bytes([2, len(bytes.fromhex(t["iv"])), g["tagSize"] // 8]) + bytes.fromhex(t["key"])
        (out / f"ccm_tc{t['tcId']}").write_bytes(head + bytes.fromhex(t["iv"]) + bytes.fromhex(t["msg"]))
    key = bytes(range(16))
    (out / "ctr_wrap").write_bytes(bytes([3, 16, 100]) + key + b"\xff" * 16 + bytes(100))
    for choice in range(6):
        (out / f"block_{choice}").write_bytes(bytes([4 | 16 * (choice & 1), 16, choice]) + key + bytes(16) + bytes(32))
    (out / "sm3").write_bytes(bytes([6, 8, 33]) + key + bytes(8) + b"payload")


if __name__ == "__main__":
    harness.run(test_one_input, make_seeds)
