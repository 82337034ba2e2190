"""Threads: separate objects in several threads, one SM4CTR shared by two (each update() whole),
and every call that drops the GIL given a bytearray that another thread keeps changing: the
result must be that of one consistent input (each input read once, or copied first)."""

import itertools
import os
import threading

import pytest
from shared_helpers import run_threads

from kyber_alg import sm3, sm4
from kyber_alg.exceptions import InvalidTag

BIG = 64 * 1024  # well above the size from which the GIL is released
MID = 4096  # above it, for the code paths that take longer
KEY, NONCE = bytes(range(16)), bytes(range(12))


def test_separate_objects(sm4_modes_path):
    cases = [(os.urandom(16), os.urandom(MID + i)) for i in range(4)]
    expected = [
        (sm4.SM4GCM(k).encrypt(NONCE, d, b"ad"), sm4.SM4CTR(k, bytes(16)).update(d), sm3.hmac_sm3(k, d))
        for k, d in cases
    ]

    def work(i):
        key, data = cases[i]
        for _ in range(3):
            sealed = sm4.SM4GCM(key).encrypt(NONCE, data, b"ad")
            assert (sealed, sm4.SM4CTR(key, bytes(16)).update(data), sm3.hmac_sm3(key, data)) == expected[i]
            assert sm4.SM4CCM(key).decrypt(NONCE, sm4.SM4CCM(key).encrypt(NONCE, data), None) == data

    run_threads(work)


def test_shared_hmac_object_keeps_each_update_whole():
    parts = [bytes([i]) * BIG for i in range(4)]
    shared = sm3.HMAC(b"key")
    run_threads(lambda i: shared.update(parts[i]))
    # Each update went in whole, in some order of the four threads.
    expected = {sm3.hmac_sm3(b"key", b"".join(parts[j] for j in order)) for order in itertools.permutations(range(4))}
    assert shared.digest() in expected and shared.copy().digest() == shared.digest()


def test_shared_ctr_stream_keeps_each_update_whole(sm4_modes_path):
    rounds = 6
    keystream = sm4.SM4CTR(KEY, bytes(16)).update(bytes(2 * rounds * MID))
    shared = sm4.SM4CTR(KEY, bytes(16))
    outputs = []

    def work(_):
        for _ in range(rounds):
            outputs.append(shared.update(bytes(MID)))

    run_threads(work, 2)
    pieces = sorted(keystream.index(piece) for piece in outputs)
    assert pieces == [k * MID for k in range(2 * rounds)]


class Toggler:
    """Flips one byte of a bytearray back and forth in another thread: any single read of the
    buffer sees one of exactly two contents."""

    def __init__(self, buffer, index):
        self.buffer, self.index, self.stop = buffer, index, threading.Event()
        self.thread = threading.Thread(target=self._run)

    def _run(self):
        while not self.stop.is_set():
            self.buffer[self.index] ^= 0x01

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


def both_contents(buffer, index):
    other = bytearray(buffer)
    other[index] ^= 0x01
    return bytes(buffer), bytes(other)


def check_single_read(make_input, call, index, repeats=20):
    """call(buffer) while a byte toggles must give call(X) or call(Y), or raise what those raise."""
    buffer = bytearray(make_input())
    expected = set()
    for content in both_contents(buffer, index):
        try:
            expected.add(call(content))
        except InvalidTag:
            expected.add(InvalidTag)
    with Toggler(buffer, index):
        for _ in range(repeats):
            try:
                got = call(buffer)
            except InvalidTag:
                got = InvalidTag
            assert got in expected


GCM, CCM = sm4.SM4GCM(KEY), sm4.SM4CCM(KEY, tag_length=12)
SEALED_GCM = GCM.encrypt(NONCE, os.urandom(BIG), b"ad")
SEALED_CCM = CCM.encrypt(NONCE, os.urandom(BIG), b"ad")
CBC = sm4.SM4CBC(KEY)
RAW_CBC = CBC.encrypt(bytes(16), os.urandom(BIG), "none")


def into(call, nonce, data, ad, size):
    out = bytearray(size)
    call(nonce, data, ad, out)
    return bytes(out)


