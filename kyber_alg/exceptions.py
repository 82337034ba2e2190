"""Exceptions raised by the package's own API (``kyber_alg.sm2``, ``mlkem``, ``sm3``, ``sm4``, ``hybrid``).

Malformed input is reported with the built-in ``ValueError`` (or ``TypeError`` for a wrong type); the two
classes here report a failed integrity check, which callers usually handle apart from malformed input.
"""

from __future__ import annotations

__all__ = ["InvalidSignature", "InvalidTag"]


class InvalidSignature(Exception):
    """A signature did not verify: the signature, the data, the key or the user ID differs."""


class InvalidTag(Exception):
    """An authenticated decryption failed; no part of the plaintext is released."""
