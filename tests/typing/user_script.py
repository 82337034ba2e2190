"""What a user of the package writes, checked with mypy --strict and pyright in strict mode
(and run by the suite, so it stays a working program)."""
# pyright: strict

import os
from typing import assert_type

from kyber_alg import Kyber, Velmora, mlkem
import kyber_alg.sm
from kyber_alg.sm import SM2, SM3, sm4


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


def native_sm(message: bytes) -> bool:
    h = SM3.SM3(message)
    h.update(bytearray(b"!"))
    digest: bytes = h.copy().digest()
    same = SM3.hash_msg(message + b"!") == h.hexdigest() == digest.hex()
    cipher = sm4.CryptSM4(sm4.SM4_ENCRYPT, padding_mode=sm4.PKCS7)
    cipher.set_key(bytes(16), sm4.SM4_ENCRYPT)
    ct = cipher.crypt_cbc(bytes(16), message)
    cipher.set_key(bytes(16), mode=sm4.SM4_DECRYPT)
    assert_type(cipher.crypt_cbc(iv=bytes(16), input_data=ct), bytes)
    return same and cipher.crypt_cbc(bytes(16), ct) == message and cipher.mode == sm4.SM4_DECRYPT


def native_sm2(message: bytes) -> bool:
    pair = SM2.generate_keypair(64)
    public_key, private_key = pair
    assert_type(pair.publicKey, bytes)
    ciphertext = SM2.Encrypt(message, public_key, 64, 0)
    assert_type(ciphertext, bytes)
    kyber_alg.sm.use_native()
    try:
        return SM2.Decrypt(ciphertext, private_key, 64) == message and exchange("native") == "native"
    finally:
        kyber_alg.sm.use_default()


def ml_kem_768(seed: bytes) -> bool:
    sk = mlkem.MLKEM768PrivateKey.from_seed_bytes(seed)
    pk = sk.public_key()
    assert_type(pk, mlkem.MLKEM768PublicKey)
    shared, ciphertext = pk.encapsulate()
    loaded = mlkem.load_pem_private_key(sk.private_bytes("pem"))
    assert_type(loaded, mlkem.MLKEMPrivateKey)
    public: mlkem.MLKEMPublicKey = mlkem.load_der_public_key(pk.public_bytes(encoding="der"))
    fresh = mlkem.MLKEM512PrivateKey.generate()
    assert_type(fresh, mlkem.MLKEM512PrivateKey)
    known: tuple[bytes, bytes] = mlkem.MLKEM1024PrivateKey.from_seed_bytes(seed).public_key()._encapsulate_deterministic(
        bytes(32))
    return (loaded.decapsulate(ciphertext) == sk.decapsulate(bytearray(ciphertext)) == shared
            and public == pk and sk.private_bytes_raw() == seed and len(known[1]) == 1568)


def folded_key(hex_digest: str) -> str:
    return Velmora.xor_hex_strings(hex_digest[:32], hex_digest[32:])


if __name__ == "__main__":
    assert exchange("hello, 世界") == "hello, 世界"
    assert kem_round_trip()
    assert native_sm(b"message")
    assert native_sm2(b"message")
    assert ml_kem_768(bytes(range(64)))
    assert folded_key("00" * 16 + "ff" * 16) == "ff" * 16
    print("ok")
