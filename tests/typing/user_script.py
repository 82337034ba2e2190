"""What a user of the package writes, checked with mypy --strict and pyright in strict mode
(and run by the suite, so it stays a working program)."""
# pyright: strict

import os
from typing import assert_type

from kyber_alg import Kyber, Velmora


def exchange(message: str) -> str:
    pk, sk = Velmora.key_gen_hybrid()
    assert_type(pk, str)
    sent = Velmora.enc_hybrid(pk)
    assert_type(sent, tuple[bytes, bytes, str, str])
    c_text1, c_text2, key, iv = sent
    ciphertext = Velmora.sm4_encode(key, iv, message)
    received = Velmora.dec_hybrid(c_text1, c_text2, sk)
    assert_type(received, tuple[str, str])
    return Velmora.sm4_decode(received[0], received[1], ciphertext)


def kem_round_trip() -> bool:
    ek, dk = Kyber.CCA_KeyGen()
    assert_type(ek, bytes)
    c, shared = Kyber.CCA_Enc(ek.decode(), os.urandom(32))
    recovered: bytes = Kyber.CCA_Dec(c, dk)
    derand: tuple[bytes, bytes] = Kyber.CCA_KeyGen_derand(bytes(32), bytearray(32))
    return recovered == shared and len(derand[0]) == 1600 and Kyber.PARAMETER_SET == "ML-KEM-512"


def folded_key(hex_digest: str) -> str:
    return Velmora.xor_hex_strings(hex_digest[:32], hex_digest[32:])


if __name__ == "__main__":
    assert exchange("hello, 世界") == "hello, 世界"
    assert kem_round_trip()
    assert folded_key("00" * 16 + "ff" * 16) == "ff" * 16
    print("ok")
