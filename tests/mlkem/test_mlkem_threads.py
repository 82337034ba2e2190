"""Threads and processes: keys shared between threads; a bytearray that another thread keeps rewriting gives the
result of one whole input (each call reads its input once); a forked child never repeats its parent's
randomness."""

from __future__ import annotations

import os
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

import pytest
from mlkem_testlib import SETS, set_params

THREADS = 4


def run_threads(target):
    """target(i) in THREADS threads at once; the first exception of any of them is raised here."""
    with ThreadPoolExecutor(THREADS) as pool:
        for future in [pool.submit(target, i) for i in range(THREADS)]:
            future.result()


@set_params
def test_one_key_shared_by_threads(kem):
    sk = kem.private.generate()
    pk = sk.public_key()
    pairs = [pk.encapsulate() for _ in range(THREADS)]

    def work(i):
        for _ in range(50):
            shared, ct = pk.encapsulate()
            assert sk.decapsulate(ct) == shared
            assert sk.decapsulate(pairs[i][1]) == pairs[i][0]
            assert kem.private.from_seed_bytes(sk.private_bytes_raw()).public_key() == pk

    run_threads(work)


@pytest.fixture
def busy_switching():
    previous = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(previous)


def flipping(a: bytes, b: bytes, calls):
    """Calls calls(buffer) while another thread keeps rewriting buffer between a and b; returns the results."""
    buffer = bytearray(a)
    stop = threading.Event()

    def flip():
        while not stop.is_set():
            buffer[:] = b
            buffer[:] = a

    flipper = threading.Thread(target=flip)
    flipper.start()
    try:
        return [calls(buffer) for _ in range(200)]
    finally:
        stop.set()
        flipper.join()


@set_params
def test_inputs_changed_meanwhile_give_one_whole_input(kem, busy_switching):
    one, two = kem.private.from_seed_bytes(bytes(64)), kem.private.from_seed_bytes(bytes(range(64)))
    seeds = {one.private_bytes_raw(): one, two.private_bytes_raw(): two}
    for key in flipping(*seeds, kem.private.from_seed_bytes):
        assert key._expanded_bytes() in (one._expanded_bytes(), two._expanded_bytes())
    publics = [k.public_key().public_bytes_raw() for k in (one, two)]
    for pk in flipping(*publics, kem.public.from_public_bytes):
        assert pk.public_bytes_raw() in publics
    cts = [k.public_key().encapsulate()[1] for k in (one, two)]
    secrets = [one.decapsulate(c) for c in cts]
    assert set(flipping(*cts, one.decapsulate)) <= set(secrets)
    ms = [bytes(32), bytes(range(32))]
    results = [one.public_key()._encapsulate_deterministic(m) for m in ms]
    assert set(flipping(*ms, one.public_key()._encapsulate_deterministic)) <= set(results)
    expanded = [k._expanded_bytes() for k in (one, two)]
    for key in flipping(*expanded, lambda dk: kem.private._from_expanded(dk, None)):
        assert key._expanded_bytes() in expanded


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork()")
@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # fork() with threads alive elsewhere in the suite
def test_forked_child_draws_fresh_randomness():
    kem = SETS[0]
    kem.private.generate()  # the pool now holds bytes a child could repeat
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:  # child: report its next key and encapsulation randomness
        try:
            os.write(write, kem.private.generate().private_bytes_raw())
        finally:
            os._exit(0)
    os.close(write)
    child_seed = os.read(read, 64)
    os.close(read)
    os.waitpid(pid, 0)
    assert len(child_seed) == 64 and child_seed != kem.private.generate().private_bytes_raw()
