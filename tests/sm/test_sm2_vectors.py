"""kyber_alg.sm.SM2 against the standard's worked example and an independent reference at edge scalars,
on every code path (the `sm2_path` fixture)."""

from __future__ import annotations

import json
import secrets
from pathlib import Path

import pytest
import sm2_reference as ref

from kyber_alg.sm import SM2

VECTORS = Path(__file__).resolve().parents[1] / "vectors" / "sm" / "sm2_examples.json"
# The module implements the recommended curve only; the example-curve entry uses other parameters.
EXAMPLE = next(e for e in json.loads(VECTORS.read_text())["encryption"] if e["id"] == "recommended-curve-encryption")


def test_worked_example_public_key(sm2_path):
    d = bytes.fromhex(EXAMPLE["dB"])
    assert SM2._public_key(d).hex() == (EXAMPLE["derived_PB_x"] + EXAMPLE["derived_PB_y"]).lower()


@pytest.mark.parametrize("mode", ["C1C3C2", "C1C2C3"])
def test_worked_example_encryption_and_decryption(sm2_path, mode):
    pb = bytes.fromhex(EXAMPLE["derived_PB_x"] + EXAMPLE["derived_PB_y"])
    message = EXAMPLE["message_ascii"].encode()
    c1, c2, c3 = (bytes.fromhex(EXAMPLE[k]) for k in ("C1_x", "C2", "C3"))
    c1 += bytes.fromhex(EXAMPLE["C1_y"])
    expected = c1 + (c3 + c2 if mode == "C1C3C2" else c2 + c3)
    if mode == "C1C3C2":  # the collector's joined form, with the 04 point prefix
        assert expected == bytes.fromhex(EXAMPLE["derived_C1C3C2"])[1:]
    assert SM2._encrypt_with_nonce(message, pb, bytes.fromhex(EXAMPLE["k"]), mode=mode) == expected
    assert SM2.Decrypt(expected, bytes.fromhex(EXAMPLE["dB"]), 64, mode=mode) == message


def equal_row_sums_scalar() -> int:
    """The scalar for which k*G's two chains (rows 0, 2, ... and rows 1, 3, ... of signed odd 7-bit digits) end at
    equal points, so that their final addition doubles: the digits of n with every odd-row digit negated."""
    digits, k = [], ref.N
    for _ in range(36):
        digit = k % 256 - 128
        digits.append(digit)
        k = (k - digit) >> 7
    digits.append(k)
    return sum((-1) ** i * d * 128**i for i, d in enumerate(digits))


# Scalars around the window boundaries and the ends of [1, n-1]; n - 6 makes the last window's
# addition meet equal points in k*P, equal_row_sums_scalar() the last addition in k*G.
EDGE_SCALARS = [
    1,
    2,
    3,
    15,
    16,
    17,
    31,
    32,
    33,
    127,
    128,
    129,
    2**128,
    2**252,
    2**255 - 1,
    2**255,
    2**255 + 17,
    ref.N - 128,
    ref.N - 17,
    ref.N - 16,
    ref.N - 6,
    ref.N - 3,
    ref.N - 2,
    ref.N - 1,
    equal_row_sums_scalar(),
    ref.N - equal_row_sums_scalar(),
]


@pytest.mark.parametrize("k", EDGE_SCALARS + [secrets.randbelow(ref.N - 1) + 1 for _ in range(4)])
def test_encryption_with_given_nonce_matches_the_reference(sm2_path, k):
    d = secrets.randbelow(ref.N - 2) + 1
    pub = ref.public_key(d)
    message = secrets.token_bytes(45)
    c = SM2._encrypt_with_nonce(message, pub, k.to_bytes(32, "big"))
    assert c == ref.encrypt(message, pub, k)
    assert SM2.Decrypt(c, d.to_bytes(32, "big"), 64) == message


@pytest.mark.parametrize("d", [k for k in EDGE_SCALARS if k <= ref.N - 2])
def test_public_key_and_decryption_at_edge_private_keys(sm2_path, d):
    pub = SM2._public_key(d.to_bytes(32, "big"))
    assert pub == ref.public_key(d)
    message = b"edge private key"
    k = secrets.randbelow(ref.N - 1) + 1
    assert SM2.Decrypt(ref.encrypt(message, pub, k), d.to_bytes(32, "big"), 64) == message


def test_shared_point_equal_to_minus_three_c1_path(sm2_path):
    # Decryption with d = n - 6 computes (n-6)*C1 through the same complete last addition.
    d = ref.N - 6
    pub = ref.public_key(d)
    c = ref.encrypt(b"\x00" * 32, pub, 5)
    assert SM2.Decrypt(c, d.to_bytes(32, "big"), 64) == b"\x00" * 32


def test_every_code_path_computes_the_same_keys_and_ciphertexts():
    paths = SM2._available_backends()
    d = secrets.randbelow(ref.N - 2) + 1
    k = secrets.randbelow(ref.N - 1) + 1
    message = secrets.token_bytes(33)
    results = {}
    try:
        for path in paths:
            SM2._set_backend(path)
            pub = SM2._public_key(d.to_bytes(32, "big"))
            results[path] = (pub, SM2._encrypt_with_nonce(message, pub, k.to_bytes(32, "big")))
        # A random-nonce ciphertext from each path decrypts on every other one.
        for source in paths:
            SM2._set_backend(source)
            c = SM2.Encrypt(message, results[source][0], 64)
            for target in paths:
                SM2._set_backend(target)
                assert SM2.Decrypt(c, d.to_bytes(32, "big"), 64) == message
    finally:
        SM2._set_backend(paths[-1])
    assert set(results.values()) == {(ref.public_key(d), ref.encrypt(message, ref.public_key(d), k))}


def test_all_zero_kdf_output_is_refused_and_encrypt_draws_a_new_nonce():
    # For a one-byte message about one nonce in 256 makes the KDF output zero.
    d = 0x1234567
    pub = ref.public_key(d)
    k = 1
    while True:
        try:
            SM2._encrypt_with_nonce(b"\x5a", pub, k.to_bytes(32, "big"))
        except ValueError as exc:
            assert "KDF output is all zeros" in str(exc)
            break
        k += 1
    assert ref.kdf(ref.encode(ref.mul(k, ref.mul(d, ref.G))), 1) == b"\x00"
    # Decryption of a ciphertext with that C1 hits the same check.
    forged = ref.encode(ref.mul(k, ref.G)) + bytes(32) + b"\x5a"
    with pytest.raises(ValueError, match="KDF output is all zeros"):
        SM2.Decrypt(forged, d.to_bytes(32, "big"), 64)
    # Encrypt never fails this way: one-byte messages always come back (whatever nonce it drew).
    for _ in range(600):
        assert SM2.Decrypt(SM2.Encrypt(b"\x5a", pub, 64, 0), d.to_bytes(32, "big"), 64) == b"\x5a"
