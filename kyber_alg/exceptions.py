"""Exceptions raised by the package's own API (``kyber_alg.sm2``, ``mlkem``, ``sm3``, ``sm4``, ``hybrid``).

Malformed input is reported with the built-in ``ValueError`` (or ``TypeError`` for a wrong type); the two
classes here report a failed integrity check, which callers usually handle apart from malformed input.

When pyca/cryptography is installed, the two classes subclass its ``cryptography.exceptions.InvalidSignature``
and ``InvalidTag``, so code written for cryptography catches them as they are; cryptography stays optional
(without it, they subclass ``Exception`` directly).
"""

from __future__ import annotations

from typing import TYPE_CHECKING

__all__ = ["InvalidSignature", "InvalidTag"]

if TYPE_CHECKING:
    _SignatureBase = Exception
    _TagBase = Exception
else:
    try:
        from cryptography.exceptions import InvalidSignature as _SignatureBase
        from cryptography.exceptions import InvalidTag as _TagBase
    except ImportError:
        _SignatureBase = _TagBase = Exception


class InvalidSignature(_SignatureBase):
    """A signature did not verify: the signature, the data, the key or the user ID differs."""


class InvalidTag(_TagBase):
    """An authenticated decryption failed; no part of the plaintext is released."""
