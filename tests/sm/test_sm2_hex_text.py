"""SM2's hexadecimal text arguments: read as bytes.fromhex() reads them, from str or any bytes-like object
(strided views too), with real errors let through."""

from __future__ import annotations

import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from kyber_alg.sm import SM2

PUB, PRIV = SM2.generate_keypair(64)


def strided(data: bytes) -> memoryview:
    """A non-contiguous view holding the same bytes as data."""
    return memoryview(bytes(x for ch in data for x in (ch, 0)))[::2]


@pytest.mark.parametrize("wrap", [bytes, bytearray, strided], ids=["bytes", "bytearray", "strided"])
def test_hex_text_in_any_bytes_like_object(wrap):
    # Issue 14: a strided view of valid digits was refused as "not a hexadecimal digit".
    c = SM2.Encrypt(wrap(b"00ff10"), PUB, 64, 1)
    assert SM2.Decrypt(c, PRIV, 64) == b"\x00\xff\x10"
    assert SM2.Decrypt(wrap(c.hex().encode()), PRIV, 64, 1) == b"\x00\xff\x10"
    assert SM2.Decrypt(c.hex(), PRIV.hex(), 64) == b"\x00\xff\x10"


def test_allocation_failure_is_a_memory_error():
    # Issue 14: a failed allocation while reading hex text was reported as a ValueError.
    testcapi = pytest.importorskip("_testcapi")
    c_text = SM2.Encrypt(b"message" * 1000, PUB, 64).hex().encode()  # long text: its first allocation is ours
    outcomes = set()
    for n in range(1, 30):
        testcapi.set_nomemory(n, n + 1)  # only the n-th allocation from here fails
        try:
            SM2.Decrypt(c_text, PRIV, 64, 1)
        except MemoryError:
            outcomes.add("MemoryError")
        except ValueError as e:
            outcomes.add(f"ValueError: {e}")
        else:
            outcomes.add("ok")
        finally:
            testcapi.remove_mem_hooks()
    assert outcomes == {"MemoryError", "ok"}


def _outcome(call):
    try:
        return call()
    except ValueError as e:
        position = re.search(r"position \(?(\d+)", str(e))
        return ValueError, position and int(position.group(1))


@settings(max_examples=150, deadline=None)
@given(st.text(alphabet="0123456789abcdefABCDEF \t\n\x0b\x0c\rgx\u00e9\u4e2d", max_size=12))
def test_agrees_with_bytes_fromhex(text):
    # The same bytes, or a ValueError at the same position, for str and for ASCII bytes.
    expected = _outcome(lambda: bytes.fromhex(text))
    if expected == b"":
        expected = (ValueError, None)  # SM2 refuses an empty message
    for given_text in (text, text.encode("utf-8")) if text.isascii() else (text,):
        got = _outcome(lambda: SM2.Decrypt(SM2.Encrypt(given_text, PUB, 64, 1), PRIV, 64))
        if isinstance(got, tuple) and got[1] is None:
            # An odd number of digits, or the empty message: no position to compare.
            assert isinstance(expected, tuple) and expected[1] in (None, len(text)), (text, got, expected)
        else:
            assert got == expected, (text, got, expected)


@pytest.mark.parametrize(
    ("text", "message"),
    [
        ("abc", "odd number of hexadecimal digits"),
        ("ab c", "odd number of hexadecimal digits"),
        ("a bc", r"not a hexadecimal digit \(position 1\)"),
        ("abzz", r"not a hexadecimal digit \(position 2\)"),
        ("ab\u00e9f", r"not a hexadecimal digit \(position 2\)"),
    ],
)
def test_errors_name_what_is_wrong(text, message):
    with pytest.raises(ValueError, match=message):
        SM2.Encrypt(text, PUB, 64, 1)
