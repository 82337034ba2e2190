"""kyber_alg.sm2 from several threads: every call that releases the GIL gives a result that belongs to one
consistent input even while another thread keeps rewriting the bytearray it was given, and keys shared by
threads keep working."""

from __future__ import annotations

import threading

import pytest
from shared_helpers import run_threads  # re-raises a worker's failure here

from kyber_alg import sm2
from kyber_alg.exceptions import InvalidSignature

KEY = sm2.SM2PrivateKey.generate()
PUB = KEY.public_key()
SIZE = 1 << 20  # long enough that the native work overlaps the writer


class Flipper:
    """A bytearray that a background thread rewrites between two contents of equal length."""

    def __init__(self, a: bytes, b: bytes):
        assert len(a) == len(b)
        self.a, self.b, self.buffer = a, b, bytearray(a)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run)

    def _run(self) -> None:
        while not self._stop.is_set():
            self.buffer[:] = self.b
            self.buffer[:] = self.a

    def __enter__(self) -> Flipper:
        self._thread.start()
        return self

    def __exit__(self, *exc: object) -> None:
        self._stop.set()
        self._thread.join()


def _one_of(check, *inputs) -> bool:
    ok = 0
    for value in inputs:
        try:
            check(value)
            ok += 1
        except (InvalidSignature, sm2.DecryptionError):
            pass
    return ok == 1


ROUNDS = 6


def test_sign_reads_one_consistent_message():
    with Flipper(b"a" * SIZE, b"b" * SIZE) as f:
        for _ in range(ROUNDS):
            sig = KEY.sign(f.buffer)
            assert _one_of(lambda m: PUB.verify(sig, m), f.a, f.b)


def test_verify_hands_the_native_code_a_copy():
    # A mixed read would only ever show as an invalid signature, which a valid message cannot be told
    # from; so what is checked is that the native hash gets an immutable copy of the bytearray.
    seen = []

    class Spy:
        def __init__(self, key):
            self.key = key

        def verify(self, z, data, raw):
            seen.append(type(data))
            return self.key.verify(z, data, raw)

        def __getattr__(self, name):
            return getattr(self.key, name)

    pub = sm2.SM2PublicKey.from_public_bytes(PUB.public_bytes_raw())
    pub._key = Spy(pub._key)
    sig_a = KEY.sign(b"a" * SIZE)
    with Flipper(b"a" * SIZE, b"b" * SIZE) as f:
        for _ in range(ROUNDS):
            try:
                pub.verify(sig_a, f.buffer)
            except InvalidSignature:
                pass
    assert seen == [bytes] * ROUNDS


@pytest.mark.parametrize("fmt", ["c1c3c2", "der"])
def test_encrypt_reads_one_consistent_message(fmt):
    with Flipper(b"a" * SIZE, b"b" * SIZE) as f:
        for _ in range(ROUNDS):
            assert KEY.decrypt(PUB.encrypt(f.buffer, fmt), fmt) in (f.a, f.b)


@pytest.mark.parametrize("fmt", ["c1c2c3", "der"])
def test_decrypt_reads_one_consistent_ciphertext(fmt):
    a = PUB.encrypt(b"a" * SIZE, fmt)
    b = PUB.encrypt(b"b" * SIZE, fmt)
    while len(b) != len(a):  # DER: a coordinate with a leading zero makes one shorter
        b = PUB.encrypt(b"b" * SIZE, fmt)
    with Flipper(a, b) as f:
        for _ in range(ROUNDS):
            assert KEY.decrypt(f.buffer, fmt) in (b"a" * SIZE, b"b" * SIZE)


def test_native_encrypt_and_decrypt_copy_their_buffers():
    a, b = PUB.encrypt(b"a" * SIZE), PUB.encrypt(b"b" * SIZE)
    with Flipper(a[97:], b[97:]) as c2, Flipper(a[65:97], b[65:97]) as c3:
        for _ in range(ROUNDS):
            try:  # C2 and C3 each from one of the two ciphertexts: all of a or b, or C3 mismatch
                assert KEY._key.decrypt(a[1:65], c3.buffer, c2.buffer) in (b"a" * SIZE,)
            except sm2.DecryptionError:
                pass
    with Flipper(b"a" * SIZE, b"b" * SIZE) as f:
        for _ in range(ROUNDS):
            assert KEY.decrypt(PUB._key.encrypt(f.buffer, False)) in (f.a, f.b)


def test_digests_are_read_once():
    da, db = bytes(32), bytes([0xFF]) * 32
    with Flipper(da, db) as f:
        for _ in range(200):
            sig = KEY.sign_digest(f.buffer)
            assert _one_of(lambda d: PUB.verify_digest(sig, d), da, db)
            try:
                PUB.verify_digest(KEY.sign_digest(da), f.buffer)
            except InvalidSignature:
                pass


def test_keys_shared_by_threads():
    peer = sm2.SM2PrivateKey.generate()
    ra, rb = sm2.SM2PrivateKey.generate(), sm2.SM2PrivateKey.generate()
    expected_shared = KEY.exchange(peer.public_key())
    expected_kex = sm2.key_exchange(KEY, ra, peer.public_key(), rb.public_key(), 32)

    def work(i: int) -> None:
        for n in range(15):
            message = b"thread %d round %d" % (i, n)
            PUB.verify(KEY.sign(message), message)
            assert KEY.decrypt(PUB.encrypt(message, "der"), "der") == message
            assert KEY.exchange(peer.public_key()) == expected_shared
            assert sm2.key_exchange(KEY, ra, peer.public_key(), rb.public_key(), 32) == expected_kex
            sm2.SM2PrivateKey.generate()

    run_threads(work)
