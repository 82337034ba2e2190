"""Hypothesis strategies for adversarial arguments, shared by the property tests."""

import array

from hypothesis import strategies as st

HEX_DIGITS = "0123456789abcdefABCDEF"


class StrSubclass(str):
    """A str subclass: the exact-str checks must refuse it, str readers accept it."""


class BytesSubclass(bytes):
    pass


# Text that looks almost like hex: digits from other scripts, full-width digits,
# whitespace between pairs, NUL, and characters just outside the hex ranges.
NEAR_HEX = [
    "\u0663\u0664",
    "\uff10\uff11",
    "0a 0b",
    " 0a\t0b\n",
    "0a\x000b",
    "/0",
    ":0",
    "@0",
    "G0",
    "`0",
    "g0",
    "0x",
    "\u00e9\u00e9",
    "\U0001f600",
]


def hex_text(max_size=80):
    return st.text(alphabet=HEX_DIGITS, max_size=max_size)


def texts(max_size=80):
    """Any text a caller could pass: hex of any length (odd included), arbitrary
    Unicode, lone surrogates, near-hex, empty and huge strings."""
    return st.one_of(
        hex_text(max_size),
        st.text(max_size=max_size),
        st.text(alphabet=st.characters(categories=["Cs"]), min_size=1, max_size=3),
        st.builds(lambda a, s, b: a + s + b, hex_text(8), st.sampled_from(["\ud800", "\udfff", "\udc80"]), hex_text(8)),
        st.sampled_from(NEAR_HEX),
        st.builds(lambda unit, n: unit * n, st.sampled_from(["ab", "f", "0 ", "\u00e9"]), st.integers(5_000, 20_000)),
    )


def byte_strings(max_size=80):
    return st.one_of(st.binary(max_size=max_size), hex_text(max_size).map(str.encode))


def buffers(data):
    """The same bytes as bytes, bytearray, a bytes subclass, a memoryview, a
    strided memoryview and an array of unsigned shorts (when the length allows)."""

    def strided(b):
        spread = bytearray(2 * len(b))
        spread[::2] = b
        return memoryview(bytes(spread))[::2]

    forms = [bytes, bytearray, BytesSubclass, memoryview, strided]
    if len(data) % 2 == 0:
        forms.append(lambda b: array.array("H", b))
    return st.sampled_from(forms).map(lambda form: form(data))


def others():
    """Values of types no function takes as text."""
    return st.one_of(
        st.none(),
        st.integers(),
        st.floats(allow_nan=False),
        st.lists(st.integers(), max_size=3),
        st.just(object()),
        st.just(type),
        st.complex_numbers(allow_nan=False, allow_infinity=False),
    )


def anything(max_size=80):
    return st.one_of(
        texts(max_size), texts(max_size).map(StrSubclass), byte_strings(max_size).flatmap(buffers), others()
    )


def mutated_text(original):
    """`original` (text) damaged: a character replaced, cut, extended, or its case
    changed; sometimes left intact."""
    n = len(original)
    return st.one_of(
        st.just(original),
        st.builds(
            lambda i, c: original[:i] + c + original[i + 1 :],
            st.integers(0, max(n - 1, 0)),
            st.sampled_from(list(HEX_DIGITS) + ["g", " ", "\u00e9", "\ud800", "\x00"]),
        ),
        st.integers(0, n).map(lambda i: original[:i]),
        st.text(alphabet=HEX_DIGITS, min_size=1, max_size=3).map(lambda s: original + s),
        st.just(original.upper()),
    )
