"""kyber_alg.sm.SM2's surface: result types, signatures, round-trip properties, threads and reference leaks."""

from __future__ import annotations

import gc
import inspect
import sys
import threading

import pytest
import sm2_reference as ref
from hypothesis import given, settings
from hypothesis import strategies as st

from kyber_alg.sm import SM2

PUB, PRIV = SM2.generate_keypair(64)


def test_key_pair_unpacks_to_two_bytes_values_like_pysmx():
    pair = SM2.generate_keypair()
    public_key, private_key = pair
    assert (type(public_key), len(public_key), type(private_key), len(private_key)) == (bytes, 64, bytes, 32)
    assert (pair.publicKey, pair.privateKey) == (public_key, private_key)
    assert ref.on_curve(ref.decode(public_key)) and 1 <= int.from_bytes(private_key, "big") <= ref.N - 2
    assert ref.public_key(int.from_bytes(private_key, "big")) == public_key


def test_key_pairs_and_ciphertexts_are_fresh_each_call():
    assert len({SM2.generate_keypair().privateKey for _ in range(20)}) == 20
    assert len({SM2.Encrypt(b"same", PUB, 64, 0)[:64] for _ in range(20)}) == 20


@pytest.mark.parametrize(
    ("function", "parameters"),
    [
        (SM2.generate_keypair, ["len_param"]),
        (SM2.Encrypt, ["M", "PA", "len_para", "Hexstr", "encoding", "hash_algorithm", "mode"]),
        (SM2.Decrypt, ["C", "DA", "len_para", "Hexstr", "encoding", "hash_algorithm", "mode"]),
        (SM2._encrypt_with_nonce, ["M", "PA", "k", "mode"]),
        (SM2._public_key, ["DA"]),
    ],
)
def test_text_signatures(function, parameters):
    assert list(inspect.signature(function).parameters) == parameters
    assert function.__doc__


def test_a_point_with_small_x_is_accepted_in_canonical_form():
    point = ref.encode(ref.point_with_small_x())
    assert len(SM2.Encrypt(b"m", point, 64, 0)) == 97


@settings(max_examples=60, deadline=None)
@given(
    message=st.binary(min_size=1, max_size=300),
    mode=st.sampled_from(["C1C3C2", "C1C2C3"]),
    as_type=st.sampled_from([bytes, bytearray, memoryview]),
)
def test_round_trip_and_layout(message, mode, as_type):
    c = SM2.Encrypt(as_type(message), as_type(PUB), 64, 0, mode=mode)
    assert type(c) is bytes and len(c) == len(message) + 96
    assert ref.on_curve(ref.decode(c))
    assert SM2.Decrypt(as_type(c), as_type(PRIV), 64, mode=mode) == message
    other = "C1C2C3" if mode == "C1C3C2" else "C1C3C2"
    if len(message) != 32 or c[64:96] != c[96:]:
        with pytest.raises(ValueError, match="C3 does not match"):
            SM2.Decrypt(c, PRIV, 64, mode=other)


@settings(max_examples=30, deadline=None)
@given(text=st.text(min_size=1, max_size=50), encoding=st.sampled_from(["utf-8", "utf-16", "gb18030"]))
def test_str_messages_are_encoded(text, encoding):
    c = SM2.Encrypt(text, PUB, 64, 0, encoding=encoding)
    assert SM2.Decrypt(c, PRIV, 64) == text.encode(encoding)


def test_strided_buffers_are_read_as_their_bytes():
    wide = bytes(b for pair in zip(PUB, bytes(64)) for b in pair)
    c = SM2.Encrypt(memoryview(b"0a1b2c3d")[::2], memoryview(wide)[::2], 64, 0)
    assert SM2.Decrypt(c, PRIV, 64) == b"0123"


def test_large_message():
    message = bytes(range(256)) * 400
    c = SM2.Encrypt(message, PUB, 64, 0)
    assert SM2.Decrypt(c, PRIV, 64) == message


def test_threads_share_keys_and_get_right_results():
    pairs = [SM2.generate_keypair() for _ in range(4)]
    failures = []

    def work(index):
        pub, priv = pairs[index % len(pairs)]
        for i in range(40):
            message = bytes([index, i]) * 20
            try:
                if SM2.Decrypt(SM2.Encrypt(message, pub, 64, 0), priv, 64) != message:
                    failures.append((index, i))
                new_pub, new_priv = SM2.generate_keypair()
                if SM2._public_key(new_priv) != new_pub:
                    failures.append((index, i, "keygen"))
            except Exception as exc:
                failures.append(exc)

    threads = [threading.Thread(target=work, args=(n,)) for n in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


def _calls():
    c = SM2.Encrypt(b"leak check", PUB, 64, 0)
    SM2.Decrypt(c, PRIV, 64)
    SM2.Encrypt("text", PUB.hex(), 64, 0)
    SM2.Decrypt(c.hex(), PRIV.hex(), 64)
    SM2.generate_keypair(64)
    SM2._public_key(PRIV)
    for bad in (
        lambda: SM2.Decrypt(c[:-1], PRIV, 64),
        lambda: SM2.Decrypt(c, bytes(32), 64),
        lambda: SM2.Encrypt(b"x", bytes(64), 64, 0),
        lambda: SM2.Encrypt(b"x", PUB, 64, 0, mode="x"),
        lambda: SM2.Encrypt("zz", PUB, 64, 1),
        lambda: SM2.Decrypt(b"x" * 200, PRIV, 64),
        lambda: SM2.Encrypt(b"x", PUB, 63),
        lambda: SM2.Decrypt(None, PRIV, 64),
    ):
        try:
            bad()
        except (ValueError, TypeError):
            pass


def test_no_reference_leaks_on_success_and_error_paths():
    for _ in range(50):
        _calls()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(400):
        _calls()
    gc.collect()
    assert sys.getallocatedblocks() - before < 50
