"""Every bad input to kyber_alg.sm.SM2 gets an exception that names the failed check; tampering is always caught."""

from __future__ import annotations

import secrets

import pytest
import sm2_reference as ref

from kyber_alg.sm import SM2, SM3

PUB, PRIV = SM2.generate_keypair(64)
MESSAGE = secrets.token_bytes(32)
CIPHERTEXT = SM2.Encrypt(MESSAGE, PUB, 64, 0)


def _off_curve_point() -> bytes:
    x, y = ref.decode(PUB)
    return ref.encode((x, (y + 1) % ref.P))


@pytest.mark.parametrize(
    ("public_key", "message"),
    [
        (bytes(64), "point at infinity"),
        (_off_curve_point(), "not a point on the SM2 curve"),
        (ref.encode((1, 1)), "not a point on the SM2 curve"),
        # x + p for a curve point's x: equal mod p, but not a canonical field element.
        (
            ref.encode((ref.point_with_small_x()[0] + ref.P, ref.point_with_small_x()[1])),
            "not a point on the SM2 curve",
        ),
        (PUB[:63], "must be 64 bytes"),
        (PUB + b"\x00", "must be 64 bytes"),
        ("ab" * 1664, "must be 64 bytes"),  # a Velmora-sized secret key passed as the public key
        ("zz" * 64, "hexadecimal"),
    ],
)
def test_encrypt_rejects_bad_public_keys(public_key, message):
    with pytest.raises(ValueError, match=message):
        SM2.Encrypt(MESSAGE, public_key, 64, 0)


@pytest.mark.parametrize(
    ("kwargs", "error", "message"),
    [
        ({"M": b""}, ValueError, "message is empty"),
        ({"M": "", "Hexstr": 1}, ValueError, "message is empty"),
        ({"M": "abc", "Hexstr": 1}, ValueError, "fromhex"),
        ({"M": 12}, TypeError, "M must be"),
        ({"PA": 12}, TypeError, "PA must be"),
        ({"len_para": 32}, ValueError, "len_para must be 64"),
        ({"len_para": "64"}, TypeError, "len_para must be int"),
        ({"hash_algorithm": "sha256"}, ValueError, "hash_algorithm must be 'sm3'"),
        ({"mode": "C2C1C3"}, ValueError, "mode must be"),
        ({"encoding": 5}, TypeError, "encoding must be str"),
        ({"M": "é", "encoding": "ascii"}, UnicodeEncodeError, "ascii"),
    ],
)
def test_encrypt_rejects_bad_arguments(kwargs, error, message):
    args = {"M": MESSAGE, "PA": PUB, "len_para": 64} | kwargs
    with pytest.raises(error, match=message):
        SM2.Encrypt(**args)


@pytest.mark.parametrize(
    ("private_key", "message"),
    [
        (bytes(32), r"outside \[1, n-2\]"),
        ((ref.N - 1).to_bytes(32, "big"), r"outside \[1, n-2\]"),
        (ref.N.to_bytes(32, "big"), r"outside \[1, n-2\]"),
        (b"\xff" * 32, r"outside \[1, n-2\]"),
        (PRIV[:31], "must be 32 bytes"),
        (PRIV + b"\x01", "must be 32 bytes"),
        ("00" * 31 + "01" + "00", "must be 32 bytes"),
    ],
)
def test_decrypt_rejects_bad_private_keys(private_key, message):
    with pytest.raises(ValueError, match=message):
        SM2.Decrypt(CIPHERTEXT, private_key, 64)


@pytest.mark.parametrize(
    ("ciphertext", "message"),
    [
        (b"", "too short"),
        (CIPHERTEXT[:96], "too short"),
        (bytes(64) + CIPHERTEXT[64:], "C1 is the point at infinity"),
        (_off_curve_point() + CIPHERTEXT[64:], "C1 is not a point on the SM2 curve"),
        # -C1 is on the curve but gives another shared point.
        (
            ref.encode((ref.decode(CIPHERTEXT)[0], ref.P - ref.decode(CIPHERTEXT)[1])) + CIPHERTEXT[64:],
            "C3 does not match",
        ),
        (CIPHERTEXT[:-1], "C3 does not match"),
        (CIPHERTEXT + b"\x00", "C3 does not match"),
    ],
)
def test_decrypt_rejects_bad_ciphertexts(ciphertext, message):
    with pytest.raises(ValueError, match=message):
        SM2.Decrypt(ciphertext, PRIV, 64)


