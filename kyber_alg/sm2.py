"""SM2 (GB/T 32918) on the curve sm2p256v1, in the style of ``cryptography``'s key classes.

Signatures (SM3withSM2, with the user ID and Z), public-key encryption with the C1C3C2, C1C2C3 and
GM/T 0009 DER layouts, ECDH, the GB/T 32918.3 key exchange, and keys in PKCS#8, SEC1 and
SubjectPublicKeyInfo (PEM or DER) as OpenSSL writes them. The curve arithmetic is native
(``kyber_alg._sm2``) and constant time for every secret: private keys, nonces, shared points.

Signature nonces come from the operating system and are hedged: k = SM3(label || 32 random bytes ||
d || e || attempt), redrawn (next attempt) until 1 <= k <= n - 1, so a failing random source cannot
repeat a nonce for two different messages or reveal the key.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Final, Literal, NoReturn

from kyber_alg import _asn1 as asn1
from kyber_alg import _sm2
from kyber_alg._args import check_no_encryption, check_no_password, read_bytes, read_choice, read_name
from kyber_alg.exceptions import InvalidSignature

if TYPE_CHECKING:
    from cryptography.hazmat.primitives import serialization

__all__ = [
    "DEFAULT_UID",
    "DecryptionError",
    "SM2PrivateKey",
    "SM2PublicKey",
    "convert_ciphertext",
    "key_exchange",
    "load_der_private_key",
    "load_der_public_key",
    "load_pem_private_key",
    "load_pem_public_key",
]

#: The user ID GB/T 35276 recommends when the parties agree on none (also OpenSSL's and GmSSL's default
#: for signing through their SM2 tools; OpenSSL's ``pkeyutl`` signs with an empty ID unless told otherwise).
DEFAULT_UID: Final = b"1234567812345678"

#: Raised by :meth:`SM2PrivateKey.decrypt` for every failure; a subclass of ``ValueError``.
DecryptionError: Final = _sm2.DecryptionError

Buffer = bytes | bytearray | memoryview
#: Besides these strings, the encodings and formats take the members of cryptography's ``Encoding``,
#: ``PrivateFormat`` and ``PublicFormat`` (``Encoding.PEM``, ``PrivateFormat.TraditionalOpenSSL`` for SEC1, ...).
Encoding = Literal["pem", "der", "x962"]
PrivateFormat = Literal["pkcs8", "sec1"]
PublicFormat = Literal["subjectpublickeyinfo", "uncompressedpoint", "compressedpoint"]
SignatureEncoding = Literal["der", "raw"]
CiphertextFormat = Literal["c1c3c2", "c1c2c3", "der"]

_P: Final = 0xFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00000000FFFFFFFFFFFFFFFF
_B: Final = 0x28E9FA9E9D9F5E344D5A9E4BCF6509A7F39789F515AB8F92DDBCBD414D940E93

_EC_PUBLIC_KEY: Final = "1.2.840.10045.2.1"
_SM2_CURVE: Final = "1.2.156.10197.1.301"

_HASH_SIZE: Final = 32
_POINT_SIZE: Final = 64
_PRIVATE_LABELS: Final = ("PRIVATE KEY", "EC PRIVATE KEY", "SM2 PRIVATE KEY", "ENCRYPTED PRIVATE KEY")

# The names the encodings and formats are read by: lower-case strings and cryptography's member names.
_ENCODINGS: Final = {"pem": "pem", "der": "der"}
_PUBLIC_ENCODINGS: Final = {**_ENCODINGS, "x962": "x962"}
_PRIVATE_FORMATS: Final = {"pkcs8": "pkcs8", "sec1": "sec1", "traditionalopenssl": "sec1"}
_PUBLIC_FORMATS: Final = {
    "subjectpublickeyinfo": "subjectpublickeyinfo",
    "uncompressedpoint": "uncompressedpoint",
    "compressedpoint": "compressedpoint",
}


# ---------------------------------------------------------------- points


def _decompress(prefix: int, x_bytes: bytes) -> bytes:
    """x || y for the compressed point prefix || x (prefix 02: even y, 03: odd y)."""
    x = int.from_bytes(x_bytes, "big")
    if x >= _P:
        raise ValueError("the point is not on the SM2 curve (x is not below p)")
    rhs = (x * x * x - 3 * x + _B) % _P
    y = pow(rhs, (_P + 1) // 4, _P)  # p = 3 mod 4
    if y * y % _P != rhs:
        raise ValueError("the point is not on the SM2 curve (no y for this x)")
    if y & 1 != prefix & 1:
        y = _P - y
    return x_bytes + y.to_bytes(32, "big")


def _point_from_encoding(data: bytes, what: str) -> bytes:
    """x || y of a 65-byte (04 || x || y), 33-byte (02/03 || x) or 64-byte (x || y) encoding."""
    if len(data) == 65 and data[0] == 0x04:
        return data[1:]
    if len(data) == 33 and data[0] in (0x02, 0x03):
        try:
            return _decompress(data[0], data[1:])
        except ValueError as exc:
            raise ValueError(f"{what}: {exc}") from None
    if len(data) == 64:
        return data
    if len(data) in (33, 65):
        raise ValueError(
            f"{what}: unknown point prefix 0x{data[0]:02x} for {len(data)} bytes "
            "(04 for x || y, 02 or 03 for a compressed x)"
        )
    raise ValueError(
        f"{what}: a public key is 65 bytes (04 || x || y), 33 (02 or 03 || x) or 64 (x || y), got {len(data)}"
    )


def _native_public(xy: bytes, what: str) -> _sm2.PublicKey:
    try:
        return _sm2.public_key(xy)
    except ValueError as exc:
        message = str(exc).partition(": ")[2]
        raise ValueError(f"{what}: {message}") from None


# ---------------------------------------------------------------- keys


class SM2PublicKey:
    """An SM2 public key: a point of sm2p256v1 other than the point at infinity.

    Made by :meth:`from_public_bytes`, the loaders, or :meth:`SM2PrivateKey.public_key`. Immutable;
    equal when the points are equal; picklable (as its uncompressed encoding).
    """

    __slots__ = ("_key", "_default_z")

    _key: _sm2.PublicKey
    _default_z: bytes | None

    def __init__(self, key: _sm2.PublicKey) -> None:
        if not isinstance(key, _sm2.PublicKey):
            raise TypeError("SM2PublicKey is made by SM2PublicKey.from_public_bytes() or a loader, not called directly")
        self._key = key
        self._default_z = None

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> SM2PublicKey:
        """The key of 65 bytes 04 || x || y, 33 bytes 02/03 || x (compressed), or 64 bytes x || y.

        The point is checked to lie on the curve; ``ValueError`` names what is wrong.
        """
        xy = _point_from_encoding(read_bytes(data, "data"), "from_public_bytes()")
        return cls(_native_public(xy, "from_public_bytes()"))

    def public_bytes_raw(self, compressed: bool = False) -> bytes:
        """04 || x || y (65 bytes), or 02/03 || x (33 bytes) when compressed."""
        xy = self._key.public_bytes()
        if compressed:
            return bytes([0x02 | (xy[63] & 1)]) + xy[:32]
        return b"\x04" + xy

    def public_bytes(
        self,
        encoding: Encoding | serialization.Encoding = "pem",
        format: PublicFormat | serialization.PublicFormat | None = None,
    ) -> bytes:
        """SubjectPublicKeyInfo (id-ecPublicKey with the curve 1.2.156.10197.1.301) in PEM or DER, or the point.

        ``encoding`` is ``"pem"``, ``"der"`` or ``"x962"``, ``format`` ``"subjectpublickeyinfo"`` (for PEM and
        DER), ``"uncompressedpoint"`` or ``"compressedpoint"`` (for X9.62, as :meth:`public_bytes_raw`), by
        default the one that goes with the encoding; cryptography's ``Encoding`` and ``PublicFormat`` members
        are read as these names.
        """
        name = read_name(encoding, "encoding", ("Encoding",), _PUBLIC_ENCODINGS)
        fmt = (
            ("uncompressedpoint" if name == "x962" else "subjectpublickeyinfo")
            if format is None
            else read_name(format, "format", ("PublicFormat",), _PUBLIC_FORMATS)
        )
        if (name == "x962") != (fmt != "subjectpublickeyinfo"):
            raise ValueError("the X9.62 encoding goes with the point formats, PEM and DER with SubjectPublicKeyInfo")
        if name == "x962":
            return self.public_bytes_raw(compressed=fmt == "compressedpoint")
        der = asn1.subject_public_key_info(_EC_PUBLIC_KEY, self.public_bytes_raw(), asn1.oid(_SM2_CURVE))
        return asn1.pem_encode("PUBLIC KEY", der) if name == "pem" else der

    @property
    def x(self) -> int:
        """The affine x-coordinate."""
        return int.from_bytes(self._key.public_bytes()[:32], "big")

    @property
    def y(self) -> int:
        """The affine y-coordinate."""
        return int.from_bytes(self._key.public_bytes()[32:], "big")

    def z(self, uid: Buffer = DEFAULT_UID) -> bytes:
        """Z = SM3(ENTL || ID || a || b || xG || yG || x || y), 32 bytes (GB/T 32918.2, 5.5).

        The ID may be up to 8191 bytes (its bit length must fit ENTL's two bytes).
        """
        if uid is DEFAULT_UID:
            if self._default_z is None:
                self._default_z = self._key.z(DEFAULT_UID)
            return self._default_z
        return self._key.z(uid)

    def verify(
        self, signature: Buffer, data: Buffer, uid: Buffer = DEFAULT_UID, encoding: SignatureEncoding = "der"
    ) -> None:
        """Checks an SM3withSM2 signature of data (e = SM3(Z || data)); raises InvalidSignature if it
        does not verify or is not a well-formed signature in the given encoding."""
        raw = _signature_to_raw(signature, encoding)
        # A bytearray is copied here: the native hash runs without the GIL while other threads may write.
        if not self._key.verify(self.z(uid), read_bytes(data, "data"), raw):
            raise InvalidSignature("the SM2 signature does not verify")

    def verify_digest(self, signature: Buffer, digest: Buffer, encoding: SignatureEncoding = "der") -> None:
        """As :meth:`verify` for a digest e computed by the caller (32 bytes, normally SM3(Z || M))."""
        raw = _signature_to_raw(signature, encoding)
        if not self._key.verify_digest(digest, raw):
            raise InvalidSignature("the SM2 signature does not verify")

    def encrypt(self, data: Buffer, format: CiphertextFormat = "c1c3c2") -> bytes:
        """SM2-encrypts data (one byte or more) to this key (GB/T 32918.4).

        ``c1c3c2`` and ``c1c2c3`` give 04 || x1 || y1 followed by C3 and C2 in that order (97 bytes
        more than the message); ``der`` gives GM/T 0009's SEQUENCE { x, y, C3, C2 }.
        """
        read_choice(format, "format", _CIPHERTEXT_FORMATS)
        return _ciphertext_in(self._key.encrypt(data, format == "c1c2c3"), format)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, SM2PublicKey):
            return NotImplemented
        return self._key.public_bytes() == other._key.public_bytes()

    def __hash__(self) -> int:
        return hash((SM2PublicKey, self._key.public_bytes()))

    def __repr__(self) -> str:
        return f"<SM2PublicKey {self.public_bytes_raw(compressed=True).hex()}>"

    def __reduce__(self) -> tuple[object, tuple[bytes]]:
        return SM2PublicKey.from_public_bytes, (self.public_bytes_raw(),)

    def __copy__(self) -> SM2PublicKey:
        return self

    def __deepcopy__(self, memo: dict[int, object]) -> SM2PublicKey:
        return self


class SM2PrivateKey:
    """An SM2 private key d in [1, n-2] with its public key d*G.

    Made by :meth:`generate`, :meth:`from_private_bytes` or a loader. Immutable; ``copy.copy`` returns
    the key itself; pickling is refused (use :meth:`private_bytes`). The repr shows only the public key.
    """

    __slots__ = ("_key", "_public")

    _key: _sm2.PrivateKey
    _public: SM2PublicKey

    def __init__(self, key: _sm2.PrivateKey) -> None:
        if not isinstance(key, _sm2.PrivateKey):
            raise TypeError(
                "SM2PrivateKey is made by SM2PrivateKey.generate(), from_private_bytes() or a "
                "loader, not called directly"
            )
        self._key = key
        self._public = SM2PublicKey(key.public_key())

    @classmethod
    def generate(cls) -> SM2PrivateKey:
        """A new key, d uniform in [1, n-2] from the operating system's random source."""
        return cls(_sm2.generate())

    @classmethod
    def from_private_bytes(cls, data: Buffer) -> SM2PrivateKey:
        """The key of 32 big-endian bytes d; ``ValueError`` unless 1 <= d <= n-2."""
        data = read_bytes(data, "data")
        if len(data) != 32:
            raise ValueError(f"from_private_bytes(): the private key must be 32 bytes, got {len(data)}")
        try:
            return cls(_sm2.private_key(data))
        except ValueError:
            raise ValueError("from_private_bytes(): the private key is outside [1, n-2]") from None

    def private_bytes_raw(self) -> bytes:
        """d as 32 big-endian bytes."""
        return self._key.private_bytes()

    def private_bytes(
        self,
        encoding: Encoding | serialization.Encoding = "pem",
        format: PrivateFormat | serialization.PrivateFormat = "pkcs8",
        encryption_algorithm: serialization.KeySerializationEncryption | None = None,
    ) -> bytes:
        """PKCS#8 (PEM label ``PRIVATE KEY``) or SEC1 ``ECPrivateKey`` (PEM label ``EC PRIVATE KEY``), unencrypted.

        The bytes are those ``openssl pkey`` writes for the same key: PKCS#8 wraps an ECPrivateKey
        with the public key [1] and without parameters [0] (they are in the algorithm identifier);
        SEC1 carries both [0] (the curve) and [1]. ``encoding`` is ``"pem"`` or ``"der"``, ``format``
        ``"pkcs8"`` or ``"sec1"``, or cryptography's ``Encoding`` and ``PrivateFormat`` members (``PKCS8``,
        ``TraditionalOpenSSL`` for SEC1); ``encryption_algorithm`` is None or cryptography's ``NoEncryption()``.
        """
        name = read_name(encoding, "encoding", ("Encoding",), _ENCODINGS)
        fmt = read_name(format, "format", ("PrivateFormat",), _PRIVATE_FORMATS)
        check_no_encryption(encryption_algorithm)
        public = asn1.tlv(asn1.context(1), asn1.bit_string(self._public.public_bytes_raw()))
        d = asn1.octet_string(self.private_bytes_raw())
        if fmt == "sec1":
            der = asn1.sequence(asn1.integer(1), d, asn1.tlv(asn1.context(0), asn1.oid(_SM2_CURVE)), public)
            return asn1.pem_encode("EC PRIVATE KEY", der) if name == "pem" else der
        der = asn1.private_key_info(_EC_PUBLIC_KEY, asn1.sequence(asn1.integer(1), d, public), asn1.oid(_SM2_CURVE))
        return asn1.pem_encode("PRIVATE KEY", der) if name == "pem" else der

    def public_key(self) -> SM2PublicKey:
        """The public key d*G."""
        return self._public

    def sign(self, data: Buffer, uid: Buffer = DEFAULT_UID, encoding: SignatureEncoding = "der") -> bytes:
        """SM3withSM2 signature of data: e = SM3(Z || data) with Z from uid and the public key.

        ``der`` gives SEQUENCE { INTEGER r, INTEGER s }; ``raw`` gives r || s (64 bytes).
        """
        if encoding == "der":  # encoded natively
            return self._key.sign_der(self._public.z(uid), read_bytes(data, "data"))
        read_choice(encoding, "encoding", ("der", "raw"))
        return self._key.sign(self._public.z(uid), read_bytes(data, "data"))

    def sign_digest(self, digest: Buffer, encoding: SignatureEncoding = "der") -> bytes:
        """Signature of a digest e computed by the caller (32 bytes, normally SM3(Z || M))."""
        if encoding == "der":
            return self._key.sign_digest_der(digest)
        read_choice(encoding, "encoding", ("der", "raw"))
        return self._key.sign_digest(digest)

    def decrypt(self, ciphertext: Buffer, format: CiphertextFormat = "c1c3c2") -> bytes:
        """The message of a ciphertext in the given format; :class:`DecryptionError` on any failure.

        For ``c1c3c2`` and ``c1c2c3``, C1 may come with its 04 byte or without it (as pysmx and
        sm-crypto write it); see :func:`convert_ciphertext` for how the two are told apart.
        """
        read_choice(format, "format", _CIPHERTEXT_FORMATS)
        ciphertext = read_bytes(ciphertext, "ciphertext")
        try:
            c1, c3, c2 = _ciphertext_parts(ciphertext, format)
        except ValueError as exc:
            raise DecryptionError(f"decryption failed: {exc}{_layout_hint(ciphertext, format)}") from None
        try:
            return self._key.decrypt(c1, c3, c2)
        except DecryptionError as exc:
            raise DecryptionError(f"{exc}{_ORDER_HINTS[format]}") from None

    def exchange(self, peer_public_key: SM2PublicKey) -> bytes:
        """ECDH on sm2p256v1: the x-coordinate of d*Q, 32 bytes (no key derivation applied)."""
        if not isinstance(peer_public_key, SM2PublicKey):
            raise TypeError(f"peer_public_key must be an SM2PublicKey, not {type(peer_public_key).__name__!r}")
        return self._key.exchange(peer_public_key._key)

    def __repr__(self) -> str:
        return f"<SM2PrivateKey public_key={self._public.public_bytes_raw(compressed=True).hex()}>"

    def __reduce__(self) -> NoReturn:
        raise TypeError("cannot pickle an SM2PrivateKey; serialize it with private_bytes()")

    def __copy__(self) -> SM2PrivateKey:
        return self

    def __deepcopy__(self, memo: dict[int, object]) -> SM2PrivateKey:
        return self


# ---------------------------------------------------------------- signatures


def _signature_from_raw(raw: bytes, encoding: str) -> bytes:
    if encoding == "raw":
        return raw
    return asn1.sequence(asn1.integer(int.from_bytes(raw[:32], "big")), asn1.integer(int.from_bytes(raw[32:], "big")))


def _signature_to_raw(signature: Buffer, encoding: SignatureEncoding) -> bytes:
    """r || s of a signature; InvalidSignature if it is not well formed."""
    read_choice(encoding, "encoding", ("der", "raw"))
    signature = read_bytes(signature, "signature")
    if encoding == "raw":
        if len(signature) != 64:
            raise InvalidSignature(f"a raw SM2 signature is 64 bytes (r || s), got {len(signature)}")
        return signature
    try:
        items = asn1.read_elements(asn1.read_exact(signature, asn1.SEQUENCE, "signature"), "signature")
        if len(items) != 2:
            raise ValueError("signature: expected SEQUENCE { r, s }")
        r, s = (asn1.read_integer(item, "signature") for item in items)
    except ValueError as exc:
        raise InvalidSignature(f"not a DER SM2 signature: {exc}") from None
    if r >= 1 << 256 or s >= 1 << 256:
        raise InvalidSignature("the SM2 signature does not verify (r or s is out of range)")
    return r.to_bytes(32, "big") + s.to_bytes(32, "big")


# ---------------------------------------------------------------- ciphertexts


_CIPHERTEXT_FORMATS: Final = ("c1c3c2", "c1c2c3", "der")

# Appended to every failure of the native decryption, whichever check failed: a function of the format
# alone, so the message says nothing about the secret that the uniform error keeps to itself.
_ORDER_HINTS: Final = {
    "c1c3c2": " (if the ciphertext is in the C1C2C3 order, as BouncyCastle's default SM2 cipher and the 2010 "
    "draft write it, decrypt it with format='c1c2c3')",
    "c1c2c3": " (if the ciphertext is in the C1C3C2 order of the current standard, decrypt it with format='c1c3c2')",
    "der": "",
}


def _layout_hint(ciphertext: bytes, format: str) -> str:
    """A hint for a ciphertext that failed to parse in one layout and parses in another (public data only)."""
    if format != "der" and ciphertext[:1] == b"\x30":
        try:
            _ciphertext_parts(ciphertext, "der")
            return " (the ciphertext looks like DER: use format='der')"
        except ValueError:
            return ""
    if format == "der" and ciphertext[:1] == b"\x04":
        return " (the ciphertext looks like a raw 04 || C1 ...: use format='c1c3c2' or 'c1c2c3')"
    return ""


def _ciphertext_in(raw: bytes, format: str) -> bytes:
    """The native ciphertext 04 || C1 || (C3 || C2 or C2 || C3) in the given format."""
    return raw if format != "der" else _ciphertext_der(raw[1:65], raw[65:97], raw[97:])


def _ciphertext_der(c1: bytes, c3: bytes, c2: bytes) -> bytes:
    return asn1.sequence(
        asn1.integer(int.from_bytes(c1[:32], "big")),
        asn1.integer(int.from_bytes(c1[32:], "big")),
        asn1.octet_string(c3),
        asn1.octet_string(c2),
    )


def _raw_c1(ciphertext: bytes) -> tuple[bytes, bytes]:
    """C1 as x || y and what follows it, for C1 written as 04 || x || y or as x || y.

    A ciphertext whose first byte is 04 and whose next 64 bytes are a curve point has the 04 prefix;
    otherwise its first 64 bytes must be a curve point (x || y, no prefix). Lengths alone cannot tell
    the two apart (the message may have any length), and x may itself start with the byte 04; but for
    both readings of one ciphertext to be curve points, 64 given bytes would have to land on the curve by
    chance (probability about 2^-256), so at most one reading is a point.
    """
    if len(ciphertext) >= 1 + _POINT_SIZE + _HASH_SIZE + 1 and ciphertext[0] == 0x04:
        c1 = ciphertext[1 : 1 + _POINT_SIZE]
        if _sm2.is_point(c1):
            return c1, ciphertext[1 + _POINT_SIZE :]
    if len(ciphertext) < _POINT_SIZE + _HASH_SIZE + 1:
        raise ValueError(
            f"the ciphertext is too short: {len(ciphertext)} bytes, need C1 (64 or 65), C3 (32) "
            "and at least one byte of C2"
        )
    c1 = ciphertext[:_POINT_SIZE]
    if _sm2.is_point(c1):
        return c1, ciphertext[_POINT_SIZE:]
    raise ValueError("C1 is not a point on the SM2 curve (neither as 04 || x || y nor as x || y)")


def _ciphertext_parts(ciphertext: bytes, format: str) -> tuple[bytes, bytes, bytes]:
    """(C1 as x || y, C3, C2) of a ciphertext; ValueError naming what is malformed."""
    if format == "der":
        items = asn1.read_elements(asn1.read_exact(ciphertext, asn1.SEQUENCE, "ciphertext"), "ciphertext")
        if len(items) != 4:
            raise ValueError("ciphertext: expected SEQUENCE { INTEGER x, INTEGER y, OCTET STRING C3, OCTET STRING C2 }")
        x, y = (asn1.read_integer(item, "ciphertext C1") for item in items[:2])
        c3, c2 = items[2:]
        if c3.tag != asn1.OCTET_STRING or c2.tag != asn1.OCTET_STRING:
            raise ValueError("ciphertext: C3 and C2 must be OCTET STRINGs")
        if len(c3.content) != _HASH_SIZE:
            raise ValueError(f"ciphertext: C3 must be 32 bytes, got {len(c3.content)}")
        if not c2.content:
            raise ValueError("ciphertext: C2 is empty")
        if x >= _P or y >= _P:
            raise ValueError("C1 is not a point on the SM2 curve (a coordinate is not below p)")
        c1 = x.to_bytes(32, "big") + y.to_bytes(32, "big")
        if not _sm2.is_point(c1):
            raise ValueError("C1 is not a point on the SM2 curve")
        return c1, c3.content, c2.content
    c1, rest = _raw_c1(ciphertext)
    if format == "c1c3c2":
        return c1, rest[:_HASH_SIZE], rest[_HASH_SIZE:]
    return c1, rest[-_HASH_SIZE:], rest[:-_HASH_SIZE]


def convert_ciphertext(ciphertext: Buffer, from_format: CiphertextFormat, to_format: CiphertextFormat) -> bytes:
    """Re-encodes an SM2 ciphertext between ``c1c3c2``, ``c1c2c3`` and ``der`` without decrypting it.

    Raw inputs may carry C1 as 04 || x || y or as x || y: when the first byte is 04 and the 64 bytes
    after it are a curve point, the prefix is taken to be there; otherwise the first 64 bytes must be a
    curve point. Raw outputs always carry the 04 prefix. ``ValueError`` names what is malformed.
    """
    read_choice(from_format, "from_format", ("c1c3c2", "c1c2c3", "der"))
    read_choice(to_format, "to_format", ("c1c3c2", "c1c2c3", "der"))
    c1, c3, c2 = _ciphertext_parts(read_bytes(ciphertext, "ciphertext"), from_format)
    if to_format == "der":
        return _ciphertext_der(c1, c3, c2)
    return b"\x04" + c1 + (c3 + c2 if to_format == "c1c3c2" else c2 + c3)


# ---------------------------------------------------------------- key exchange


def key_exchange(
    private_key: SM2PrivateKey,
    ephemeral_private_key: SM2PrivateKey,
    peer_public_key: SM2PublicKey,
    peer_ephemeral_public_key: SM2PublicKey,
    length: int,
    initiator: bool = True,
    uid: Buffer = DEFAULT_UID,
    peer_uid: Buffer = DEFAULT_UID,
) -> tuple[bytes, bytes, bytes]:
    """The SM2 key exchange of GB/T 32918.3 (section 6.1), for either side.

    Each side has a static key pair and an ephemeral one (R = r*G, generated for this exchange and
    sent to the peer). The initiator is user A. Returns ``(key, s_own, s_peer)``: the shared key of
    ``length`` bytes, the confirmation value this side sends (S_A for the initiator, S_B for the
    responder) and the one it must receive from its peer (S_B, resp. S_A); compare the received value
    with ``hmac.compare_digest``. ``ValueError`` if the shared point is the point at infinity.
    """
    for value, name, cls in (
        (private_key, "private_key", SM2PrivateKey),
        (ephemeral_private_key, "ephemeral_private_key", SM2PrivateKey),
        (peer_public_key, "peer_public_key", SM2PublicKey),
        (peer_ephemeral_public_key, "peer_ephemeral_public_key", SM2PublicKey),
    ):
        if not isinstance(value, cls):
            raise TypeError(f"{name} must be an {cls.__name__}, not {type(value).__name__!r}")
    if not isinstance(length, int) or isinstance(length, bool):
        raise TypeError(f"length must be int, not {type(length).__name__!r}")
    if length < 1:
        raise ValueError(f"length must be at least 1 byte, got {length}")
    z_own = private_key.public_key().z(uid)
    z_peer = peer_public_key.z(peer_uid)
    z_initiator, z_responder = (z_own, z_peer) if initiator else (z_peer, z_own)
    key, s_own, s_peer = private_key._key.key_exchange(
        ephemeral_private_key._key,
        peer_public_key._key,
        peer_ephemeral_public_key._key,
        length,
        bool(initiator),
        z_initiator,
        z_responder,
    )
    return key, s_own, s_peer


# ---------------------------------------------------------------- loading
# The containers (PEM, SubjectPublicKeyInfo, PKCS#8) are read by kyber_alg._asn1; this module reads only
# what is SM2's own: the EC algorithm identifier's curve, SEC1's ECPrivateKey and the point.


def _check_curve(element: asn1.Element, what: str) -> None:
    """ECParameters: the named curve SM2 (explicit parameters and implicitCurve are refused)."""
    if element.tag == asn1.SEQUENCE:
        raise ValueError(f"{what}: explicit curve parameters are not supported (only the named curve {_SM2_CURVE})")
    curve = asn1.read_oid(element, what)
    if curve != _SM2_CURVE:
        raise ValueError(f"{what}: the key's curve is {asn1.algorithm_name(curve)}, not SM2 ({_SM2_CURVE})")


def _check_algorithm(algorithm: asn1.AlgorithmIdentifier, what: str) -> None:
    """AlgorithmIdentifier { id-ecPublicKey, namedCurve SM2 }."""
    if algorithm.oid != _EC_PUBLIC_KEY:
        raise ValueError(
            f"{what}: the key's algorithm is {asn1.algorithm_name(algorithm.oid)}, not an EC key "
            f"({_EC_PUBLIC_KEY}) on SM2"
        )
    if algorithm.parameters is None:
        raise ValueError(f"{what}: the EC AlgorithmIdentifier must name a curve")
    element, _ = asn1.read_one(algorithm.parameters, what)
    _check_curve(element, what)


def _explicit(item: asn1.Element, what: str) -> asn1.Element:
    """The one element inside an EXPLICIT [n] field."""
    element, rest = asn1.read_one(item.content, what)
    if rest:
        raise ValueError(f"{what}: trailing data inside [{item.tag & 0x1F}]")
    return element


def _check_public_point(public: bytes, key: SM2PrivateKey, what: str) -> None:
    """A public key stored beside the private key must be its own, with its 04, 02 or 03 prefix."""
    if len(public) == 64:
        raise ValueError(f"{what}: the public key point must carry its 04, 02 or 03 prefix")
    if _point_from_encoding(public, what) != key.public_key().public_bytes_raw()[1:]:
        raise ValueError(f"{what}: the public key in the file does not match the private key")


def _read_ec_private_key(der: bytes, what: str, curve_named: bool) -> SM2PrivateKey:
    """SEC1 ECPrivateKey { version 1, privateKey, [0] parameters OPTIONAL, [1] publicKey OPTIONAL }.

    The optional fields come in this order, each at most once. ``curve_named``: a PKCS#8 algorithm
    identifier has named the curve; otherwise [0] must name it (RFC 5915, as OpenSSL requires).
    """
    items = asn1.read_elements(asn1.read_exact(der, asn1.SEQUENCE, what), what)
    if len(items) < 2 or items[0].tag != asn1.INTEGER or asn1.read_integer(items[0], what) != 1:
        raise ValueError(f"{what}: not an ECPrivateKey (version 1)")
    if items[1].tag != asn1.OCTET_STRING or not 1 <= len(items[1].content) <= 32:
        raise ValueError(f"{what}: the private key must be an OCTET STRING of at most 32 bytes")
    rest, public = items[2:], None
    if rest and rest[0].tag == asn1.context(0):
        _check_curve(_explicit(rest[0], what), what)
        rest, curve_named = rest[1:], True
    if rest and rest[0].tag == asn1.context(1):
        public = asn1.read_bit_string(_explicit(rest[0], what), what)
        rest = rest[1:]
    if rest:
        raise ValueError(
            f"{what}: unexpected field with DER tag 0x{rest[0].tag:02x} in ECPrivateKey (after the "
            "private key come [0] parameters and [1] publicKey, in this order and each at most once)"
        )
    if not curve_named:
        raise ValueError(
            f"{what}: this ECPrivateKey does not name its curve; outside PKCS#8, RFC 5915 requires its [0] parameters"
        )
    try:
        key = SM2PrivateKey.from_private_bytes(items[1].content.rjust(32, b"\0"))
    except ValueError:
        raise ValueError(f"{what}: the private key is outside [1, n-2]") from None
    if public is not None:
        _check_public_point(public, key, what)
    return key


def _read_pkcs8(der: bytes, what: str) -> SM2PrivateKey:
    info = asn1.read_private_key_info(der, what)
    _check_algorithm(info.algorithm, what)
    key = _read_ec_private_key(info.private_key, what, curve_named=True)
    if info.public_key is not None:
        _check_public_point(info.public_key, key, what)
    return key


def _read_private_der(der: bytes, what: str) -> SM2PrivateKey:
    """PKCS#8 (whose second field is the algorithm identifier) or a SEC1 ECPrivateKey (an OCTET STRING there)."""
    items = asn1.read_elements(asn1.read_exact(der, asn1.SEQUENCE, what), what)
    if len(items) >= 2 and asn1.SEQUENCE in (items[0].tag, items[1].tag):  # plain or encrypted PKCS#8
        return _read_pkcs8(der, what)
    return _read_ec_private_key(der, what, curve_named=False)


def load_der_private_key(data: Buffer, password: Buffer | None = None) -> SM2PrivateKey:
    """An SM2 private key from DER: PKCS#8 PrivateKeyInfo or SEC1 ECPrivateKey naming its curve (unencrypted).

    ``password`` is for cryptography's signature: encrypted keys are refused with ``ValueError`` (decrypt
    them first), and a password for an unencrypted key is a ``TypeError``, as in cryptography.
    """
    what = "load_der_private_key()"
    key = _read_private_der(read_bytes(data, "data"), what)
    check_no_password(password)
    return key


def load_pem_private_key(data: str | Buffer, password: Buffer | None = None) -> SM2PrivateKey:
    """An SM2 private key from PEM: ``PRIVATE KEY`` (PKCS#8), ``EC PRIVATE KEY`` or OpenSSL 3.0's
    ``SM2 PRIVATE KEY`` (SEC1), as bytes or str. Encrypted keys are refused with ``ValueError``; a password
    for an unencrypted key is a ``TypeError``, as in cryptography."""
    what = "load_pem_private_key()"
    label, der = asn1.pem_decode(data, _PRIVATE_LABELS, what)
    if label == "ENCRYPTED PRIVATE KEY":
        raise ValueError(f"{what}: {asn1.ENCRYPTED_KEY_ADVICE}")
    key = _read_pkcs8(der, what) if label == "PRIVATE KEY" else _read_ec_private_key(der, what, curve_named=False)
    check_no_password(password)
    return key


def load_der_public_key(data: Buffer) -> SM2PublicKey:
    """An SM2 public key from a DER SubjectPublicKeyInfo (id-ecPublicKey, curve 1.2.156.10197.1.301)."""
    what = "load_der_public_key()"
    algorithm, point = asn1.read_subject_public_key_info(read_bytes(data, "data"), what)
    _check_algorithm(algorithm, what)
    if len(point) == 64:
        raise ValueError(f"{what}: the public key point must carry its 04, 02 or 03 prefix")
    return SM2PublicKey(_native_public(_point_from_encoding(point, what), what))


def load_pem_public_key(data: str | Buffer) -> SM2PublicKey:
    """An SM2 public key from a PEM ``PUBLIC KEY`` block (SubjectPublicKeyInfo), as bytes or str."""
    _, der = asn1.pem_decode(data, ("PUBLIC KEY",), "load_pem_public_key()")
    return load_der_public_key(der)
