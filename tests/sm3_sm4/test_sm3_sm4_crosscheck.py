"""Byte equality with independent implementations on every code path: OpenSSL through
`cryptography` (SM4-GCM, SM4-CTR, SM4-CBC/ECB, HMAC-SM3, PBKDF2 and HKDF with SM3), GmSSL through
`gmssl-pyx` (SM4-GCM), and pysmx's SM2 key derivation function."""

import hmac
import os
import sys

import pytest
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives import hmac as openssl_hmac
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.kdf.hkdf import HKDF
from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC
from hypothesis import given, settings
from hypothesis import strategies as st
from pysmx.SM3 import KDF as pysmx_kdf

from kyber_alg import sm3, sm4

# gmssl-pyx ships wheels for CPython 3.11 to 3.14 only; the test extra leaves it out from 3.15 on.
GMSSL_PYX_MISSING = sys.version_info >= (3, 15)
if not GMSSL_PYX_MISSING:
    import gmssl_pyx

# Lengths around the block, the eight- and sixteen-block groups of the vector
# path, and the 4 KiB steps in which GCM hashes what it has just encrypted.
SIZES = [0, 1, 15, 16, 17, 112, 113, 127, 128, 129, 255, 256, 257, 4095, 4096, 4113, 70001]


def openssl_gcm(key, nonce, data, ad):
    e = Cipher(algorithms.SM4(key), modes.GCM(nonce)).encryptor()
    if ad:
        e.authenticate_additional_data(ad)
    return e.update(data) + e.finalize() + e.tag


def openssl_raw(key, mode, data, decrypt=False):
    c = Cipher(algorithms.SM4(key), mode)
    c = c.decryptor() if decrypt else c.encryptor()
    return c.update(data) + c.finalize()


@pytest.mark.parametrize("size", SIZES)
@pytest.mark.parametrize("nonce_len", [8, 12, 16, 61])
def test_gcm_equals_openssl(sm4_modes_path, nonce_len, size):
    key, nonce, data = os.urandom(16), os.urandom(nonce_len), os.urandom(size)
    ad = os.urandom(size % 300 if nonce_len != 12 else 5000)
    sealed = sm4.SM4GCM(key).encrypt(nonce, data, ad)
    assert sealed == openssl_gcm(key, nonce, data, ad)
    assert sm4.SM4GCM(key).decrypt(nonce, sealed, ad) == data


# gmssl-pyx takes nonces of 1 to 64 bytes and no empty plaintext.
@pytest.mark.parametrize("size", [1, 16, 100, 4097])
@pytest.mark.parametrize("nonce_len", [1, 7, 12, 64])
@pytest.mark.skipif(GMSSL_PYX_MISSING, reason="gmssl-pyx has no wheel for CPython 3.15 and later")
def test_gcm_equals_gmssl(sm4_modes_path, nonce_len, size):
    key, nonce, data, ad = os.urandom(16), os.urandom(nonce_len), os.urandom(size), os.urandom(size % 50)
    ct, tag = gmssl_pyx.sm4_gcm_encrypt(key, nonce, ad, data)
    assert sm4.SM4GCM(key).encrypt(nonce, data, ad) == ct + tag
    assert sm4.SM4GCM(key).decrypt(nonce, ct + tag, ad) == data


@settings(max_examples=40)
@given(
    key=st.binary(min_size=16, max_size=16),
    nonce=st.binary(min_size=8, max_size=32),
    data=st.binary(max_size=600),
    ad=st.binary(max_size=100),
)
def test_gcm_property(key, nonce, data, ad):
    assert sm4.SM4GCM(key).encrypt(nonce, data, ad or None) == openssl_gcm(key, nonce, data, ad)


# Counter blocks whose low words wrap during the message, and the whole block wrapping to zero.
COUNTERS = [bytes(16), bytes(12) + b"\xff\xff\xff\xf9", b"\x01" * 8 + b"\xff" * 8, b"\xff" * 16]


@pytest.mark.parametrize("size", SIZES)
@pytest.mark.parametrize("counter", COUNTERS, ids=lambda c: c.hex()[-8:])
def test_ctr_equals_openssl(sm4_modes_path, counter, size):
    key, data = os.urandom(16), os.urandom(size)
    expected = openssl_raw(key, modes.CTR(counter), data)
    cut = size // 3
    stream = sm4.SM4CTR(key, counter)
    assert stream.update(data[:cut]) + stream.update(data[cut:]) + stream.finalize() == expected
    assert sm4.SM4CTR(key, counter).update(expected) == data