@pytest.mark.parametrize("position", [0, 31, 32, 63, 64, 80, 95, 96, 110, 127])
@pytest.mark.parametrize("bit", [0, 7])
def test_tampering_with_any_part_is_detected(position, bit):
    damaged = bytearray(CIPHERTEXT)
    damaged[position] ^= 1 << bit
    part = "C1" if position < 64 else "C3" if position < 96 else "C2"
    expected = "C1 is not a point on the SM2 curve" if part == "C1" else "C3 does not match"
    with pytest.raises(ValueError, match=expected):
        SM2.Decrypt(bytes(damaged), PRIV, 64)


def _c1_whose_kdf_starts_with_zero() -> bytes:
    # C1 = [k]G gives the shared point [d]C1 = [dk]G; find one whose KDF output
    # starts with a zero byte, so that a one-byte C2 meets an all-zero KDF output.
    d = int.from_bytes(PRIV, "big")
    for k in range(1, 10_000):
        shared = SM2._public_key((d * k % ref.N).to_bytes(32, "big"))
        if SM3.SM3(shared + (1).to_bytes(4, "big")).digest()[0] == 0:
            return SM2._public_key(k.to_bytes(32, "big"))
    raise AssertionError("no such C1 in 10,000 tries")


def test_all_zero_kdf_output_and_c3_mismatch_read_alike():
    # Issue 14: a distinct message for the all-zero KDF output told whoever chose C1
    # one bit about the shared point.
    c1 = _c1_whose_kdf_starts_with_zero()
    with pytest.raises(ValueError) as kdf_zero:
        SM2.Decrypt(c1 + bytes(32) + b"\x5a", PRIV, 64)
    with pytest.raises(ValueError) as c3_mismatch:
        SM2.Decrypt(c1 + bytes(32) + b"\x5a\x5a", PRIV, 64)
    assert str(kdf_zero.value) == str(c3_mismatch.value)
    assert "C3 does not match" in str(kdf_zero.value)


def test_wrong_private_key_is_a_value_error_not_none():
    _, other = SM2.generate_keypair()
    with pytest.raises(ValueError, match="C3 does not match"):
        SM2.Decrypt(CIPHERTEXT, other, 64)


@pytest.mark.parametrize(
    ("call", "error", "message"),
    [
        (lambda: SM2.generate_keypair(32), ValueError, "len_param must be 64"),
        (lambda: SM2.generate_keypair(True), TypeError, "len_param must be int"),
        (lambda: SM2.Decrypt(CIPHERTEXT, PRIV, 64, mode="C3C1C2"), ValueError, "mode must be"),
        (lambda: SM2.Decrypt(CIPHERTEXT, PRIV, 64, hash_algorithm="md5"), ValueError, "hash_algorithm"),
        (lambda: SM2.Decrypt(12345, PRIV, 64), TypeError, "C must be"),
        (lambda: SM2.Decrypt(CIPHERTEXT, None, 64), TypeError, "DA must be"),
        (lambda: SM2._encrypt_with_nonce(MESSAGE, PUB, bytes(32)), ValueError, r"outside \[1, n-1\]"),
        (lambda: SM2._encrypt_with_nonce(MESSAGE, PUB, ref.N.to_bytes(32, "big")), ValueError, r"outside \[1, n-1\]"),
        (lambda: SM2._encrypt_with_nonce("text", PUB, b"\x01" * 32), TypeError, "bytes-like"),
    ],
)
def test_other_bad_calls(call, error, message):
    with pytest.raises(error, match=message):
        call()
