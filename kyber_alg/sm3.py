"""SM3 (GB/T 32905-2016) as a hashlib-style hash, with the MAC and key derivation built on it.

- :func:`sm3` -- a hash object like ``hashlib.sha256()``'s (``update``, ``digest``, ``hexdigest``,
  ``copy``, ``name`` "sm3", ``digest_size`` 32, ``block_size`` 64); it also serves as the
  ``digestmod`` of the standard library's :mod:`hmac`.
- :func:`hmac_sm3` -- HMAC-SM3 in one native call.
- :class:`HMAC` -- an HMAC-SM3 object like ``hmac.new(key, msg, ...)``'s, keyed once: ``copy()`` it for each
  message under the same key and the key is not processed again.
- :func:`pbkdf2_hmac_sm3` -- PBKDF2 (RFC 8018) with HMAC-SM3.
- :func:`hkdf_sm3`, :func:`hkdf_sm3_extract`, :func:`hkdf_sm3_expand` -- HKDF (RFC 5869) with SM3.
- :func:`kdf` -- the key derivation function of GB/T 32918.4 (the one SM2 encryption uses).

Inputs are bytes-like objects (``str`` raises ``TypeError``); out-of-range lengths raise
``ValueError``. Long inputs are processed with the GIL released.
"""

from __future__ import annotations

from typing import Final

from kyber_alg._sm3 import HMAC, hkdf_sm3, hkdf_sm3_expand, hkdf_sm3_extract, hmac_sm3, kdf, pbkdf2_hmac_sm3
from kyber_alg._sm3 import sm3 as sm3
from kyber_alg.sm.SM3 import SM3 as SM3Hash

__all__ = [
    "sm3",
    "SM3Hash",
    "HMAC",
    "hmac_sm3",
    "pbkdf2_hmac_sm3",
    "hkdf_sm3",
    "hkdf_sm3_extract",
    "hkdf_sm3_expand",
    "kdf",
    "DIGEST_SIZE",
    "BLOCK_SIZE",
]

DIGEST_SIZE: Final = 32
"""Length of an SM3 digest in bytes."""
BLOCK_SIZE: Final = 64
"""Length of an SM3 message block in bytes (HMAC's block size)."""
