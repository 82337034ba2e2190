"""The sizes every part of kyber_alg.hybrid shares, and the checks of what callers pass in."""

from __future__ import annotations

from typing import Final, TypeVar

from kyber_alg.sm2 import SM2PublicKey

SM2_POINT_SIZE: Final = 65
"""An uncompressed curveSM2 point, 04 ‖ x ‖ y."""
MLKEM768_PUBLIC_KEY_SIZE: Final = 1184
"""An ML-KEM-768 encapsulation key."""
MLKEM768_CIPHERTEXT_SIZE: Final = 1088
"""An ML-KEM-768 ciphertext."""

# The TLS group and the KEM hold the same two parts in opposite orders, each as its model fixes it:
# the group's shares are draft-yang-tls-hybrid-sm2-mlkem's wire format, which puts the curveSM2 part
# first, and peers must read the bytes we send; the KEM is built after X-Wing, whose keys and
# ciphertexts put the ML-KEM part first. Neither can change without breaking its published format.
TLS_CLIENT_SHARE_SIZE: Final = SM2_POINT_SIZE + MLKEM768_PUBLIC_KEY_SIZE  # 1249: point ‖ ek
"""The client's key share of curveSM2MLKEM768."""
TLS_SERVER_SHARE_SIZE: Final = SM2_POINT_SIZE + MLKEM768_CIPHERTEXT_SIZE  # 1153: point ‖ ML-KEM ciphertext
"""The server's key share of curveSM2MLKEM768."""
TLS_SHARED_SECRET_SIZE: Final = 64
"""The shared secret of curveSM2MLKEM768: the ECDH x-coordinate, then the ML-KEM secret."""

KEM_PRIVATE_KEY_SIZE: Final = 32
"""An SM2-MLKEM768 private key: the seed both component keys are derived from."""
KEM_PUBLIC_KEY_SIZE: Final = MLKEM768_PUBLIC_KEY_SIZE + SM2_POINT_SIZE  # 1249: ek ‖ point
"""An SM2-MLKEM768 public key."""
KEM_CIPHERTEXT_SIZE: Final = MLKEM768_CIPHERTEXT_SIZE + SM2_POINT_SIZE  # 1153: ML-KEM ciphertext ‖ point
"""An SM2-MLKEM768 ciphertext."""
KEM_SHARED_SECRET_SIZE: Final = 32
"""The shared secret of the SM2-MLKEM768 KEM."""

GCM_TAG_SIZE: Final = 16
"""The SM4-GCM tag of a sealed blob and of each stream chunk."""

_T = TypeVar("_T")


def as_bytes(value: object, name: str) -> bytes:
    """One copy of a caller's bytes-like value, so that later reads cannot see it change."""
    if isinstance(value, bytes):
        return value
    if isinstance(value, bytearray):
        return bytes(value)
    if isinstance(value, memoryview):
        return value.tobytes()  # the raw bytes, whatever the view's format and strides
    raise TypeError(f"{name} must be bytes-like, not {type(value).__name__}")


def required(value: object, kind: type[_T], name: str) -> _T:
    if not isinstance(value, kind):
        raise TypeError(f"{name} must be an {kind.__name__}, not {type(value).__name__}")
    return value


def associated(value: object) -> bytes:
    return b"" if value is None else as_bytes(value, "associated_data")


def sm2_point(encoded: bytes, what: str) -> SM2PublicKey:
    """An uncompressed curveSM2 point (04 || x || y), checked to lie on the curve."""
    if encoded[0] != 0x04:
        raise ValueError(f"{what} must be an uncompressed curveSM2 point (first byte 04, got {encoded[0]:02x})")
    try:
        return SM2PublicKey.from_public_bytes(encoded)
    except ValueError as e:
        raise ValueError(f"{what} is not a valid curveSM2 point: {e}") from None


def check_length(data: bytes, size: int, what: str) -> None:
    if len(data) != size:
        raise ValueError(f"{what} must be {size} bytes, got {len(data)}")
