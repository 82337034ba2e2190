"""Hybrid ML-KEM-512 + SM2 key exchange, SM3 key derivation and SM4-CBC text cipher."""

from typing import Any, Tuple

def key_gen_hybrid() -> Tuple[str, str]:
    """(public key, secret key): Kyber key text followed by the SM2 key in hex."""

def enc_hybrid(pk: str) -> Tuple[Any, bytes, str, str]:
    """(c_text1, c_text2, sym_key, sym_iv) for the hybrid public key ``pk``."""

def dec_hybrid(c_text1: Any, c_text2: bytes | str, sk: str) -> Tuple[str, str]:
    """(sym_key, IV) recovered with the hybrid secret key ``sk``."""

def xor_hex_strings(hex_str1: str, hex_str2: str) -> str:
    """Bytewise XOR of two hex strings, lower-case hex, as long as the shorter."""

def sm4_encode(key: str, IV: str | bytes, data: str) -> str:
    """SM4-CBC encryption of the text ``data``; lower-case hex ciphertext."""

def sm4_decode(key: str, IV: str | bytes, data: str) -> str: ...

os: Any
Kyber: Any
random: Any
Tuple: Any
binascii: Any
generate_keypair: Any
Encrypt: Any
Decrypt: Any
SM3: Any
hash_msg: Any
sm4: Any
