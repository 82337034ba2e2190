"""Velmora with the native SM3 and SM4 bound in place of pysmx.SM3 and
gmssl.sm4: same results where gmssl is sound, ValueError where it is not."""

import random

import pytest
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from gmssl import sm4 as gmssl_sm4
from pysmx import SM3 as pysmx_sm3

from kyber_alg.sm import SM3 as native_sm3
from kyber_alg.sm import sm4 as native_sm4

velmora = pytest.importorskip("kyber_alg.Velmora")
pytest.importorskip("pysmx.SM2")


@pytest.fixture
def native(monkeypatch):
    monkeypatch.setattr(velmora, "sm4", native_sm4)
    monkeypatch.setattr(velmora, "SM3", native_sm3.SM3)
    return velmora


def hex_key(rng):
    return rng.randbytes(16).hex()


@pytest.mark.parametrize("message", ["", "hello", "\u660e\u6587 \U0001f510", "x" * 15, "y" * 16, "z" * 10_000])
def test_sm4_text_cipher_matches_gmssl(monkeypatch, native, message):
    rng = random.Random(message)
    key, iv = hex_key(rng), hex_key(rng)
    ours = native.sm4_encode(key, iv, message)
    monkeypatch.setattr(velmora, "sm4", gmssl_sm4)
    assert velmora.sm4_encode(key, iv, message) == ours
    monkeypatch.setattr(velmora, "sm4", native_sm4)
    assert native.sm4_decode(key, iv, ours) == message


def test_wrong_key_gives_value_error(native):
    rng = random.Random(1)
    key, iv = hex_key(rng), hex_key(rng)
    ct = native.sm4_encode(key, iv, "the message")
    failures = 0
    for _ in range(100):
        wrong = hex_key(rng)
        d = Cipher(algorithms.SM4(bytes.fromhex(wrong)), modes.CBC(bytes.fromhex(iv))).decryptor()
        raw = d.update(bytes.fromhex(ct)) + d.finalize()
        if 1 <= raw[-1] <= 16 and raw[-raw[-1] :] == bytes([raw[-1]]) * raw[-1]:
            continue  # the rare wrong key whose result has valid padding
        failures += 1
        with pytest.raises(ValueError):
            native.sm4_decode(wrong, iv, ct)
    assert failures > 90


def test_dropped_block_gives_value_error(native):
    key, iv = "00112233445566778899aabbccddeeff", "0f0e0d0c0b0a09080706050403020100"
    ct = native.sm4_encode(key, iv, "0123456789abcdef" * 3)
    with pytest.raises(ValueError):
        native.sm4_decode(key, iv, ct[:-32])  # the padding block gone: last byte is message text
    with pytest.raises(ValueError):
        native.sm4_decode(key, iv, ct[:-2])  # not whole blocks


def test_exchange_derives_the_same_key_with_either_sm3(monkeypatch, native):
    pk, sk = native.key_gen_hybrid()
    c1, c2, key, iv = native.enc_hybrid(pk)
    assert native.dec_hybrid(c1, c2, sk) == (key, iv)
    monkeypatch.setattr(velmora, "SM3", pysmx_sm3.SM3)
    assert velmora.dec_hybrid(c1, c2, sk) == (key, iv)
