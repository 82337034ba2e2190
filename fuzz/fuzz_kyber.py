#!/usr/bin/env python3
"""Coverage-guided fuzzing of Kyber's argument parsing and key/ciphertext
decoding (hex text in every accepted form, the modulus and hash checks,
implicit rejection), checked against kyber-py and the documented rules.

    python fuzz/fuzz_kyber.py [-max_total_time=N] [corpus dirs...]

Input layout: byte 0 picks the function (0 CCA_Enc, 1 CCA_Dec,
2 CCA_KeyGen_derand), byte 1 the form of each argument, the rest the
arguments: CCA_Enc m (32 bytes) then pk; CCA_Dec c (1536 characters) then
dk; CCA_KeyGen_derand d (32 bytes) then z.
"""

import sys
from pathlib import Path

import atheris

sys.path[:0] = [str(Path(__file__).resolve().parents[1] / "tests" / d) for d in ("", "kyber")]

with atheris.instrument_imports():
    import kyber_model
    from kyber_py.ml_kem import ML_KEM_512

from kyber_alg import Kyber  # noqa: E402


class StrSubclass(str):
    pass


def strided(data):
    spread = bytearray(2 * len(data))
    spread[::2] = data
    return memoryview(bytes(spread))[::2]


# Forms of a hex argument: the text's bytes as given, or turned into str
# (Latin-1 gives one character per byte, non-ASCII included; UTF-8 with
# surrogateescape gives lone surrogates for invalid bytes).
HEX_FORMS = [
    bytes,
    lambda b: b.decode("latin-1"),
    bytearray,
    strided,
    lambda b: b.decode("utf-8", "surrogateescape"),
    lambda b: StrSubclass(b.decode("latin-1")),
    memoryview,
    lambda b: b.decode("latin-1").upper(),
]
RAW_FORMS = [bytes, bytearray, strided, memoryview]


def test_one_input(data):
    if len(data) < 2:
        return
    op, form, payload = data[0] % 3, data[1], data[2:]
    if op == 0:
        name, args = "CCA_Enc", (HEX_FORMS[form % 8](payload[32:]), RAW_FORMS[(form >> 3) % 4](payload[:32]))
    elif op == 1:
        name, args = "CCA_Dec", (HEX_FORMS[form % 8](payload[:1536]), HEX_FORMS[(form >> 3) % 8](payload[1536:]))
    else:
        name, args = "CCA_KeyGen_derand", (RAW_FORMS[form % 4](payload[:32]), RAW_FORMS[(form >> 2) % 4](payload[32:]))
    try:
        read = kyber_model.checked_arguments(name, args)
    except kyber_model.Broken as broken:
        try:
            getattr(Kyber, name)(*args)
        except broken.types:
            return
        raise AssertionError(f"{name} accepted arguments that break a rule ({broken.types})") from None
    got = getattr(Kyber, name)(*args)
    if name == "CCA_Enc":
        k_ref, c_ref = ML_KEM_512._encaps_internal(read[0], read[1])
        assert got == (c_ref.hex().encode(), k_ref), "CCA_Enc differs from kyber-py"
    elif name == "CCA_Dec":
        assert got == ML_KEM_512._decaps_internal(read[1], read[0]), "CCA_Dec differs from kyber-py"
    else:
        ek, dk = ML_KEM_512._keygen_internal(read[0], read[1])
        assert got == (ek.hex().encode(), dk.hex().encode()), "CCA_KeyGen_derand differs from kyber-py"


def main():
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
