#!/usr/bin/env python3
"""Coverage-guided fuzzing of Velmora's text handling: hex parsing in
xor_hex_strings, sm4_encode and sm4_decode, the split and decoding of the
hybrid keys in enc_hybrid and dec_hybrid, and argument binding.  The outside
components are the tests' stand-ins, so every call is compared exactly with a
plain Python model of the documented steps (same result or same exception
type, and only documented types).

    python fuzz/fuzz_velmora.py [-max_total_time=N] [corpus dirs...]

Input layout: byte 0 picks the function (index into velmora_model.FUNCS),
byte 1 the form of each argument (2 bits each: Latin-1 str, UTF-8 str with
surrogateescape, bytes, str subclass; bit 7 passes them by keyword), the rest
holds the arguments separated by NUL bytes.
"""

import sys
from pathlib import Path

import atheris

sys.path[:0] = [str(Path(__file__).resolve().parents[1] / "tests" / d) for d in ("", "velmora")]

with atheris.instrument_imports():
    import outside_fakes  # noqa: F401  (instrumented: the stand-ins' code counts for coverage)
    import velmora_model

from kyber_alg import Velmora  # noqa: E402


class StrSubclass(str):
    pass


FORMS = [
    lambda b: b.decode("latin-1"),
    lambda b: b.decode("utf-8", "surrogateescape"),
    bytes,
    lambda b: StrSubclass(b.decode("latin-1")),
]


def test_one_input(data):
    if len(data) < 2:
        return
    name = velmora_model.FUNCS[data[0] % len(velmora_model.FUNCS)]
    form = data[1]
    parts = data[2:].split(b"\0") if len(data) > 2 else []
    args = tuple(FORMS[(form >> (2 * (i % 3))) % 4](part) for i, part in enumerate(parts[:4]))
    kwargs = {}
    names = velmora_model.PARAMETERS[name]
    if form & 0x80 and len(args) <= len(names):
        kwargs, args = dict(zip(names, args)), ()
    velmora_model.check(Velmora, name, args, kwargs)


def main():
    velmora_model.bind(Velmora)
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
