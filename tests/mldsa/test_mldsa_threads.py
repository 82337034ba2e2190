"""Threads and processes: keys shared between threads; a bytearray that another thread keeps rewriting gives the
result of one whole input (each call reads its input once); a forked child never repeats its parent's
randomness."""

from __future__ import annotations

import os
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

import pytest
from mldsa_testlib import SETS, m_prime, set_params

THREADS = 4


@set_params
def test_one_key_shared_by_threads(dsa):
    sk = dsa.private.generate()
    pk = sk.public_key()

    def work(i):
        for n in range(20):
            message = bytes([i, n])
            pk.verify(sk.sign(message, b"thread"), message, b"thread")
            assert dsa.private.from_seed_bytes(sk.private_bytes_raw()).public_key() == pk

    with ThreadPoolExecutor(THREADS) as pool:
        for future in [pool.submit(work, i) for i in range(THREADS)]:
            future.result()


def flipping(a: bytes, b: bytes, calls):
    """calls(buffer) while another thread keeps rewriting buffer between a and b, with a 1 us switch interval."""
    buffer, stop = bytearray(a), threading.Event()

    def flip():
        while not stop.is_set():
            buffer[:] = b
            buffer[:] = a

    previous = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    flipper = threading.Thread(target=flip)
    flipper.start()
    try:
        return [calls(buffer) for _ in range(50)]
    finally:
        stop.set()
        flipper.join()
        sys.setswitchinterval(previous)


def test_inputs_changed_meanwhile_give_one_whole_input():
    dsa = SETS[0]
    sk = dsa.private.from_seed_bytes(bytes(32))
    pk = sk.public_key()
    messages = [m_prime(bytes(100)), m_prime(bytes(range(100)))]
    signatures = {sk._sign_internal(m, bytes(32)) for m in messages}
    assert set(flipping(*messages, lambda m: sk._sign_internal(m, bytes(32)))) <= signatures
    one = sk._sign_internal(messages[0], bytes(32))
    outcomes = flipping(*messages, lambda m: pk._verify_internal(one, m))
    assert all(isinstance(o, bool) for o in outcomes)
    expanded = [dsa.private.from_seed_bytes(s)._expanded_bytes() for s in (bytes(32), bytes(range(32)))]
    for key in flipping(*expanded, lambda e: dsa.private._from_expanded(e, None)):
        assert key._expanded_bytes() in expanded


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork()")
@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # fork() with threads alive elsewhere in the suite
def test_forked_child_draws_fresh_randomness():
    dsa = SETS[0]
    dsa.private.generate()  # the pool now holds bytes a child could repeat
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            os.write(write, dsa.private.generate().private_bytes_raw())
        finally:
            os._exit(0)
    os.close(write)
    child_seed = os.read(read, 32)
    os.close(read)
    os.waitpid(pid, 0)
    assert len(child_seed) == 32 and child_seed != dsa.private.generate().private_bytes_raw()
