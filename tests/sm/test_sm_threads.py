"""Thread safety: separate objects (and SM2 calls) in several threads, and one object shared
by two threads (its lock keeps each call whole) on inputs large enough that
the GIL is released."""

import os
import threading
import time

import pytest
from cryptography.hazmat.primitives import hashes
from shared_helpers import run_threads

from kyber_alg.sm import SM2 as native_sm2
from kyber_alg.sm import SM3 as native_sm3
from kyber_alg.sm import sm4 as native_sm4

THREADS = 4


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


def test_sm2_in_threads(sm2_path):
    # The curve arithmetic runs without the GIL: each thread's results must match those computed here.
    keys = [native_sm2.generate_keypair(64) for _ in range(THREADS)]
    nonce = os.urandom(16).rjust(32, b"\0")
    expected = [native_sm2._encrypt_with_nonce(b"thread %d" % i, pub, nonce) for i, (pub, _) in enumerate(keys)]

    def work(i):
        pub, priv = keys[i]
        for _ in range(10):
            assert native_sm2._public_key(priv) == pub
            assert native_sm2._encrypt_with_nonce(b"thread %d" % i, pub, nonce) == expected[i]
            assert native_sm2.Decrypt(native_sm2.Encrypt(b"thread %d" % i, pub, 64), priv, 64) == b"thread %d" % i

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


@pytest.mark.parametrize("size", [100, 200_000])
def test_one_cipher_shared_by_threads_while_rekeyed(size):
    # Short inputs run with the GIL held on the object's own key schedule,
    # long ones without it on a copy: either way, one key per call.
    key_a, key_b, iv = os.urandom(16), os.urandom(16), os.urandom(16)
    data = os.urandom(size)
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


def _large_calls():
    data = os.urandom(48 << 20)
    enc, dec = native_sm4.CryptSM4(), native_sm4.CryptSM4()
    enc.set_key(bytes(16), native_sm4.SM4_ENCRYPT)
    dec.set_key(bytes(16), native_sm4.SM4_DECRYPT)
    ct, ecb_ct = enc.crypt_cbc(bytes(16), data), enc.crypt_ecb(data)
    h = native_sm3.SM3()
    return {
        "SM3.update": lambda: h.update(data),
        "SM3(data)": lambda: native_sm3.SM3(data),
        "hash_msg": lambda: native_sm3.hash_msg(data),
        "cbc encrypt": lambda: enc.crypt_cbc(bytes(16), data),
        "cbc decrypt": lambda: dec.crypt_cbc(bytes(16), ct),
        "ecb decrypt": lambda: dec.crypt_ecb(ecb_ct),
    }


@pytest.mark.parametrize("name", ["SM3.update", "SM3(data)", "hash_msg", "cbc encrypt", "cbc decrypt", "ecb decrypt"])
def test_large_calls_let_other_threads_run(name):
    # The worker notes the time just before and just after a call on 48 MiB;
    # this thread notes times while it runs. Had the call kept the GIL, this
    # thread could run only at the edges of that span (a switch interval of
    # 5 ms before the call starts and after it returns), never in its middle
    # half. (Not a speed check: one time in the middle shows the release.)
    call = _large_calls()[name]
    span, done, errors = [], threading.Event(), []

    def work():
        try:
            span.append(time.perf_counter())
            call()
            span.append(time.perf_counter())
        except Exception as e:
            errors.append(e)
        finally:
            done.set()

    seen = []
    worker = threading.Thread(target=work)
    worker.start()
    while not done.is_set():
        seen.append(time.perf_counter())
    worker.join()
    assert not errors and len(span) == 2
    quarter = (span[1] - span[0]) / 4
    if quarter < 0.015:
        pytest.skip(f"the call took only {4 * quarter * 1e3:.0f} ms: too short to tell the edges from the middle")
    assert any(span[0] + quarter < t < span[1] - quarter for t in seen)
