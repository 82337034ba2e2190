"""SM4 (GB/T 32907-2016) modes of operation, native and constant-time.

Authenticated encryption, in the shape of ``cryptography``'s AEAD classes:

- :class:`SM4GCM` -- Galois/Counter Mode (NIST SP 800-38D, RFC 8998), 16-byte tags.
- :class:`SM4CCM` -- CCM (NIST SP 800-38C, RFC 3610, RFC 8998), tags of 4 to 16 bytes.

``encrypt(nonce, data, associated_data=None)`` returns the ciphertext followed by the tag;
``decrypt(nonce, data, associated_data=None)`` returns the plaintext or raises
:class:`kyber_alg.exceptions.InvalidTag` without releasing any of it.
``encrypt_into``/``decrypt_into(nonce, data, associated_data, buf)`` write the same into a writable
buffer of exactly the output's size and return that size, as cryptography's AEADs do.

Without integrity protection, for data that something else authenticates:

- :class:`SM4CTR` -- counter mode as a stream (``update()``, then ``finalize()``).
- :class:`SM4CBC` and :class:`SM4ECB` -- with PKCS#7, ISO/IEC 9797-1 method 2 or no padding.

Wrong key, nonce, IV or tag sizes raise ``ValueError`` naming the size; non-bytes arguments
raise ``TypeError``. The gmssl-compatible ``kyber_alg.sm.sm4`` is unchanged by this module.
"""

from __future__ import annotations

from typing import Final, Literal, TypeAlias

from kyber_alg._sm4 import SM4CBC, SM4CCM, SM4CTR, SM4ECB, SM4GCM

__all__ = ["SM4GCM", "SM4CCM", "SM4CTR", "SM4CBC", "SM4ECB", "Padding", "KEY_SIZE", "BLOCK_SIZE", "GCM_TAG_SIZE"]

#: The paddings of SM4CBC and SM4ECB: PKCS#7 (the default), ISO/IEC 9797-1 padding method 2
#: (0x80 then zeros), or none (whole blocks only).
Padding: TypeAlias = Literal["pkcs7", "iso9797-1-m2", "none"]
"""The paddings of :class:`SM4ECB` and :class:`SM4CBC`: PKCS#7, ISO/IEC 9797-1 method 2 (a 0x80 byte,
then zeros), or none (whole blocks only)."""

KEY_SIZE: Final = 16
"""Length of an SM4 key in bytes."""
BLOCK_SIZE: Final = 16
"""Length of an SM4 block in bytes (and of a CBC IV or a CTR counter block)."""
GCM_TAG_SIZE: Final = 16
"""Length of an SM4-GCM tag in bytes."""
