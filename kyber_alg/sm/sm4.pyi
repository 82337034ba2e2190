"""SM4 block cipher (GB/T 32907-2016), native and constant-time: a stand-in for gmssl.sm4."""

from typing import Final, Self, final

from typing_extensions import Buffer

SM4_ENCRYPT: Final = 0
"""The ``mode`` of ``set_key`` for encryption."""
SM4_DECRYPT: Final = 1
"""The ``mode`` of ``set_key`` for decryption."""
PKCS7: Final = 0
"""The ``padding_mode`` for PKCS#7 padding (the default)."""
ZERO: Final = 1
"""The ``padding_mode`` for zero padding, as gmssl has it."""

@final
class CryptSM4:
    """SM4 with gmssl.sm4.CryptSM4's interface. Call set_key() before crypt_ecb() or crypt_cbc()."""

    def __new__(cls, mode: int = 0, padding_mode: int = 0) -> Self: ...
    def set_key(self, key: Buffer, mode: int) -> None:
        """Key the cipher with a 16-byte key for SM4_ENCRYPT or SM4_DECRYPT (ValueError otherwise)."""
    def crypt_ecb(self, input_data: Buffer, /) -> bytes:
        """ECB with padding_mode's padding; decryption checks it (ValueError if invalid)."""
    def crypt_cbc(self, iv: Buffer, input_data: Buffer) -> bytes:
        """CBC with PKCS#7 padding and a 16-byte iv; decryption checks the padding in constant time."""
    @property
    def mode(self) -> int:
        """The direction set by the last ``set_key`` (``SM4_ENCRYPT`` or ``SM4_DECRYPT``)."""
    @property
    def padding_mode(self) -> int:
        """``PKCS7`` or ``ZERO``, the padding of ``crypt_ecb``."""

# Code path selection, for tests and benchmarks; every path gives identical results.
def _backend() -> str: ...
def _available_backends() -> tuple[str, ...]: ...
def _set_backend(name: str, /) -> None: ...
