"""The TLS 1.3 hybrid group curveSM2MLKEM768 (draft-yang-tls-hybrid-sm2-mlkem): the client and the
server side of one key exchange."""

from __future__ import annotations

from collections.abc import Callable
from typing import TYPE_CHECKING

from kyber_alg.hybrid._common import (
    SM2_POINT_SIZE,
    TLS_CLIENT_SHARE_SIZE,
    TLS_SERVER_SHARE_SIZE,
    as_bytes,
    check_length,
    sm2_point,
)
from kyber_alg.mlkem import MLKEM768PrivateKey, MLKEM768PublicKey
from kyber_alg.sm2 import SM2PrivateKey

if TYPE_CHECKING:
    from typing_extensions import Buffer

CURVE_SM2_MLKEM768 = 4590
"""The TLS NamedGroup codepoint of curveSM2MLKEM768 (0x11EE)."""


class CurveSM2MLKEM768Client:
    """The client side of one curveSM2MLKEM768 key exchange, with fresh ephemeral keys.

    ``finish`` succeeds once: the ephemeral keys are dropped (and wiped) after it, and a later call
    raises ValueError (a client object is one handshake).
    """

    __slots__ = ("_keys", "_key_share")
    _keys: list[tuple[SM2PrivateKey, MLKEM768PrivateKey]]  # the ephemeral keys until finish() takes them
    _key_share: bytes

    def __init__(self) -> None:
        start_client(self, SM2PrivateKey.generate(), MLKEM768PrivateKey.generate())

    @property
    def key_share(self) -> bytes:
        """The 1249-byte client key share: the curveSM2 point (65) then the ML-KEM-768 encapsulation key."""
        return self._key_share

    def finish(self, server_share: Buffer) -> bytes:
        """The 64-byte shared secret from the server's 1153-byte share: ECDH x-coordinate, then ML-KEM secret.

        ValueError for a malformed share (the client stays usable), or when called after a finish.
        """
        if not self._keys:
            raise _finished()
        share = as_bytes(server_share, "server_share")
        check_length(share, TLS_SERVER_SHARE_SIZE, "a curveSM2MLKEM768 server share")
        point = sm2_point(share[:SM2_POINT_SIZE], "the server share's curveSM2 part")
        try:
            # list.pop is atomic: of two threads finishing at once, one gets the keys.
            sm2_key, mlkem_key = self._keys.pop()
        except IndexError:
            raise _finished() from None
        # The keys are used once and then dropped: their native objects wipe the secrets when freed.
        return sm2_key.exchange(point) + mlkem_key.decapsulate(share[SM2_POINT_SIZE:])

    def __repr__(self) -> str:
        return "<CurveSM2MLKEM768Client>"


def _finished() -> ValueError:
    return ValueError("this CurveSM2MLKEM768Client has finished its handshake; make one client per handshake")


def start_client(client: CurveSM2MLKEM768Client, sm2_key: SM2PrivateKey, mlkem_key: MLKEM768PrivateKey) -> None:
    """Gives a client its ephemeral keys (fresh ones from __init__, given ones from kyber_alg._testing)."""
    client._keys = [(sm2_key, mlkem_key)]
    client._key_share = sm2_key.public_key().public_bytes_raw() + mlkem_key.public_key().public_bytes_raw()


def curve_sm2_mlkem768_server(client_share: Buffer) -> tuple[bytes, bytes]:
    """The server side: ``(server_share, shared_secret)``, 1153 and 64 bytes, for a 1249-byte client share."""
    return serve(client_share, SM2PrivateKey.generate, MLKEM768PublicKey.encapsulate)


def serve(
    client_share: object,
    ephemeral: Callable[[], SM2PrivateKey],
    encapsulate: Callable[[MLKEM768PublicKey], tuple[bytes, bytes]],
) -> tuple[bytes, bytes]:
    """The server side with its randomness from ephemeral() and encapsulate(ek): the system's for the
    public function, given values for kyber_alg._testing."""
    share = as_bytes(client_share, "client_share")
    check_length(share, TLS_CLIENT_SHARE_SIZE, "a curveSM2MLKEM768 client share")
    point = sm2_point(share[:SM2_POINT_SIZE], "the client share's curveSM2 part")
    try:
        encapsulation_key = MLKEM768PublicKey.from_public_bytes(share[SM2_POINT_SIZE:])
    except ValueError as e:
        raise ValueError(f"the client share's ML-KEM-768 encapsulation key is invalid: {e}") from None
    key = ephemeral()
    mlkem_secret, mlkem_ciphertext = encapsulate(encapsulation_key)
    return key.public_key().public_bytes_raw() + mlkem_ciphertext, key.exchange(point) + mlkem_secret
