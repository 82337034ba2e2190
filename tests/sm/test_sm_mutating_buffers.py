"""Every SM2, SM3 and SM4 call that releases the GIL, given a bytearray that another thread keeps changing.

Such a call must read each caller buffer once (docs/development.md, "Native calls that release the GIL"):
its result must then match one state of the buffer. The other thread flips a few chosen bytes (so every
state the buffer can be in is known) or, for SM2 encryption, sweeps over all of them (the ciphertext must
still decrypt).
"""

from __future__ import annotations

import contextlib
import itertools
import os
import sys
import threading

import pytest
from cryptography.hazmat.primitives import hashes

from kyber_alg.sm import SM2, SM3, sm4

SIZE = 1 << 20  # far above the size from which the calls drop the GIL
CALLS = 4


@contextlib.contextmanager
def changing(buffer: bytearray, positions: list[int] | None = None):
    """While the block runs, another thread flips bit 0 of buffer[p] for p in positions (all bytes if None)."""
    stop = threading.Event()

    def flip():
        if positions is None:
            i = 0
            while not stop.is_set():
                buffer[i % len(buffer)] ^= 1
                i += 1
        else:
            while not stop.is_set():
                for p in positions:
                    buffer[p] ^= 1

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    thread = threading.Thread(target=flip)
    thread.start()
    try:
        yield
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(interval)


def states(original: bytes, positions: list[int]) -> list[bytes]:
    """Every content the buffer can have while only bit 0 of the bytes at `positions` flips."""
    out = []
    for flips in itertools.product((0, 1), repeat=len(positions)):
        b = bytearray(original)
        for p, f in zip(positions, flips):
            b[p] ^= f
        out.append(bytes(b))
    return out


def sm3_digest(data: bytes) -> bytes:
    h = hashes.Hash(hashes.SM3())
    h.update(data)
    return h.finalize()


PUB, PRIV = SM2.generate_keypair(64)


@pytest.mark.parametrize("mode", ["C1C3C2", "C1C2C3"])
@pytest.mark.parametrize("nonce", [None, (7).to_bytes(32, "big")])
def test_sm2_encrypt_reads_the_message_once(mode, nonce):
    # Issue 14: C2 was copied from M and C3 hashed from M again, so a changing M
    # gave a ciphertext whose C3 did not match its C2.
    message = bytearray(os.urandom(200_000))
    with changing(message):
        for _ in range(CALLS):
            c = (
                SM2.Encrypt(message, PUB, 64, mode=mode)
                if nonce is None
                else SM2._encrypt_with_nonce(message, PUB, nonce, mode)
            )
            assert len(SM2.Decrypt(c, PRIV, 64, mode=mode)) == len(message)


def test_sm2_decrypt_reads_the_ciphertext_once():
    # Flips in C1, C3 and C2: each state either decrypts to the message (the original
    # one) or fails the integrity check; never another message.
    message = os.urandom(SIZE)
    original = SM2.Encrypt(message, PUB, 64)
    positions = [3, 70, 200, len(original) - 1]
    ciphertext = bytearray(original)
    with changing(ciphertext, positions):
        for _ in range(CALLS):
            try:
                assert SM2.Decrypt(ciphertext, PRIV, 64) == message
            except ValueError as e:
                assert "C3 does not match" in str(e) or "C1 is not a point" in str(e), e


@pytest.mark.parametrize("call", ["Decrypt", "_public_key"])
def test_sm2_private_key_is_copied_before_the_gil_is_released(call):
    other = PRIV[:31] + bytes([PRIV[31] ^ 1])
    key = bytearray(PRIV)
    c = SM2.Encrypt(b"m" * 3000, PUB, 64)
    expected = {SM2._public_key(PRIV), SM2._public_key(other)}
    with changing(key, [31]):
        for _ in range(20):
            if call == "_public_key":
                assert SM2._public_key(key) in expected
            else:
                with contextlib.suppress(ValueError):  # the flipped key fails the check
                    assert SM2.Decrypt(c, key, 64) == b"m" * 3000


SM3_CALLS = {
    "SM3(msg)": lambda data: SM3.SM3(data).digest(),
    "SM3.update": lambda data: (lambda h: (h.update(data), h.digest())[1])(SM3.SM3()),
    "hash_msg": lambda data: bytes.fromhex(SM3.hash_msg(data)),
}


@pytest.mark.parametrize("name", sorted(SM3_CALLS))
def test_sm3_digest_matches_one_state_of_the_message(sm3_path, name):
    original = os.urandom(SIZE)
    positions = [0, SIZE // 2 + 5, SIZE - 1]
    allowed = {sm3_digest(s) for s in states(original, positions)}
    data = bytearray(original)
    with changing(data, positions):
        for _ in range(CALLS):
            assert SM3_CALLS[name](data) in allowed


def _ciphers(key: bytes):
    enc, dec = sm4.CryptSM4(), sm4.CryptSM4()
    enc.set_key(key, sm4.SM4_ENCRYPT)
    dec.set_key(key, sm4.SM4_DECRYPT)
    return enc, dec


@pytest.mark.parametrize("chaining", ["ecb", "cbc"])
@pytest.mark.parametrize("direction", ["encrypt", "decrypt"])
def test_sm4_output_matches_one_state_of_the_input(sm4_path, chaining, direction):
    # CBC decryption reads each ciphertext block twice (as ciphertext and as the next
    # block's chaining value); the call must decrypt from one copy of each.
    key, iv = os.urandom(16), os.urandom(16)
    enc, dec = _ciphers(key)
    size = SIZE if sm4_path != "portable" else SIZE // 16  # the portable path is slow
    plain = os.urandom(size)

    def run(cipher, data):
        return cipher.crypt_ecb(data) if chaining == "ecb" else cipher.crypt_cbc(iv, data)

    cipher = enc if direction == "encrypt" else dec
    original = plain if direction == "encrypt" else run(enc, plain)
    # Away from the last two blocks, so that every state keeps valid padding.
    positions = [1, 16 * 1000 + 2, size // 2 + 7]
    allowed = {run(_ciphers(key)[direction == "decrypt"], s) for s in states(original, positions)}
    data = bytearray(original)
    with changing(data, positions):
        for _ in range(CALLS):
            assert run(cipher, data) in allowed
