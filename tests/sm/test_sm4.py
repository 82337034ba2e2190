"""kyber_alg.sm.sm4 against the standard's examples, OpenSSL's and GmSSL's
vectors, gmssl.sm4 and OpenSSL (through cryptography), and its handling of
every bad input."""

import inspect
import os
import random

import pytest
from cryptography.hazmat.primitives import padding as crypto_padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from gmssl import sm4 as gmssl_sm4
from sm_support import load_json, openssl_evp_records

from kyber_alg.sm import sm4 as native

STANDARD = load_json("sm3_sm4_standard_examples.json")["sm4"]
PADDING_CASES = load_json("gmssl_sm4_cbc_pkcs7_padding.json")
OPENSSL_ECB = openssl_evp_records("openssl_evpciph_sm4.txt", {"SM4-ECB"})
OPENSSL_CBC = openssl_evp_records("openssl_evpciph_sm4.txt", {"SM4-CBC"})
LENGTHS = list(range(0, 70)) + [127, 128, 129, 2047, 2048, 2049, 100_000]


def cipher(key, mode, padding_mode=native.PKCS7):
    c = native.CryptSM4(padding_mode=padding_mode)
    c.set_key(key, mode)
    return c


def gmssl_cipher(key, mode, padding_mode=gmssl_sm4.PKCS7):
    c = gmssl_sm4.CryptSM4(padding_mode=padding_mode)
    c.set_key(key, mode)
    return c


def openssl_raw(key, mode, data, decrypt=False):
    """SM4 without padding through OpenSSL."""
    ctx = Cipher(algorithms.SM4(key), mode)
    ctx = ctx.decryptor() if decrypt else ctx.encryptor()
    return ctx.update(data) + ctx.finalize()


def pkcs7(data):
    p = crypto_padding.PKCS7(128).padder()
    return p.update(data) + p.finalize()


def valid_pkcs7_length(plain):
    """Padding length of a decrypted block sequence, or None; the oracle for wrong keys and tampering."""
    p = plain[-1]
    return p if 1 <= p <= 16 and plain[-p:] == bytes([p]) * p else None


# --- known answers ----------------------------------------------------------


def test_standard_example(sm4_path):
    key, plain = bytes.fromhex(STANDARD["key"]), bytes.fromhex(STANDARD["plaintext"])
    out = cipher(key, native.SM4_ENCRYPT).crypt_ecb(plain)
    assert out[:16].hex() == STANDARD["ciphertext"]
    assert cipher(key, native.SM4_DECRYPT).crypt_ecb(out) == plain


def test_one_million_encryptions(sm4_path):
    # CBC with a zero IV and zero blocks after the first encrypts the
    # previous ciphertext block again: block n is the n-fold encryption.
    key, plain = bytes.fromhex(STANDARD["key"]), bytes.fromhex(STANDARD["plaintext"])
    rounds = 1_000_000
    out = cipher(key, native.SM4_ENCRYPT).crypt_cbc(bytes(16), plain + bytes(16 * (rounds - 1)))
    assert out[16 * (rounds - 1) : 16 * rounds].hex() == STANDARD["ciphertext_after_1000000_encryptions"]


@pytest.mark.parametrize("record", OPENSSL_ECB + OPENSSL_CBC, ids=lambda r: f"{r['Cipher']}-{len(r['Plaintext'])}")
def test_openssl_vectors(sm4_path, record):
    key, plain, expected = record["Key"], record["Plaintext"], record["Ciphertext"]
    enc, dec = cipher(key, native.SM4_ENCRYPT), cipher(key, native.SM4_DECRYPT)
    if record["Cipher"] == "SM4-ECB":
        out = enc.crypt_ecb(plain)
        assert out[: len(expected)] == expected
        assert dec.crypt_ecb(out) == plain
    else:
        iv = record["IV"]
        out = enc.crypt_cbc(iv, plain)
        assert out[: len(expected)] == expected  # then one block of padding
        assert dec.crypt_cbc(iv, expected + out[len(expected) :]) == plain


@pytest.mark.parametrize("case", PADDING_CASES, ids=lambda c: f"tc{c['tcId']}-{c['result']}")
def test_gmssl_padding_vectors(sm4_path, case):
    key, iv = bytes.fromhex(case["key"]), bytes.fromhex(case["iv"])
    msg, ct = bytes.fromhex(case["msg"]), bytes.fromhex(case["ct"])
    dec = cipher(key, native.SM4_DECRYPT)
    if case["result"] == "valid":
        assert cipher(key, native.SM4_ENCRYPT).crypt_cbc(iv, msg) == ct
        assert dec.crypt_cbc(iv, ct) == msg
    else:
        with pytest.raises(ValueError):
            dec.crypt_cbc(iv, ct)


# --- cross-checks -------------------------------------------------------------


