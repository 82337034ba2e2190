#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.sm.SM2: decoding of public keys, private keys and ciphertexts.

    python fuzz/fuzz_sm2.py -max_total_time=60 [corpus_dir] [fuzz/seeds/sm2]

The input's length picks the code path (so the seeds keep their meaning); the first input byte
picks what the rest becomes: a public key for Encrypt, a ciphertext or a
damaged valid ciphertext for Decrypt, a private key, or hexadecimal text. Every call must either
return a result that checks out or raise ValueError/TypeError; anything else (a crash, another
exception, a wrong plaintext) is a finding.
"""

import sys

import atheris

with atheris.instrument_imports():
    from kyber_alg.sm import SM2

PUB, PRIV = SM2.generate_keypair(64)
PATHS = SM2._available_backends()
MESSAGE = b"fuzzing message: thirty-two byte"
VALID = SM2.Encrypt(MESSAGE, PUB, 64, 0)
P = 0xFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00000000FFFFFFFFFFFFFFFF
B = 0x28E9FA9E9D9F5E344D5A9E4BCF6509A7F39789F515AB8F92DDBCBD414D940E93


def on_curve(point: bytes) -> bool:
    x, y = int.from_bytes(point[:32], "big"), int.from_bytes(point[32:64], "big")
    return x < P and y < P and (y * y - x * x * x + 3 * x - B) % P == 0


@atheris.instrument_func
def public_key(data: bytes) -> None:
    try:
        c = SM2.Encrypt(MESSAGE, data, 64, 0)
    except ValueError:
        return
    assert len(data) == 64 and on_curve(data), data.hex()
    assert len(c) == 128 and on_curve(c[:64])


@atheris.instrument_func
def ciphertext(data: bytes, mode: str) -> None:
    try:
        m = SM2.Decrypt(data, PRIV, 64, mode=mode)
    except ValueError:
        return
    raise AssertionError(f"random ciphertext accepted: {data.hex()} -> {m.hex()}")


@atheris.instrument_func
def damaged(fdp: atheris.FuzzedDataProvider) -> None:
    c = bytearray(VALID)
    while fdp.remaining_bytes() >= 2:
        c[fdp.ConsumeIntInRange(0, len(c) - 1)] ^= fdp.ConsumeIntInRange(0, 255)
    try:
        m = SM2.Decrypt(bytes(c), PRIV, 64)
    except ValueError:
        assert bytes(c) != VALID
        return
    assert bytes(c) == VALID and m == MESSAGE


@atheris.instrument_func
def private_key(data: bytes) -> None:
    try:
        m = SM2.Decrypt(VALID, data, 64)
    except ValueError:
        return
    assert m == MESSAGE and data == PRIV


@atheris.instrument_func
def hex_text(text: str) -> None:
    for call in (
        lambda: SM2.Encrypt(text, text, 64, 1),
        lambda: SM2.Decrypt(text, PRIV, 64, 1),
        lambda: SM2.Encrypt(MESSAGE, text, 64, 0),
        lambda: SM2.Decrypt(VALID, text, 64),
    ):
        try:
            call()
        except (ValueError, TypeError):
            pass


@atheris.instrument_func
def test_one_input(data: bytes) -> None:
    SM2._set_backend(PATHS[len(data) % len(PATHS)])
    fdp = atheris.FuzzedDataProvider(data)
    choice = fdp.ConsumeIntInRange(0, 5)
    if choice == 0:
        public_key(fdp.ConsumeBytes(fdp.remaining_bytes()))
    elif choice == 1:
        ciphertext(fdp.ConsumeBytes(fdp.remaining_bytes()), "C1C3C2")
    elif choice == 2:
        ciphertext(fdp.ConsumeBytes(fdp.remaining_bytes()), "C1C2C3")
    elif choice == 3:
        damaged(fdp)
    elif choice == 4:
        private_key(fdp.ConsumeBytes(fdp.remaining_bytes()))
    else:
        hex_text(fdp.ConsumeUnicodeNoSurrogates(fdp.remaining_bytes()))


def main() -> None:
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
