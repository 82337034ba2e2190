"""SM2 public-key encryption (GB/T 32918.4) on sm2p256v1, native and constant time."""

from typing import Final, final

from _typeshed import structseq
from typing_extensions import Buffer

@final
class KeyPair(structseq[bytes], tuple[bytes, bytes]):
    """An SM2 key pair (publicKey, privateKey), both bytes."""

    __match_args__: Final = ("publicKey", "privateKey")
    @property
    def publicKey(self) -> bytes:
        """The 64-byte public key x || y."""
    @property
    def privateKey(self) -> bytes:
        """The 32-byte private key."""

def generate_keypair(len_param: int = 64) -> KeyPair:
    """Generate an SM2 key pair: 64-byte public key x || y, 32-byte private key in [1, n-2]."""

def Encrypt(
    M: str | Buffer,
    PA: str | Buffer,
    len_para: int,
    Hexstr: object = 0,
    encoding: str = "utf-8",
    hash_algorithm: str = "sm3",
    mode: str = "C1C3C2",
) -> bytes:
    """SM2-encrypt M to the public key PA; C1 || C3 || C2 (or C1 || C2 || C3)."""

def Decrypt(
    C: str | Buffer,
    DA: str | Buffer,
    len_para: int,
    Hexstr: object = 0,
    encoding: str = "utf-8",
    hash_algorithm: str = "sm3",
    mode: str = "C1C3C2",
) -> bytes:
    """SM2-decrypt C with the private key DA; ValueError naming the failed check."""

def _encrypt_with_nonce(M: Buffer, PA: str | Buffer, k: str | Buffer, mode: str = "C1C3C2") -> bytes:
    """For tests only: Encrypt with the given nonce k in [1, n-1]."""

def _public_key(DA: str | Buffer, /) -> bytes:
    """For tests only: the public key d*G of the private key DA."""

# Code path selection, for tests and benchmarks; every path gives identical results.
def _backend() -> str: ...
def _available_backends() -> tuple[str, ...]: ...
def _set_backend(name: str, /) -> None: ...
