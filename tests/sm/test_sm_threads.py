"""Thread safety: separate objects in several threads, and one object shared
by two threads (its lock keeps each call whole) on inputs large enough that
the GIL is released."""
import os
import threading

import pytest
from cryptography.hazmat.primitives import hashes

from kyber_alg.sm import SM3 as native_sm3
from kyber_alg.sm import sm4 as native_sm4

THREADS = 4


def run_threads(target, count=THREADS):
    errors = []

    def guarded(i):
        try:
            target(i)
        except BaseException as e:  # reported in the main thread
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise errors[0]


def sm3_reference(data):
    h = hashes.Hash(hashes.SM3())
    h.update(data)
    return h.finalize()


@pytest.mark.parametrize("size", [100, 2048, 300_000])
def test_separate_hash_objects(sm3_path, size):
    inputs = [os.urandom(size) for _ in range(THREADS)]
    expected = [sm3_reference(d) for d in inputs]

    def work(i):
        for _ in range(20):
            assert native_sm3.SM3(inputs[i]).digest() == expected[i]
            assert native_sm3.hash_msg(inputs[i]) == expected[i].hex()

    run_threads(work)


@pytest.mark.parametrize("size", [100, 2048, 300_000])
def test_separate_ciphers(sm4_path, size):
    cases = [(os.urandom(16), os.urandom(16), os.urandom(size)) for _ in range(THREADS)]
    expected, expected_ecb = [], []
    for key, iv, data in cases:
        c = native_sm4.CryptSM4()
        c.set_key(key, native_sm4.SM4_ENCRYPT)
        expected.append(c.crypt_cbc(iv, data))
        expected_ecb.append(c.crypt_ecb(data))

    def work(i):
        key, iv, data = cases[i]
        enc, dec = native_sm4.CryptSM4(), native_sm4.CryptSM4()
        enc.set_key(key, native_sm4.SM4_ENCRYPT)
        dec.set_key(key, native_sm4.SM4_DECRYPT)
        for _ in range(10 if size < 100_000 else 2):
            assert enc.crypt_cbc(iv, data) == expected[i]
            assert dec.crypt_cbc(iv, expected[i]) == data
            assert enc.crypt_ecb(data) == expected_ecb[i]
            assert dec.crypt_ecb(expected_ecb[i]) == data

    run_threads(work)


def test_one_hash_object_shared_by_two_threads():
    # Both threads add the same chunk: any order of whole updates gives the
    # same message, a torn update would not.
    chunk = os.urandom(100_003)
    h = native_sm3.SM3()

    def work(_):
        for _ in range(30):
            h.update(chunk)
            h.digest()
            h.copy()

    run_threads(work, 2)
    assert h.digest() == sm3_reference(chunk * 60)


def test_one_cipher_shared_by_threads_while_rekeyed():
    key_a, key_b, iv = os.urandom(16), os.urandom(16), os.urandom(16)
    data = os.urandom(200_000)
    outputs = {}
    for key in (key_a, key_b):
        c = native_sm4.CryptSM4()
        c.set_key(key, native_sm4.SM4_ENCRYPT)
        outputs[key] = c.crypt_cbc(iv, data)
    shared = native_sm4.CryptSM4()
    shared.set_key(key_a, native_sm4.SM4_ENCRYPT)

    def work(i):
        for n in range(20):
            if i == 0:
                shared.set_key(key_b if n % 2 else key_a, native_sm4.SM4_ENCRYPT)
            else:
                # Each call runs under one key from start to end.
                assert shared.crypt_cbc(iv, data) in (outputs[key_a], outputs[key_b])

    run_threads(work, 3)
