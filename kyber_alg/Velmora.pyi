"""Hybrid ML-KEM-512 + SM2 key exchange, SM3 key derivation and SM4-CBC text cipher.

A full exchange: the receiver makes ``pk, sk = key_gen_hybrid()`` and hands out
``pk``; the sender runs ``c_text1, c_text2, key, iv = enc_hybrid(pk)`` and
``sm4_encode(key, iv, message)``; the receiver recovers ``key, iv`` with
``dec_hybrid(c_text1, c_text2, sk)`` and reads the message with ``sm4_decode``.
Messages are encrypted but not authenticated (see the security notes, docs/security.md).
"""

import binascii as binascii
import os as os
import random as random
from collections.abc import Callable
from types import ModuleType
from typing import Protocol
from typing import Tuple as Tuple

from typing_extensions import Buffer

from kyber_alg import Kyber as Kyber

def key_gen_hybrid() -> tuple[str, str]:
    """Make a fresh hybrid key pair ``(pk, sk)``.

    ``pk`` is the ML-KEM-512 encapsulation key (1600 hex digits) followed by the
    SM2 public key (128 hex digits); ``sk`` is the ML-KEM-512 decapsulation key
    (3264 hex digits) followed by the SM2 private key (64 hex digits). Lower-case
    hex text. Raises ``OSError`` if the operating system's random source fails.
    """

def enc_hybrid(pk: str) -> tuple[bytes, bytes, str, str]:
    """Encapsulate a fresh SM4 key and IV to the hybrid public key ``pk``.

    Returns ``(c_text1, c_text2, sym_key, sym_iv)``: the ML-KEM ciphertext as
    1536 hex digits (``bytes``), the SM2 ciphertext as hex digits (``bytes``),
    and the SM4 key and IV as 32 hex digits each (``str``). Send ``c_text1`` and
    ``c_text2``; keep the key and IV for ``sm4_encode``.

    Only the shape of ``pk`` is checked. Raises ``TypeError`` if ``pk`` is not
    exactly ``str``; ``TypeError("pk error!")`` if it is far too short (its SM2
    part is not 64 bytes, or its ML-KEM part not 1600 digits);
    ``binascii.Error`` for a non-hex digit or an odd number of digits in the
    SM2 part; ``ValueError`` for a non-hex ML-KEM part, or one that is not a
    valid encapsulation key (which is also what a few digits too many or too
    few usually give).
    """

def dec_hybrid(c_text1: str | Buffer, c_text2: bytes | str, sk: str) -> tuple[str, str]:
    """Recover ``(sym_key, sym_iv)`` from the two ciphertexts with the hybrid secret key ``sk``.

    ``c_text1`` and ``c_text2`` are the first two values ``enc_hybrid`` returned.
    Nothing is checked beyond what the components check: a damaged ``c_text2``,
    a wrong ``sk`` or swapped ciphertexts fail SM2's integrity check, which
    surfaces as ``TypeError`` ("a bytes-like object is required, not
    'NoneType'"), while a damaged ``c_text1`` silently gives a different key and
    IV. Non-hex ``c_text2`` raises ``binascii.Error``; a secret key cut short
    raises ``ValueError``; ``sk`` that cannot be sliced raises ``TypeError``.
    """

def xor_hex_strings(hex_str1: str, hex_str2: str) -> str:
    """Bytewise XOR of two hex strings, as lower-case hex, as long as the shorter one.

    Raises ``TypeError`` unless both are exactly ``str``, and ``ValueError`` for
    text that is not hex (ASCII whitespace between digit pairs is skipped).
    """

def sm4_encode(key: str, IV: str | bytes, data: str) -> str:
    """Encrypt the text ``data`` with SM4-CBC (PKCS#7 padding) under the hex ``key`` and ``IV``.

    Returns the lower-case hex ciphertext. No integrity protection is added,
    and the same key, IV and text always give the same ciphertext: use each
    key and IV for one message. Raises ``AttributeError`` if ``key`` or
    ``data`` is not ``str``, ``binascii.Error`` for key or IV text that is not
    hex, ``IndexError`` if the key or IV is not 16 bytes, and
    ``UnicodeEncodeError`` for text with lone surrogates.
    """

def sm4_decode(key: str, IV: str | bytes, data: str) -> str:
    """Decrypt the hex ciphertext ``data`` with SM4-CBC under the hex ``key`` and ``IV``.

    Returns the message text. With a wrong key or IV, or a changed
    ciphertext, the default SM4 component usually returns ``''`` or other
    text without any error, and sometimes raises ``UnicodeDecodeError``.
    Raises ``ValueError`` if ``data`` is not hex, ``TypeError`` if it is not
    ``str``, ``IndexError`` if it is not whole 16-byte blocks, and
    ``binascii.Error`` for key or IV text that is not hex.
    """

# The outside components, bound when the module loads and looked up by name at
# each call, so rebinding one (e.g. in a test) changes what the next call uses.
# Their types state what this module needs of them.

class _SM3Hash(Protocol):
    def update(self, msg: bytes, /) -> object: ...
    def hexdigest(self) -> str: ...

generate_keypair: Callable[[int], tuple[bytes, bytes]]
"""SM2 key pair ``(public key, private key)`` for the given length parameter (64)."""
Encrypt: Callable[[bytes, bytes, int, int], bytes]
"""SM2 encryption ``(message, public key, 64, 0) -> ciphertext``."""
Decrypt: Callable[[bytes, bytes, int], bytes]
"""SM2 decryption ``(ciphertext, private key, 64) -> message``."""
SM3: Callable[[], _SM3Hash]
"""A fresh SM3 hash object."""
hash_msg: Callable[[bytes], str]
"""Imported with SM3 and not used."""
sm4: ModuleType
"""The SM4 module, from which ``CryptSM4``, ``SM4_ENCRYPT`` and ``SM4_DECRYPT`` are used."""
__test__: dict[str, object]
