"""Every bytes-like argument of Kyber accepts buffers that are not C-contiguous
(strided and reversed memoryviews): the result equals the one for plain bytes,
errors are the documented ones, and the buffer is released on both paths."""

from __future__ import annotations

import pytest

from kyber_alg import Kyber

D = bytes(range(32))
Z = bytes(range(32, 64))
M = bytes(range(64, 96))
EK, DK = Kyber.CCA_KeyGen_derand(D, Z)
C, K = Kyber.CCA_Enc(EK, M)


def every_other(data: bytes, owner=bytes) -> memoryview:
    """A view with stride 2 whose elements are `data` (the gaps hold 0xEE)."""
    spread = bytearray(b"\xee" * (2 * len(data)))
    spread[::2] = data
    return memoryview(owner(spread))[::2]


def reversed_view(data: bytes, owner=bytes) -> memoryview:
    """A view with stride -1 whose elements are `data`."""
    return memoryview(owner(data[::-1]))[::-1]


def third_of_offset(data: bytes, owner=bytes) -> memoryview:
    """A view starting one byte in, with stride 3."""
    spread = bytearray(b"\x55" * (3 * len(data) + 1))
    spread[1::3] = data
    return memoryview(owner(spread))[1::3]


LAYOUTS = [every_other, reversed_view, third_of_offset]

# (function, keyword arguments, the argument given a strided view, expected result)
ARGUMENTS = [
    (Kyber.CCA_KeyGen_derand, {"d": D, "z": Z}, "d", (EK, DK)),
    (Kyber.CCA_KeyGen_derand, {"d": D, "z": Z}, "z", (EK, DK)),
    (Kyber.CCA_Enc, {"pk": EK, "m": M}, "pk", (C, K)),
    (Kyber.CCA_Enc, {"pk": EK, "m": M}, "m", (C, K)),
    (Kyber.CCA_Dec, {"c": C, "dk": DK}, "c", K),
    (Kyber.CCA_Dec, {"c": C, "dk": DK}, "dk", K),
]
IDS = [f"{f.__name__}-{name}" for f, _, name, _ in ARGUMENTS]


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("function,kwargs,name,expected", ARGUMENTS, ids=IDS)
def test_strided_argument_gives_the_same_result(function, kwargs, name, expected, layout):
    view = layout(kwargs[name])
    assert not view.c_contiguous
    assert function(**dict(kwargs, **{name: view})) == expected
    # By position as well as by keyword.
    assert function(*dict(kwargs, **{name: view}).values()) == expected


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("function,kwargs,name,expected", ARGUMENTS, ids=IDS)
def test_strided_view_of_bytearray_is_released(function, kwargs, name, expected, layout):
    view = layout(kwargs[name], owner=bytearray)
    owner = view.obj
    assert function(**dict(kwargs, **{name: view})) == expected
    short = view[:-1]  # one element short: the documented ValueError
    with pytest.raises(ValueError, match=f"{name} must be"):
        function(**dict(kwargs, **{name: short}))
    view.release()
    short.release()
    owner.append(0)  # BufferError if the module still held an export


@pytest.mark.parametrize(
    "name,function,kwargs",
    [
        ("pk", Kyber.CCA_Enc, {"pk": EK, "m": M}),
        ("c", Kyber.CCA_Dec, {"c": C, "dk": DK}),
        ("dk", Kyber.CCA_Dec, {"c": C, "dk": DK}),
    ],
)
@pytest.mark.parametrize("layout", LAYOUTS)
def test_strided_hex_with_a_bad_digit_raises_value_error(name, function, kwargs, layout):
    damaged = bytearray(kwargs[name])
    damaged[len(damaged) // 2] = ord("g")
    with pytest.raises(ValueError, match=f"{name} contains a character that is not a hexadecimal digit"):
        function(**dict(kwargs, **{name: layout(bytes(damaged))}))


@pytest.mark.parametrize(
    "name,function,kwargs",
    [
        ("d", Kyber.CCA_KeyGen_derand, {"d": D, "z": Z}),
        ("m", Kyber.CCA_Enc, {"pk": EK, "m": M}),
    ],
)
def test_strided_seed_of_wrong_length_names_its_length(name, function, kwargs):
    with pytest.raises(ValueError, match=f"{name} must be 32 bytes long, got 33"):
        function(**dict(kwargs, **{name: every_other(kwargs[name] + b"\0")}))
