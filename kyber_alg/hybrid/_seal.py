"""One-shot sealing: a message encrypted for the holder of an SM2-MLKEM768 key in one blob."""

from __future__ import annotations

import threading
from typing import TYPE_CHECKING, Final

from kyber_alg.exceptions import InvalidTag
from kyber_alg.hybrid._common import GCM_TAG_SIZE, KEM_CIPHERTEXT_SIZE, as_bytes, associated, required
from kyber_alg.hybrid._kem import SM2MLKEM768PrivateKey, SM2MLKEM768PublicKey
from kyber_alg.sm3 import hkdf_sm3
from kyber_alg.sm4 import SM4GCM

if TYPE_CHECKING:
    from typing_extensions import Buffer

SEAL_FORMAT: Final = 0x01
"""The first byte of a sealed blob."""
SEAL_OVERHEAD: Final = 1 + KEM_CIPHERTEXT_SIZE + GCM_TAG_SIZE  # 1170
"""What a sealed blob adds to its plaintext: format byte, KEM ciphertext and tag."""

_SEAL_LABEL = b"kyber_alg/seal/v1"
_BODY = 1 + KEM_CIPHERTEXT_SIZE  # where the SM4-GCM ciphertext starts

# A blob is built in a buffer and then copied into the bytes object returned. A fresh buffer each
# time would cost more than the copy: two large blocks alive at once make the allocator hand memory
# back to the system and take it again, about 1 ms of page faults per MiB. So each thread keeps one
# buffer for blobs up to _SCRATCH_LIMIT (it holds ciphertext only, nothing secret).
_SCRATCH_LIMIT = 4 << 20
_scratch = threading.local()


def _buffer(size: int) -> bytearray:
    if size > _SCRATCH_LIMIT:
        return bytearray(size)
    buffer: bytearray | None = getattr(_scratch, "buffer", None)
    if buffer is None or len(buffer) < size:
        buffer = _scratch.buffer = bytearray(max(size, 1 << 16))
    return buffer


def kem_secret(private_key: object, kem_ciphertext: bytes) -> bytes:
    """decapsulate for the openers: a malformed KEM ciphertext is one more kind of damage (InvalidTag)."""
    key = required(private_key, SM2MLKEM768PrivateKey, "private_key")
    try:
        return key.decapsulate(kem_ciphertext)
    except ValueError as e:
        raise InvalidTag(f"the KEM ciphertext is damaged: {e}") from None


def encapsulate_for(public_key: object) -> tuple[bytes, bytes]:
    return required(public_key, SM2MLKEM768PublicKey, "public_key").encapsulate()


def _seal_keys(shared_secret: bytes) -> tuple[SM4GCM, bytes]:
    okm = hkdf_sm3(shared_secret, b"", _SEAL_LABEL + bytes([SEAL_FORMAT]), 28)
    return SM4GCM(okm[:16]), okm[16:]


def seal(public_key: SM2MLKEM768PublicKey, plaintext: Buffer, associated_data: Buffer | None = b"") -> bytes:
    """Encrypt plaintext for the holder of public_key: one blob of len(plaintext) + 1170 bytes."""
    return seal_with(encapsulate_for(public_key), plaintext, associated_data)


def seal_with(encapsulation: tuple[bytes, bytes], plaintext: object, associated_data: object) -> bytes:
    """seal with the given KEM encapsulation (a fresh one from seal, a fixed one from kyber_alg._testing)."""
    shared_secret, kem_ciphertext = encapsulation
    body = as_bytes(plaintext, "plaintext")
    aead, nonce = _seal_keys(shared_secret)
    size = _BODY + len(body) + GCM_TAG_SIZE
    with memoryview(_buffer(size))[:size] as blob:
        blob[0] = SEAL_FORMAT
        blob[1:_BODY] = kem_ciphertext
        aead.encrypt_into(nonce, body, associated(associated_data), blob[_BODY:])  # straight behind the header
        return blob.tobytes()


def open(private_key: SM2MLKEM768PrivateKey, sealed: Buffer, associated_data: Buffer | None = b"") -> bytes:
    """The plaintext of a sealed blob; InvalidTag for any damage, a wrong key or wrong associated_data."""
    blob = as_bytes(sealed, "sealed")
    ad = associated(associated_data)
    if len(blob) < SEAL_OVERHEAD:
        raise InvalidTag(f"a sealed blob has at least {SEAL_OVERHEAD} bytes, got {len(blob)}")
    if blob[0] != SEAL_FORMAT:
        raise InvalidTag(f"not a sealed blob of this format (format byte {blob[0]:02x}, expected {SEAL_FORMAT:02x})")
    aead, nonce = _seal_keys(kem_secret(private_key, blob[1:_BODY]))
    # decrypt copies what it reads before it works: a view of the body spares one more copy.
    with memoryview(blob) as view:
        return aead.decrypt(nonce, view[_BODY:], ad)
