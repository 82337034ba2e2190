"""SM4 modes, native and constant-time (the implementation of kyber_alg.sm4)."""

from typing import Literal, Self, final

from typing_extensions import Buffer

_Padding = Literal["pkcs7", "iso9797-1-m2", "none"]

@final
class SM4GCM:
    """SM4-GCM (NIST SP 800-38D, RFC 8998) with a 16-byte key and 16-byte tags."""

    def __new__(cls, key: Buffer) -> Self: ...
    @staticmethod
    def generate_key(bit_length: int = 128) -> bytes:
        """A new random 16-byte key (bit_length must be 128)."""
    def encrypt(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None = None) -> bytes:
        """Ciphertext followed by the 16-byte tag; nonce of at least 1 byte (12 is usual)."""
    def decrypt(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None = None) -> bytes:
        """The plaintext if the tag verifies; otherwise raises kyber_alg.exceptions.InvalidTag."""
    def encrypt_into(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None, buf: Buffer) -> int:
        """encrypt() into buf (writable, len(data) + tag bytes, overlapping no input); the bytes written."""
    def decrypt_into(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None, buf: Buffer) -> int:
        """decrypt() into buf (writable, len(data) - tag bytes); the bytes written; buf zeroed on InvalidTag."""

@final
class SM4CCM:
    """SM4-CCM (NIST SP 800-38C, RFC 3610, RFC 8998) with a 16-byte key and tag_length-byte tags."""

    def __new__(cls, key: Buffer, tag_length: int = 16) -> Self: ...
    @staticmethod
    def generate_key(bit_length: int = 128) -> bytes:
        """A new random 16-byte key (bit_length must be 128)."""
    def encrypt(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None = None) -> bytes:
        """Ciphertext followed by the tag; nonce of 7 to 13 bytes."""
    def decrypt(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None = None) -> bytes:
        """The plaintext if the tag verifies; otherwise raises kyber_alg.exceptions.InvalidTag."""
    def encrypt_into(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None, buf: Buffer) -> int:
        """encrypt() into buf (writable, len(data) + tag bytes, overlapping no input); the bytes written."""
    def decrypt_into(self, nonce: Buffer, data: Buffer, associated_data: Buffer | None, buf: Buffer) -> int:
        """decrypt() into buf (writable, len(data) - tag bytes); the bytes written; buf zeroed on InvalidTag."""

@final
class SM4CTR:
    """SM4 counter mode as a stream, with a 16-byte key and a 16-byte initial counter block."""

    def __new__(cls, key: Buffer, nonce: Buffer) -> Self: ...
    def update(self, data: Buffer, /) -> bytes:
        """data XORed with the next len(data) bytes of keystream (encrypts and decrypts)."""
    def finalize(self) -> bytes:
        """Ends the stream: returns b'' and wipes the key schedule."""

@final
class SM4ECB:
    """SM4 in ECB mode (no integrity, equal blocks give equal ciphertext)."""

    def __new__(cls, key: Buffer) -> Self: ...
    def encrypt(self, data: Buffer, padding: _Padding = "pkcs7") -> bytes:
        """``data`` padded as ``padding`` says, then encrypted block by block."""
    def decrypt(self, data: Buffer, padding: _Padding = "pkcs7") -> bytes:
        """``data`` decrypted, its padding checked and removed (``ValueError`` if it is wrong)."""

@final
class SM4CBC:
    """SM4 in CBC mode (no integrity)."""

    def __new__(cls, key: Buffer) -> Self: ...
    def encrypt(self, iv: Buffer, data: Buffer, padding: _Padding = "pkcs7") -> bytes:
        """``data`` padded as ``padding`` says, then encrypted in CBC mode from the 16-byte ``iv``."""
    def decrypt(self, iv: Buffer, data: Buffer, padding: _Padding = "pkcs7") -> bytes:
        """``data`` decrypted in CBC mode, its padding checked in constant time and removed
        (``ValueError`` if it is wrong)."""

# Code path selection, for tests and benchmarks; every path gives identical results.
def _backend() -> str: ...
def _available_backends() -> tuple[str, ...]: ...
def _set_backend(name: str, /) -> None: ...