def test_matches_gmssl_and_openssl_at_every_length(sm4_path):
    rng = random.Random(11)
    for n in LENGTHS:
        key, iv, data = rng.randbytes(16), rng.randbytes(16), rng.randbytes(n)
        ct = cipher(key, native.SM4_ENCRYPT).crypt_cbc(iv, data)
        assert ct == openssl_raw(key, modes.CBC(iv), pkcs7(data)), n
        ecb = cipher(key, native.SM4_ENCRYPT).crypt_ecb(data)
        assert ecb == openssl_raw(key, modes.ECB(), pkcs7(data)), n
        if n <= 200:  # gmssl is slow
            assert ct == gmssl_cipher(key, gmssl_sm4.SM4_ENCRYPT).crypt_cbc(iv, data), n
            assert ecb == gmssl_cipher(key, gmssl_sm4.SM4_ENCRYPT).crypt_ecb(data), n
            assert gmssl_cipher(key, gmssl_sm4.SM4_DECRYPT).crypt_cbc(iv, ct) == data
        assert cipher(key, native.SM4_DECRYPT).crypt_cbc(iv, ct) == data
        assert cipher(key, native.SM4_DECRYPT).crypt_ecb(ecb) == data


@pytest.mark.parametrize("n", [0, 1, 15, 16, 17, 40])
def test_zero_padding(sm4_path, n):
    key = os.urandom(16)
    data = bytes(random.Random(n).randrange(1, 256) for _ in range(n))  # no trailing zero byte to lose
    ct = cipher(key, native.SM4_ENCRYPT, native.ZERO).crypt_ecb(data)
    assert ct == gmssl_cipher(key, gmssl_sm4.SM4_ENCRYPT, gmssl_sm4.ZERO).crypt_ecb(data)
    # gmssl strips only one zero byte here; all of the padding goes.
    assert cipher(key, native.SM4_DECRYPT, native.ZERO).crypt_ecb(ct) == data
    no_zero_end = cipher(key, native.SM4_ENCRYPT, native.PKCS7).crypt_ecb(b"x" * 15)  # ends in 0x01
    with pytest.raises(ValueError, match="padding"):
        cipher(key, native.SM4_DECRYPT, native.ZERO).crypt_ecb(no_zero_end)


def test_cbc_ignores_padding_mode_like_gmssl():
    key, iv = os.urandom(16), os.urandom(16)
    assert cipher(key, native.SM4_ENCRYPT, native.ZERO).crypt_cbc(iv, b"abc") == gmssl_cipher(
        key, gmssl_sm4.SM4_ENCRYPT, gmssl_sm4.ZERO
    ).crypt_cbc(iv, b"abc")


def strided(data):
    return memoryview(bytes(v for c in data for v in (c, 0)))[::2]


@pytest.mark.parametrize(
    "wrap", [bytes, bytearray, memoryview, strided], ids=["bytes", "bytearray", "memoryview", "strided"]
)
def test_buffer_inputs(wrap):
    key, iv, data = os.urandom(16), os.urandom(16), os.urandom(37)
    expected = cipher(key, native.SM4_ENCRYPT).crypt_cbc(iv, data)
    assert cipher(wrap(key), native.SM4_ENCRYPT).crypt_cbc(wrap(iv), wrap(data)) == expected
    assert cipher(key, native.SM4_DECRYPT).crypt_cbc(wrap(iv), wrap(expected)) == data


# --- failures ---------------------------------------------------------------


def test_wrong_key_fails_unless_the_padding_happens_to_be_valid(sm4_path):
    rng = random.Random(17)
    key, iv = rng.randbytes(16), rng.randbytes(16)
    message = b"attack at dawn, bring snacks"
    ct = cipher(key, native.SM4_ENCRYPT).crypt_cbc(iv, message)
    errors = 0
    for _ in range(300):
        wrong = rng.randbytes(16)
        raw = openssl_raw(wrong, modes.CBC(iv), ct, decrypt=True)
        pad = valid_pkcs7_length(raw)
        if pad is None:
            errors += 1
            with pytest.raises(ValueError, match="padding is not valid"):
                cipher(wrong, native.SM4_DECRYPT).crypt_cbc(iv, ct)
        else:
            assert cipher(wrong, native.SM4_DECRYPT).crypt_cbc(iv, ct) == raw[:-pad]
    assert errors > 250  # valid padding by chance is rare (about 1 in 256)


@pytest.mark.parametrize("damage", ["flip_last", "flip_first", "drop_last_block", "swap_blocks", "iv"])
def test_tampered_ciphertext(sm4_path, damage):
    rng = random.Random(damage)
    key, iv = rng.randbytes(16), rng.randbytes(16)
    ct = bytearray(cipher(key, native.SM4_ENCRYPT).crypt_cbc(iv, rng.randbytes(45)))
    for _ in range(40):
        t, v = bytearray(ct), bytearray(iv)
        position = rng.randrange(16)
        if damage == "flip_last":
            t[-16 + position] ^= 1 << rng.randrange(8)
        elif damage == "flip_first":
            t[position] ^= 1 << rng.randrange(8)
        elif damage == "drop_last_block":
            t = t[:-16]
        elif damage == "swap_blocks":
            t[-32:] = t[-16:] + t[-32:-16]
        else:
            v[position] ^= 0xFF
        raw = openssl_raw(key, modes.CBC(bytes(v)), bytes(t), decrypt=True)
        pad = valid_pkcs7_length(raw)
        if pad is None:
            with pytest.raises(ValueError):
                cipher(key, native.SM4_DECRYPT).crypt_cbc(bytes(v), bytes(t))
        else:
            assert cipher(key, native.SM4_DECRYPT).crypt_cbc(bytes(v), bytes(t)) == raw[:-pad]


