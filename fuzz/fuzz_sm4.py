#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.sm.sm4: encryption of any message and
decryption of any ciphertext (lengths, padding check, wrong keys), on any
code path, checked against OpenSSL's SM4 (through cryptography).

    python -P fuzz/fuzz_sm4.py -max_total_time=60 [corpus_dir] [fuzz/seeds/sm4]
    python -P fuzz/fuzz_sm4.py --make-seeds      # rewrite fuzz/seeds/sm4 from tests/vectors

Input layout: byte 0 picks the code path (bit 0), CBC or ECB (bit 1),
decryption of the payload or encryption (bit 2), zero padding for ECB
(bit 3); then the 16-byte key, the 16-byte IV and the payload. Short keys
and IVs (fewer bytes left) must raise ValueError.
"""

import json
import sys
from pathlib import Path

import atheris

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness

with atheris.instrument_imports():
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

    from kyber_alg.sm import sm4

PATHS = sm4._available_backends()


def openssl(key, mode, data, decrypt):
    ctx = Cipher(algorithms.SM4(key), mode)
    ctx = ctx.decryptor() if decrypt else ctx.encryptor()
    return ctx.update(data) + ctx.finalize()


@atheris.instrument_func
def expected_unpadding(plain, zero):
    """Bytes to strip, or None if the padding is invalid."""
    if zero:
        n = len(plain[-16:]) - len(plain[-16:].rstrip(b"\0"))
        return n or None
    p = plain[-1]
    return p if 1 <= p <= 16 and plain[-p:] == bytes([p]) * p else None


@atheris.instrument_func
def test_one_input(data):
    if not data:
        return
    flags = data[0]
    sm4._set_backend(PATHS[flags % 2 % len(PATHS)])
    cbc, decrypt, zero = bool(flags & 2), bool(flags & 4), bool(flags & 8) and not flags & 2
    key, iv, payload = data[1:17], data[17:33], data[33:]
    c = sm4.CryptSM4(padding_mode=sm4.ZERO if zero else sm4.PKCS7)
    try:
        c.set_key(key, sm4.SM4_DECRYPT if decrypt else sm4.SM4_ENCRYPT)
    except ValueError:
        assert len(key) != 16
        return
    mode = modes.CBC(iv) if cbc and len(iv) == 16 else modes.ECB()
    try:
        out = c.crypt_cbc(iv, payload) if cbc else c.crypt_ecb(payload)
    except ValueError as e:
        if cbc and len(iv) != 16:
            assert "iv must be 16 bytes" in str(e)
        elif len(payload) == 0 or len(payload) % 16:
            assert decrypt and "multiple of 16" in str(e)
        else:
            assert decrypt and expected_unpadding(openssl(key, mode, payload, True), zero) is None
        return
    assert not cbc or len(iv) == 16
    if decrypt:
        raw = openssl(key, mode, payload, True)
        strip = expected_unpadding(raw, zero)
        assert strip is not None and out == raw[:-strip], payload.hex()
    else:
        pad = 16 - len(payload) % 16
        padded = payload + (bytes(pad) if zero else bytes([pad]) * pad)
        assert out == openssl(key, mode, padded, False), payload.hex()


def make_seeds():
    out = harness.seed_folder("sm4")
    vectors = harness.VECTORS / "sm"
    cases = json.loads((vectors / "gmssl_sm4_cbc_pkcs7_padding.json").read_text())
    for case in cases[::6]:  # valid and invalid paddings, decryption (flags 6) and encryption (flags 2)
        key, iv = bytes.fromhex(case["key"]), bytes.fromhex(case["iv"])
        (out / f"gmssl_tc{case['tcId']}_decrypt").write_bytes(bytes([6]) + key + iv + bytes.fromhex(case["ct"]))
        (out / f"gmssl_tc{case['tcId']}_encrypt").write_bytes(bytes([3]) + key + iv + bytes.fromhex(case["msg"]))
    standard = json.loads((vectors / "sm3_sm4_standard_examples.json").read_text())["sm4"]
    key = bytes.fromhex(standard["key"])
    (out / "standard_ecb").write_bytes(bytes([1]) + key + bytes(16) + bytes.fromhex(standard["plaintext"]))
    (out / "short_key").write_bytes(bytes([0]) + key[:9])


if __name__ == "__main__":
    harness.run(test_one_input, make_seeds)
