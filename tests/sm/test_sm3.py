"""kyber_alg.sm.SM3 against the standard's examples, pysmx, OpenSSL (through
cryptography) and hashlib's object behaviour."""

import hashlib
import inspect
import os
import random

import pytest
from cryptography.hazmat.primitives import hashes
from hypothesis import given, settings
from hypothesis import strategies as st
from pysmx import SM3 as pysmx_sm3
from sm_support import load_json

from kyber_alg.sm import SM3 as native

STANDARD = load_json("sm3_sm4_standard_examples.json")["sm3"]
LENGTHS = list(range(0, 200)) + [255, 256, 257, 1000, 2047, 2048, 2049, 65536 + 7]


def openssl_sm3(data):
    h = hashes.Hash(hashes.SM3())
    h.update(data)
    return h.finalize()


@pytest.mark.parametrize("example", STANDARD, ids=[e["name"] for e in STANDARD])
def test_standard_examples(sm3_path, example):
    message = bytes.fromhex(example["message_hex"])
    assert native.SM3(message).hexdigest() == example["digest"]
    assert native.hash_msg(message) == example["digest"]
    assert native.hash_msg(example["message_ascii"] if len(message) == 3 else message) == example["digest"]


def test_every_length_matches_openssl(sm3_path):
    rng = random.Random(3)
    for n in LENGTHS:
        data = rng.randbytes(n)
        assert native.SM3(data).digest() == openssl_sm3(data), n


def test_large_input_matches_openssl_and_pysmx(sm3_path):
    data = os.urandom(3 * 1024 * 1024 + 5)
    expected = openssl_sm3(data)
    assert native.SM3(data).digest() == expected
    # pysmx is slow: checked on a smaller slice.
    assert native.hash_msg(data[:20000]) == pysmx_sm3.hash_msg(data[:20000])


@pytest.mark.parametrize("n", [0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 500])
def test_matches_pysmx(n):
    data = random.Random(n).randbytes(n)
    h = pysmx_sm3.SM3()
    h.update(data)
    assert native.SM3(data).hexdigest() == h.hexdigest() == pysmx_sm3.hash_msg(data)


@pytest.mark.parametrize(
    "msg",
    [
        "",
        "abc",
        "中文字符 ünïcode",
        ["list", "of", "ints"],
        (1, 2, 255),
        bytearray(b"xyz"),
        memoryview(b"0123456789")[::3],
        range(256),
    ],
    ids=["empty", "ascii", "unicode", "list", "tuple", "bytearray", "strided", "range"],
)
def test_hash_msg_accepts_what_pysmx_accepts(msg):
    if isinstance(msg, list):
        msg = [ord(c[0]) for c in msg]
    expected = pysmx_sm3.hash_msg(
        list(msg) if isinstance(msg, (list, tuple, range)) else (bytes(msg) if isinstance(msg, memoryview) else msg)
    )
    assert native.hash_msg(msg) == expected


@pytest.mark.parametrize(
    "bad, error",
    [(5, TypeError), (None, TypeError), ([256], ValueError), ([-1], ValueError), ("\ud800", UnicodeEncodeError)],
)
def test_hash_msg_rejects(bad, error):
    with pytest.raises(error):
        native.hash_msg(bad)


@settings(max_examples=200, deadline=None)
@given(st.binary(max_size=600), st.lists(st.integers(0, 600), max_size=6))
def test_chunked_updates_equal_one_shot(data, cuts):
    h = native.SM3()
    start = 0
    for cut in sorted(cuts):
        h.update(data[start:cut])
        start = max(start, cut)
    h.update(data[start:])
    assert h.digest() == openssl_sm3(data)


def test_digest_does_not_reset_and_copy_is_independent():
    h = native.SM3(b"abc")
    first = h.digest()
    assert h.digest() == first  # unlike pysmx, digest() leaves the object as it was
    c = h.copy()
    h.update(b"def")
    assert c.digest() == first
    assert h.digest() == openssl_sm3(b"abcdef")
    c.update(b"xyz")
    assert c.digest() == openssl_sm3(b"abcxyz")


@pytest.mark.parametrize(
    "data",
    [b"abc", bytearray(b"abc"), memoryview(b"abc"), memoryview(b"aXbXc")[::2], memoryview(bytes(range(12))).cast("I")],
    ids=["bytes", "bytearray", "memoryview", "strided", "cast"],
)
def test_buffer_inputs(data):
    assert native.SM3(data).digest() == openssl_sm3(bytes(memoryview(data).tobytes()))


@pytest.mark.parametrize("n", [0, 63, 64, 65, 2047, 2048, 5000])
def test_every_way_of_calling_the_constructor_agrees(sm3_path, n):
    # SM3(...) goes through the type's vectorcall, SM3.__new__ through
    # argument parsing; inputs of 2 KiB and more are hashed without the GIL.
    data = random.Random(n).randbytes(n)
    expected = openssl_sm3(data)
    built = [
        native.SM3(data),
        native.SM3(msg=data),
        native.SM3(**{"msg": bytearray(data)}),
        native.SM3.__new__(native.SM3, data),
        native.SM3.__new__(native.SM3, msg=data),
    ]
    assert [h.digest() for h in built] == [expected] * len(built)
    assert native.SM3().digest() == native.SM3.__new__(native.SM3).digest() == openssl_sm3(b"")


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((b"a", b"b"), {}, TypeError, "at most 1 argument"),
        ((), {"data": b"a"}, TypeError, "data"),
        ((b"a",), {"msg": b"b"}, TypeError, r"SM3\(\)"),
        ((b"a",), {"other": b"b"}, TypeError, r"SM3\(\)"),
        (("abc",), {}, TypeError, "Strings must be encoded"),
        ((), {"msg": "abc"}, TypeError, "Strings must be encoded"),
        ((5,), {}, TypeError, "bytes-like"),
        ((), {"msg": None}, TypeError, "bytes-like"),
    ],
    ids=["two positional", "unknown keyword", "msg twice", "extra keyword", "str", "str keyword", "int", "None"],
)
def test_constructor_rejects(args, kwargs, error, message):
    for construct in (native.SM3, lambda *a, **k: native.SM3.__new__(native.SM3, *a, **k)):
        with pytest.raises(error, match=message):
            construct(*args, **kwargs)


@pytest.mark.parametrize("bad", ["abc", 1, None, [1, 2]], ids=["str", "int", "None", "list"])
def test_update_rejects_what_hashlib_rejects(bad):
    with pytest.raises(TypeError) as native_error:
        native.SM3().update(bad)
    with pytest.raises(TypeError) as hashlib_error:
        hashlib.sha256().update(bad)
    if isinstance(bad, str):
        assert str(native_error.value) == str(hashlib_error.value)


def test_attributes_and_signatures():
    h = native.SM3()
    assert (h.name, h.digest_size, h.block_size) == ("sm3", 32, 64)
    assert native.SM3Type is native.SM3
    assert str(inspect.signature(native.SM3)) == "(msg=b'')"
    assert str(inspect.signature(native.hash_msg)) == "(msg, /)"
    for method, sig in [("update", "(data, /)"), ("digest", "()"), ("hexdigest", "()"), ("copy", "()")]:
        assert str(inspect.signature(getattr(h, method))) == sig
        assert getattr(native.SM3, method).__doc__
    with pytest.raises(AttributeError):
        h.name = "x"
    with pytest.raises(TypeError):
        native.SM3(b"", b"")