CALLS = {
    "gcm encrypt data": (lambda: os.urandom(BIG), lambda b: GCM.encrypt(NONCE, b, b"ad"), BIG // 2),
    "gcm encrypt ad": (lambda: os.urandom(BIG), lambda b: GCM.encrypt(NONCE, b"m" * 100, b), BIG - 1),
    "gcm decrypt data": (lambda: SEALED_GCM, lambda b: GCM.decrypt(NONCE, b, b"ad"), BIG - 3),
    "gcm decrypt tag": (lambda: SEALED_GCM, lambda b: GCM.decrypt(NONCE, b, b"ad"), BIG + 5),
    "gcm encrypt_into data": (
        lambda: os.urandom(BIG),
        lambda b: into(GCM.encrypt_into, NONCE, b, b"ad", BIG + 16),
        BIG // 2,
    ),
    "gcm decrypt_into data": (lambda: SEALED_GCM, lambda b: into(GCM.decrypt_into, NONCE, b, b"ad", BIG), BIG - 3),
    "ccm decrypt_into data": (lambda: SEALED_CCM, lambda b: into(CCM.decrypt_into, NONCE, b, b"ad", BIG), 17),
    "gcm long nonce": (lambda: os.urandom(BIG), lambda b: GCM.encrypt(b, bytes(BIG), None), 100),
    "gcm nonce": (lambda: NONCE, lambda b: GCM.encrypt(b, bytes(BIG), None), 5),
    "ccm encrypt data": (lambda: os.urandom(BIG), lambda b: CCM.encrypt(NONCE, b, None), BIG // 2),
    "ccm encrypt ad": (lambda: os.urandom(BIG), lambda b: CCM.encrypt(NONCE, b"m" * 100, b), BIG - 1),
    # Issue 22: the MAC and the counter each read the caller's nonce.
    "ccm encrypt nonce": (lambda: NONCE, lambda b: CCM.encrypt(b, bytes(BIG), None), 5),
    "ccm decrypt nonce": (lambda: NONCE, lambda b: CCM.decrypt(b, SEALED_CCM, b"ad"), 5),
    "ccm decrypt data": (lambda: SEALED_CCM, lambda b: CCM.decrypt(NONCE, b, b"ad"), 17),
    "ctr update": (lambda: os.urandom(BIG), lambda b: sm4.SM4CTR(KEY, bytes(16)).update(b), 7),
    "cbc encrypt": (lambda: os.urandom(BIG), lambda b: CBC.encrypt(bytes(16), b), BIG - 16),
    "cbc decrypt": (lambda: RAW_CBC, lambda b: CBC.decrypt(bytes(16), b, "none"), 40),
    "cbc iv": (lambda: bytes(16), lambda b: CBC.encrypt(b, bytes(BIG)), 3),
    "ecb decrypt": (lambda: RAW_CBC, lambda b: sm4.SM4ECB(KEY).decrypt(b, "none"), BIG // 3),
    "hmac msg": (lambda: os.urandom(BIG), lambda b: sm3.hmac_sm3(b"key", b), BIG // 2),
    "hmac key": (lambda: os.urandom(BIG), lambda b: sm3.hmac_sm3(b, b"msg"), 3),
    "hmac object": (lambda: os.urandom(BIG), lambda b: sm3.HMAC(b"key", b).digest(), BIG // 2),
    "hmac object update": (lambda: os.urandom(BIG), lambda b: _keyed_update(b), BIG // 2),
    "pbkdf2 salt": (lambda: os.urandom(64), lambda b: sm3.pbkdf2_hmac_sm3(b"pw", b, 300, 96), 10),
    "pbkdf2 password": (lambda: os.urandom(100), lambda b: sm3.pbkdf2_hmac_sm3(b, b"salt", 300, 96), 90),
    "hkdf salt": (lambda: os.urandom(BIG), lambda b: sm3.hkdf_sm3_extract(b, b"ikm"), BIG // 2),
    "hkdf ikm": (lambda: os.urandom(BIG), lambda b: sm3.hkdf_sm3_extract(b"salt", b), BIG // 2),
    "hkdf info": (lambda: os.urandom(MID), lambda b: sm3.hkdf_sm3(b"ikm", None, b, 8000), 5),
    "hkdf expand info": (lambda: os.urandom(300), lambda b: sm3.hkdf_sm3_expand(bytes(32), b, 8000), 5),
    "kdf z": (lambda: os.urandom(BIG), lambda b: sm3.kdf(b, 4000), BIG - 1),
}


def _keyed_update(data):
    mac = KEYED.copy()
    mac.update(data)
    return mac.digest()


KEYED = sm3.HMAC(b"key")


@pytest.mark.parametrize("name", sorted(CALLS))
def test_mutating_bytearray_gives_one_consistent_input(name):
    make, call, index = CALLS[name]
    check_single_read(make, call, index)