@pytest.mark.parametrize("length", [0, 1, 15, 17, 31, 33])
def test_decryption_length_must_be_whole_blocks(length):
    dec = cipher(bytes(16), native.SM4_DECRYPT)
    with pytest.raises(ValueError, match="multiple of 16"):
        dec.crypt_cbc(bytes(16), bytes(length))
    with pytest.raises(ValueError, match="multiple of 16"):
        dec.crypt_ecb(bytes(length))


@pytest.mark.parametrize("length", [0, 1, 15, 17, 32])
def test_key_and_iv_must_be_16_bytes(length):
    with pytest.raises(ValueError, match="key must be 16 bytes"):
        native.CryptSM4().set_key(bytes(length), native.SM4_ENCRYPT)
    with pytest.raises(ValueError, match="iv must be 16 bytes"):
        cipher(bytes(16), native.SM4_ENCRYPT).crypt_cbc(bytes(length), b"data")


@pytest.mark.parametrize(
    "call", [lambda c: c.crypt_cbc(bytes(16), b"x"), lambda c: c.crypt_ecb(b"x")], ids=["cbc", "ecb"]
)
@pytest.mark.parametrize("mode", [native.SM4_ENCRYPT, native.SM4_DECRYPT])
def test_unkeyed_cipher_raises(call, mode):
    with pytest.raises(ValueError, match="no key set"):
        call(native.CryptSM4(mode))


@pytest.mark.parametrize(
    "args, error",
    [
        (("x" * 16, 0), TypeError),
        ((None, 0), TypeError),
        ((bytes(16), 2), ValueError),
        ((bytes(16), -1), ValueError),
        ((bytes(16), "0"), TypeError),
        ((bytes(16),), TypeError),
    ],
)
def test_set_key_rejects(args, error):
    with pytest.raises(error):
        native.CryptSM4().set_key(*args)


@pytest.mark.parametrize(
    "kwargs, error",
    [
        ({"mode": 2}, ValueError),
        ({"padding_mode": 2}, ValueError),
        ({"padding_mode": "PKCS7"}, TypeError),
        ({"other": 1}, TypeError),
    ],
)
def test_constructor_rejects(kwargs, error):
    with pytest.raises(error):
        native.CryptSM4(**kwargs)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: native.CryptSM4(2**64), "mode must be"),
        (lambda: native.CryptSM4(-(2**70)), "mode must be"),
        (lambda: native.CryptSM4(0, 2**64), "padding_mode must be"),
        (lambda: native.CryptSM4(padding_mode=-(2**64)), "padding_mode must be"),
        (lambda: native.CryptSM4().set_key(bytes(16), 2**64), "mode must be"),
    ],
    ids=["mode", "negative mode", "padding", "negative padding", "set_key mode"],
)
def test_integers_too_large_for_a_long_are_value_errors(call, message):
    # Issue 14: these were OverflowError, where ValueError is documented.
    with pytest.raises(ValueError, match=message):
        call()


@pytest.mark.parametrize("bad", ["text", 5, None, [1, 2]], ids=["str", "int", "None", "list"])
def test_data_must_be_bytes_like(bad):
    c = cipher(bytes(16), native.SM4_ENCRYPT)
    with pytest.raises(TypeError):
        c.crypt_cbc(bytes(16), bad)
    with pytest.raises(TypeError):
        c.crypt_ecb(bad)


# --- interface ----------------------------------------------------------------


def test_interface_matches_gmssl():
    for name in ("SM4_ENCRYPT", "SM4_DECRYPT", "PKCS7", "ZERO"):
        assert getattr(native, name) == getattr(gmssl_sm4, name)
    c = native.CryptSM4(native.SM4_DECRYPT, native.ZERO)
    assert (c.mode, c.padding_mode) == (native.SM4_DECRYPT, native.ZERO)
    c.set_key(key=bytes(16), mode=native.SM4_ENCRYPT)
    assert c.mode == native.SM4_ENCRYPT
    assert c.crypt_cbc(iv=bytes(16), input_data=b"a") == c.crypt_cbc(bytes(16), b"a")
    assert str(inspect.signature(native.CryptSM4)) == "(mode=0, padding_mode=0)"
    for method, sig in [
        ("set_key", "(key, mode)"),
        ("crypt_ecb", "(input_data, /)"),
        ("crypt_cbc", "(iv, input_data)"),
    ]:
        assert str(inspect.signature(getattr(c, method))) == sig
        assert getattr(native.CryptSM4, method).__doc__
    with pytest.raises(AttributeError):
        c.mode = 1