@settings(max_examples=30)
@given(data=st.binary(max_size=700), cuts=st.lists(st.integers(0, 700), max_size=6))
def test_ctr_any_split_property(data, cuts):
    key, counter = bytes(range(16)), bytes(range(16, 32))
    stream = sm4.SM4CTR(key, counter)
    pieces, last = [], 0
    for cut in sorted(c % (len(data) + 1) for c in cuts):
        pieces.append(stream.update(data[last:cut]))
        last = cut
    pieces.append(stream.update(data[last:]))
    assert b"".join(pieces) == openssl_raw(key, modes.CTR(counter), data)


def pad(data, padding):
    fill = 16 - len(data) % 16
    return data + (bytes([fill]) * fill if padding == "pkcs7" else b"\x80" + bytes(fill - 1))


@pytest.mark.parametrize("padding", ["pkcs7", "iso9797-1-m2", "none"])
@pytest.mark.parametrize("size", [0, 1, 15, 16, 17, 160, 4111])
def test_cbc_and_ecb_equal_openssl(sm4_modes_path, padding, size):
    if padding == "none":
        size -= size % 16
    key, iv, data = os.urandom(16), os.urandom(16), os.urandom(size)
    padded = data if padding == "none" else pad(data, padding)
    cbc, ecb = sm4.SM4CBC(key), sm4.SM4ECB(key)
    assert cbc.encrypt(iv, data, padding) == openssl_raw(key, modes.CBC(iv), padded)
    assert ecb.encrypt(data, padding=padding) == openssl_raw(key, modes.ECB(), padded)
    assert cbc.decrypt(iv, openssl_raw(key, modes.CBC(iv), padded), padding) == data
    assert ecb.decrypt(openssl_raw(key, modes.ECB(), padded), padding) == data


@pytest.mark.parametrize("key_len", [0, 1, 16, 32, 63, 64, 65, 200])
@pytest.mark.parametrize("msg_len", [0, 55, 56, 64, 1000, 5000])
def test_hmac_equals_openssl(sm3_api_path, key_len, msg_len):
    key, msg = os.urandom(key_len), os.urandom(msg_len)
    h = openssl_hmac.HMAC(key, hashes.SM3())
    h.update(msg)
    expected = h.finalize()
    assert sm3.hmac_sm3(key, msg) == expected
    assert hmac.new(key, msg, sm3.sm3).digest() == expected
    assert hmac.digest(key, msg, sm3.sm3) == expected
    keyed = sm3.HMAC(key)  # keyed once; each copy continues from the key's states
    for _ in range(2):
        mac = keyed.copy()
        mac.update(msg[:7])
        mac.update(msg[7:])
        assert mac.digest() == expected == sm3.HMAC(key, msg).digest()
    assert keyed.digest() == sm3.hmac_sm3(key, b"")


@pytest.mark.parametrize("iterations, dklen", [(1, 32), (2, 1), (3, 33), (1000, 100), (17, None)])
def test_pbkdf2_equals_openssl(sm3_api_path, iterations, dklen):
    password, salt = os.urandom(iterations % 90), os.urandom(16)
    expected = PBKDF2HMAC(hashes.SM3(), dklen or 32, salt, iterations).derive(password)
    assert sm3.pbkdf2_hmac_sm3(password, salt, iterations, dklen) == expected


@pytest.mark.parametrize("salt", [None, b"", b"salt", bytes(range(100))], ids=["none", "empty", "short", "long"])
@pytest.mark.parametrize("length", [1, 32, 33, 100, 8160])
def test_hkdf_equals_openssl(sm3_api_path, salt, length):
    ikm, info = os.urandom(22), os.urandom(length % 40)
    expected = HKDF(hashes.SM3(), length, salt, info).derive(ikm)
    assert sm3.hkdf_sm3(ikm, salt, info, length) == expected
    prk = sm3.hkdf_sm3_extract(salt, ikm)
    assert sm3.hkdf_sm3_expand(prk, info, length) == expected


@pytest.mark.parametrize("z_len", [0, 1, 64, 100])
@pytest.mark.parametrize("klen", [0, 1, 32, 33, 100])
def test_kdf_equals_pysmx(sm3_api_path, z_len, klen):
    z = os.urandom(z_len)
    assert sm3.kdf(z, klen).hex() == pysmx_kdf(z, klen)


@settings(max_examples=30)
@given(data=st.binary(max_size=300), cut=st.integers(0, 300))
def test_hash_object_equals_openssl(data, cut):
    h = sm3.sm3(data[:cut])
    h.update(data[cut:])
    d = hashes.Hash(hashes.SM3())
    d.update(data)
    expected = d.finalize()
    assert h.digest() == expected and h.copy().hexdigest() == expected.hex()
