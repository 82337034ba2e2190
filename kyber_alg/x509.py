"""SM2 certificates and certificate requests on ``cryptography``'s X.509 objects.

``cryptography`` parses an SM2 certificate but can neither read its key nor check or make its signature.
This module adds exactly that and works on ``cryptography.x509`` objects throughout: the builders take
``Name`` and ``ExtensionType`` values and return ``Certificate`` / ``CertificateSigningRequest`` objects,
and the checks take them.

How a certificate is made: the TBSCertificate is assembled from parts that ``cryptography`` encodes
(``Name.public_bytes()``, ``ExtensionType.public_bytes()``), the key's SubjectPublicKeyInfo as
``kyber_alg.sm2`` / ``kyber_alg.mlkem`` write it, and the few fixed fields around them (version,
serial number, validity times, the SM3withSM2 AlgorithmIdentifier) encoded here in DER. That TBS is
signed with SM2 (Z from the signer ID), and the result is handed to ``cryptography`` to load, so any
certificate returned here has passed cryptography's parser.

Signatures are SM3withSM2 (1.2.156.10197.1.501, no parameters) with the signer ID ``DEFAULT_UID``
(``1234567812345678``, GM/T 0009 and GM/T 0015) unless ``uid=`` says otherwise. A certificate that names
any other signature algorithm is refused with ``ValueError`` and never checked as SM2.

Requires ``cryptography`` (``pip install 'kyber_alg[x509]'``).
"""

from __future__ import annotations

import datetime
from collections.abc import Iterable, Sequence
from typing import Final, Union

from cryptography import x509 as cx
from cryptography.hazmat.primitives.serialization import Encoding
from cryptography.x509.oid import ExtensionOID

from kyber_alg import mlkem, sm2
from kyber_alg.exceptions import InvalidSignature

__all__ = [
    "DEFAULT_UID",
    "CertificateBuilder",
    "CertificateSigningRequestBuilder",
    "PublicKey",
    "VerificationError",
    "is_signature_valid",
    "public_key",
    "verify_chain",
    "verify_directly_issued_by",
]

#: The signer ID of every signature made or checked here unless ``uid=`` is given (GM/T 0009, GM/T 0015).
DEFAULT_UID: Final = sm2.DEFAULT_UID

#: The public keys a certificate made or read here carries.
PublicKey = Union[sm2.SM2PublicKey, mlkem.MLKEMPublicKey]

_SM3_WITH_SM2_OID: Final = "1.2.156.10197.1.501"
_EC_PUBLIC_KEY: Final = "1.2.840.10045.2.1"
_SM2_CURVE: Final = "1.2.156.10197.1.301"
_ML_KEM: Final = {
    "2.16.840.1.101.3.4.4.1": "ML-KEM-512",
    "2.16.840.1.101.3.4.4.2": "ML-KEM-768",
    "2.16.840.1.101.3.4.4.3": "ML-KEM-1024",
}
_EXTENSION_REQUEST: Final = "1.2.840.113549.1.9.14"

# Extensions whose meaning verify_chain() knows: a certificate that marks any other one critical is refused.
_KNOWN_CRITICAL: Final = frozenset(
    {
        ExtensionOID.BASIC_CONSTRAINTS,
        ExtensionOID.KEY_USAGE,
        ExtensionOID.SUBJECT_ALTERNATIVE_NAME,
        ExtensionOID.EXTENDED_KEY_USAGE,
        ExtensionOID.SUBJECT_KEY_IDENTIFIER,
        ExtensionOID.AUTHORITY_KEY_IDENTIFIER,
    }
)


class VerificationError(ValueError):
    """A chain that does not verify; the message names the certificate and the rule it breaks."""


# ---------------------------------------------------------------- DER, the little that is encoded here


_SEQUENCE: Final = 0x30
_SET: Final = 0x31
_INTEGER: Final = 0x02
_BIT_STRING: Final = 0x03
_OCTET_STRING: Final = 0x04
_OID: Final = 0x06


def _tlv(tag: int, content: bytes) -> bytes:
    n = len(content)
    if n < 0x80:
        return bytes([tag, n]) + content
    size = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(size)]) + size + content


def _integer(value: int) -> bytes:
    return _tlv(_INTEGER, value.to_bytes(value.bit_length() // 8 + 1, "big", signed=True))


def _oid(dotted: str) -> bytes:
    arcs = [int(a) for a in dotted.split(".")]
    body = bytearray()
    for arc in [40 * arcs[0] + arcs[1], *arcs[2:]]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7F))
            arc >>= 7
        body += bytes(reversed(chunk))
    return _tlv(_OID, bytes(body))


_SM3_WITH_SM2_ALGORITHM: Final = _tlv(_SEQUENCE, _oid(_SM3_WITH_SM2_OID))


def _time(moment: datetime.datetime) -> bytes:
    """RFC 5280 4.1.2.5: UTCTime through 2049, GeneralizedTime from 2050 on; seconds, in UTC."""
    utc = moment.astimezone(datetime.UTC) if moment.tzinfo else moment
    rest = f"{utc.month:02d}{utc.day:02d}{utc.hour:02d}{utc.minute:02d}{utc.second:02d}Z"
    if 1950 <= utc.year < 2050:
        return _tlv(0x17, f"{utc.year % 100:02d}{rest}".encode())
    return _tlv(0x18, f"{utc.year:04d}{rest}".encode())


def _extension(e: cx.Extension[cx.ExtensionType]) -> bytes:
    """Extension { extnID, critical DEFAULT FALSE, extnValue }, the value encoded by cryptography."""
    return _tlv(
        _SEQUENCE,
        _oid(e.oid.dotted_string)
        + (b"\x01\x01\xff" if e.critical else b"")
        + _tlv(_OCTET_STRING, e.value.public_bytes()),
    )


def _extensions(extensions: Sequence[cx.Extension[cx.ExtensionType]]) -> bytes:
    """SEQUENCE OF Extension."""
    return _tlv(_SEQUENCE, b"".join(_extension(e) for e in extensions))


# ---------------------------------------------------------------- DER reading, strict


def _read(data: bytes, pos: int, what: object) -> tuple[int, bytes, int]:
    """(tag, content, end) of the DER element at pos; refuses anything that is not minimal DER."""
    if pos + 2 > len(data):
        raise ValueError(f"{what}: truncated DER")
    tag, length = data[pos], data[pos + 1]
    if tag & 0x1F == 0x1F:
        raise ValueError(f"{what}: multi-byte DER tags are not expected here")
    pos += 2
    if length & 0x80:
        size = length & 0x7F
        if not 1 <= size <= 4 or pos + size > len(data):
            raise ValueError(f"{what}: bad DER length")
        length = int.from_bytes(data[pos : pos + size], "big")
        if length < 0x80 or data[pos] == 0:
            raise ValueError(f"{what}: DER length not in its shortest form")
        pos += size
    end = pos + length
    if end > len(data):
        raise ValueError(f"{what}: truncated DER")
    return tag, data[pos:end], end


def _elements(content: bytes, what: object) -> list[tuple[int, bytes, bytes]]:
    """The elements of a constructed value: (tag, content, whole encoding) each."""
    found, pos = [], 0
    while pos < len(content):
        tag, inner, end = _read(content, pos, what)
        found.append((tag, inner, content[pos:end]))
        pos = end
    return found


def _sequence(data: bytes, what: object) -> list[tuple[int, bytes, bytes]]:
    tag, content, end = _read(data, 0, what)
    if tag != _SEQUENCE or end != len(data):
        raise ValueError(f"{what}: not a single DER SEQUENCE")
    return _elements(content, what)


def _dotted(content: bytes, what: object) -> str:
    if not content or content[-1] & 0x80 or content[0] == 0x80:
        raise ValueError(f"{what}: malformed OBJECT IDENTIFIER")
    arcs, value = [], 0
    for i, byte in enumerate(content):
        if value == 0 and byte == 0x80 and (i == 0 or not content[i - 1] & 0x80):
            raise ValueError(f"{what}: OBJECT IDENTIFIER arc not in its shortest form")
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            arcs.append(value)
            value = 0
    first = min(arcs[0] // 40, 2)
    return ".".join(str(a) for a in [first, arcs[0] - 40 * first, *arcs[1:]])


def _algorithm(encoding: bytes, what: object) -> tuple[str, list[tuple[int, bytes, bytes]]]:
    """AlgorithmIdentifier: (dotted OID, parameter elements)."""
    items = _sequence(encoding, what)
    if not items or items[0][0] != _OID:
        raise ValueError(f"{what}: malformed AlgorithmIdentifier")
    return _dotted(items[0][1], what), items[1:]


# ---------------------------------------------------------------- public keys


def _nth(content: bytes, index: int, what: object) -> tuple[int, bytes]:
    """(tag, whole encoding) of the element at index among the elements of content."""
    pos = 0
    for _ in range(index):
        pos = _read(content, pos, what)[2]
    tag, _, end = _read(content, pos, what)
    return tag, content[pos:end]


def _spki(obj: cx.Certificate | cx.CertificateSigningRequest, what: object) -> bytes:
    """The SubjectPublicKeyInfo encoding of a certificate or a request."""
    if isinstance(obj, cx.Certificate):
        tag, content, end = _read(obj.tbs_certificate_bytes, 0, what)
        # after [0] version, serialNumber, signature, issuer, validity, subject
        index = 6 if content[:1] == b"\xa0" else 5
    elif isinstance(obj, cx.CertificateSigningRequest):
        tag, content, end = _read(obj.tbs_certrequest_bytes, 0, what)
        index = 2  # after version and subject
    else:
        raise TypeError(
            f"{what}: expected a cryptography x509.Certificate or CertificateSigningRequest, got {type(obj).__name__}"
        )
    tag, spki = _nth(content, index, what)
    if tag != _SEQUENCE:
        raise ValueError(f"{what}: no SubjectPublicKeyInfo where it belongs")
    return spki


# Public keys read from SubjectPublicKeyInfo encodings, so that an issuer's key (and its Z for the default
# ID) is decoded once however many certificates it checks. Keys are immutable; the cache is bounded.
_KEYS: dict[bytes, PublicKey] = {}


def _load_spki(spki: bytes, what: object) -> PublicKey:
    key = _KEYS.get(spki)
    if key is None:
        key = _read_spki(spki, what)
        if len(_KEYS) >= 64:
            _KEYS.clear()
        _KEYS[spki] = key
    return key


def _read_spki(spki: bytes, what: object) -> PublicKey:
    items = _sequence(spki, what)
    if len(items) != 2 or items[0][0] != _SEQUENCE or items[1][0] != _BIT_STRING:
        raise ValueError(f"{what}: malformed SubjectPublicKeyInfo")
    algorithm, parameters = _algorithm(items[0][2], what)
    if algorithm == _EC_PUBLIC_KEY:
        if len(parameters) == 1 and parameters[0][0] == _OID and _dotted(parameters[0][1], what) == _SM2_CURVE:
            return sm2.load_der_public_key(spki)
        curve = _dotted(parameters[0][1], what) if len(parameters) == 1 and parameters[0][0] == _OID else None
        raise ValueError(f"{what}: the EC key is on {curve or 'an unnamed curve'}, not SM2 ({_SM2_CURVE})")
    if algorithm in _ML_KEM:
        return mlkem.load_der_public_key(spki)
    raise ValueError(f"{what}: the key's algorithm {algorithm} is neither SM2 nor ML-KEM")


# What cryptography raises when it decodes a name or an extension of a certificate it has loaded (it
# decodes them on first access).
_DECODING_ERRORS: Final = (ValueError, TypeError, cx.DuplicateExtension, cx.UnsupportedGeneralNameType)


def _describe(obj: cx.Certificate | cx.CertificateSigningRequest) -> str:
    try:
        subject = repr(obj.subject.rfc4514_string())
    except _DECODING_ERRORS:
        subject = "(subject name not decodable)"
    if isinstance(obj, cx.Certificate):
        return f"certificate {subject} (serial {obj.serial_number:#x})"
    return f"certificate request {subject}"


def _subject(obj: cx.Certificate | cx.CertificateSigningRequest) -> cx.Name:
    try:
        return obj.subject
    except _DECODING_ERRORS as error:
        raise ValueError(f"{_describe(obj)}: its subject name cannot be decoded ({error})") from None


def _issuer(cert: cx.Certificate) -> cx.Name:
    try:
        return cert.issuer
    except _DECODING_ERRORS as error:
        raise ValueError(f"{_describe(cert)}: its issuer name cannot be decoded ({error})") from None


def _extensions_of(cert: cx.Certificate) -> cx.Extensions:
    try:
        return cert.extensions
    except _DECODING_ERRORS as error:
        raise ValueError(f"{_describe(cert)}: its extensions cannot be decoded ({error})") from None


class _Label:
    """Names a certificate or request in an error message, written only when a message is."""

    __slots__ = ("_obj",)

    def __init__(self, obj: cx.Certificate | cx.CertificateSigningRequest) -> None:
        self._obj = obj

    def __str__(self) -> str:
        return _describe(self._obj)


def public_key(cert_or_csr: cx.Certificate | cx.CertificateSigningRequest) -> PublicKey:
    """The subject's public key: an :class:`~kyber_alg.sm2.SM2PublicKey` (id-ecPublicKey on sm2p256v1) or an
    ML-KEM public key (RFC 9935). ``ValueError`` for any other key or a malformed SubjectPublicKeyInfo."""
    what = (
        _Label(cert_or_csr)
        if isinstance(cert_or_csr, (cx.Certificate, cx.CertificateSigningRequest))
        else "public_key()"
    )
    return _load_spki(_spki(cert_or_csr, what), what)


# ---------------------------------------------------------------- signatures


def _signed_parts(der: bytes, what: object) -> tuple[bytes, bytes]:
    """(TBS, signature) of a signed object after checking that it names SM3withSM2, without parameters,
    in both its outer AlgorithmIdentifier and (for a certificate) the one inside the TBS."""
    items = _sequence(der, what)
    if len(items) != 3 or items[0][0] != _SEQUENCE or items[1][0] != _SEQUENCE or items[2][0] != _BIT_STRING:
        raise ValueError(f"{what}: not a signed X.509 structure")
    if items[1][2] != _SM3_WITH_SM2_ALGORITHM:
        algorithm, parameters = _algorithm(items[1][2], what)
        if algorithm != _SM3_WITH_SM2_OID:
            raise ValueError(f"{what}: signed with {algorithm}, not SM3withSM2 ({_SM3_WITH_SM2_OID})")
        raise ValueError(f"{what}: the SM3withSM2 AlgorithmIdentifier must carry no parameters")
    bits = items[2][1]
    if not bits or bits[0] != 0:
        raise ValueError(f"{what}: the signature BIT STRING has unused bits")
    return items[0][2], bits[1:]


def _check_signature(
    obj: cx.Certificate | cx.CertificateSigningRequest,
    signer: cx.Certificate | cx.CertificateSigningRequest,
    uid: bytes,
    what: object,
) -> None:
    """Checks that signer's key signed obj. Raises ValueError for another algorithm (before looking at any
    key) or a signer key that is not SM2, InvalidSignature for a wrong signature."""
    tbs, signature = _signed_parts(obj.public_bytes(Encoding.DER), what)
    if isinstance(obj, cx.Certificate):
        # TBSCertificate { [0] version, serialNumber, signature, ... }: read up to its third element only.
        _, content, _ = _read(tbs, 0, what)
        tag, _, pos = _read(content, 0, what)
        if tag == 0xA0:
            pos = _read(content, pos, what)[2]
        if content[pos : pos + len(_SM3_WITH_SM2_ALGORITHM)] != _SM3_WITH_SM2_ALGORITHM:
            raise ValueError(
                f"{what}: the signature algorithm inside the TBS is not SM3withSM2 "
                "(RFC 5280 4.1.1.2: it must match the outer one)"
            )
    key = public_key(signer)
    if not isinstance(key, sm2.SM2PublicKey):
        raise ValueError(f"{what}: the signer's key is not an SM2 key")
    key.verify(signature, tbs, uid=uid)


def verify_directly_issued_by(cert: cx.Certificate, issuer: cx.Certificate, uid: bytes = DEFAULT_UID) -> None:
    """Checks that ``issuer`` signed ``cert`` (SM3withSM2, signer ID ``uid``) and that the names chain.

    ``ValueError`` if cert's issuer name is not issuer's subject name, if cert is signed with another
    algorithm, or if the issuer's key is not SM2; :class:`~kyber_alg.exceptions.InvalidSignature` if the
    signature does not verify."""
    what = _Label(cert)
    issuer_name, subject = _issuer(cert), _subject(issuer)
    if issuer_name != subject:
        raise ValueError(
            f"{what}: its issuer '{issuer_name.rfc4514_string()}' is not the subject "
            f"'{subject.rfc4514_string()}' of the certificate given as issuer"
        )
    _check_signature(cert, issuer, uid, what)


def is_signature_valid(csr: cx.CertificateSigningRequest, uid: bytes = DEFAULT_UID) -> bool:
    """Whether a certificate request carries a valid SM3withSM2 signature by its own key.

    ``ValueError`` if the request names another signature algorithm or holds a key that is not SM2."""
    what = _Label(csr)
    try:
        _check_signature(csr, csr, uid, what)
    except InvalidSignature:
        return False
    return True


# ---------------------------------------------------------------- chains


def _check_validity(cert: cx.Certificate, at: datetime.datetime) -> None:
    if at < cert.not_valid_before_utc:
        raise VerificationError(
            f"{_describe(cert)}: not valid before {cert.not_valid_before_utc.isoformat()} "
            f"(validity, checked at {at.isoformat()})"
        )
    if at > cert.not_valid_after_utc:
        raise VerificationError(
            f"{_describe(cert)}: expired at {cert.not_valid_after_utc.isoformat()} "
            f"(validity, checked at {at.isoformat()})"
        )


def _check_critical(cert: cx.Certificate) -> None:
    for extension in _extensions_of(cert):
        if extension.critical and extension.oid not in _KNOWN_CRITICAL:
            raise VerificationError(
                f"{_describe(cert)}: unknown critical extension {extension.oid.dotted_string} "
                "(RFC 5280 4.2: a certificate with a critical extension that is not "
                "processed must be rejected)"
            )


def _check_issuer(issuer: cx.Certificate, below: int) -> None:
    """The CA rules for a certificate that issued ``below`` non-self-issued intermediates under it."""
    what = _describe(issuer)
    try:
        constraints = _extensions_of(issuer).get_extension_for_class(cx.BasicConstraints).value
    except cx.ExtensionNotFound:
        raise VerificationError(
            f"{what}: issues a certificate but has no basicConstraints extension (RFC 5280 6.1.4 (k))"
        ) from None
    if not constraints.ca:
        raise VerificationError(f"{what}: issues a certificate but basicConstraints cA is false (RFC 5280 6.1.4 (k))")
    if constraints.path_length is not None and below > constraints.path_length:
        raise VerificationError(
            f"{what}: pathLenConstraint {constraints.path_length} allows at most that many "
            f"intermediate CA certificates under it, the chain has {below} "
            "(RFC 5280 6.1.4 (l), (m))"
        )
    try:
        usage = _extensions_of(issuer).get_extension_for_class(cx.KeyUsage).value
    except cx.ExtensionNotFound:
        return
    if not usage.key_cert_sign:
        raise VerificationError(f"{what}: issues a certificate but its keyUsage lacks keyCertSign (RFC 5280 6.1.4 (n))")


def _link(cert: cx.Certificate, issuer: cx.Certificate, uid: bytes) -> None:
    try:
        _check_signature(cert, issuer, uid, _Label(cert))
    except InvalidSignature:
        raise VerificationError(
            f"{_describe(cert)}: its signature does not verify under the key of {_describe(issuer)} (signature)"
        ) from None
    except ValueError as error:
        raise VerificationError(f"{error} (signature)") from None


def verify_chain(
    leaf: cx.Certificate,
    intermediates: Iterable[cx.Certificate] = (),
    roots: Iterable[cx.Certificate] = (),
    at: datetime.datetime | None = None,
    uid: bytes = DEFAULT_UID,
) -> list[cx.Certificate]:
    """The chain [leaf, intermediates..., root] from ``leaf`` to one of ``roots``, built over
    ``intermediates`` (in any order) and checked with RFC 5280's basic rules.

    Checked: every signature (SM3withSM2 with signer ID ``uid``), that each issuer name is the next
    certificate's subject, the validity of every certificate at ``at`` (timezone-aware; default now),
    basicConstraints cA and pathLenConstraint and keyUsage keyCertSign (when present) on every issuer,
    and no critical extension other than basicConstraints, keyUsage, subjectAltName, extendedKeyUsage and
    the key identifiers. The roots are trusted as given: their own signatures are not checked. Not checked:
    revocation, name constraints, policies, extendedKeyUsage purposes. Raises :class:`VerificationError`
    (a ``ValueError``) naming the certificate and the rule when no chain passes.
    """
    when = datetime.datetime.now(datetime.UTC) if at is None else at
    if when.tzinfo is None or when.utcoffset() is None:
        raise ValueError("verify_chain(): 'at' must be timezone-aware")
    pool, anchors = list(intermediates), list(roots)
    if not anchors:
        raise VerificationError("verify_chain(): no roots were given")
    failures: list[str] = []
    names: dict[int, tuple[cx.Name, cx.Name]] = {}  # (subject, issuer) of each certificate given
    for cert in [leaf, *pool, *anchors]:
        try:
            names[id(cert)] = (_subject(cert), _issuer(cert))
        except ValueError as error:
            raise VerificationError(f"{error} (names)") from None

    def extend(path: list[cx.Certificate], below: int) -> list[cx.Certificate] | None:
        cert = path[-1]
        _check_validity(cert, when)
        _check_critical(cert)
        issuer_name = names[id(cert)][1]
        candidates = [(True, r) for r in anchors if names[id(r)][0] == issuer_name]
        candidates += [(False, c) for c in pool if names[id(c)][0] == issuer_name and all(c is not p for p in path)]
        if not candidates:
            raise VerificationError(
                f"{_describe(cert)}: no certificate among the intermediates and roots has "
                f"its issuer '{issuer_name.rfc4514_string()}' as subject (name chaining)"
            )
        for is_root, issuer in candidates:
            try:
                _link(cert, issuer, uid)
                _check_issuer(issuer, below)
                if is_root:
                    _check_validity(issuer, when)
                    _check_critical(issuer)
                    return [*path, issuer]
                found = extend([*path, issuer], below + (names[id(issuer)][0] != names[id(issuer)][1]))
                if found is not None:
                    return found
            except ValueError as error:  # VerificationError, or an extension cryptography cannot decode
                failures.append(str(error))
        return None

    if any(root == leaf for root in anchors):  # a trusted certificate is its own chain
        _check_validity(leaf, when)
        _check_critical(leaf)
        return [leaf]
    try:
        chain = extend([leaf], 0)
    except ValueError as error:
        failures.append(str(error))
        chain = None
    if chain is None:
        raise VerificationError("; ".join(dict.fromkeys(failures)))
    return chain


# ---------------------------------------------------------------- builders


def _check_uid(uid: object) -> bytes:
    if not isinstance(uid, (bytes, bytearray, memoryview)):
        raise TypeError(f"uid must be bytes, not {type(uid).__name__}")
    return bytes(uid)


def _add(
    extensions: list[cx.Extension[cx.ExtensionType]], extval: cx.ExtensionType, critical: bool
) -> list[cx.Extension[cx.ExtensionType]]:
    if not isinstance(extval, cx.ExtensionType):
        raise TypeError("extension must be an ExtensionType")
    if any(e.oid == extval.oid for e in extensions):
        raise ValueError("This extension has already been set.")
    return [*extensions, cx.Extension(extval.oid, critical, extval)]


def _name(name: object) -> cx.Name:
    if not isinstance(name, cx.Name):
        raise TypeError("Expecting x509.Name object.")
    return name


def _moment(moment: object) -> datetime.datetime:
    if not isinstance(moment, datetime.datetime):
        raise TypeError("Expecting datetime object.")
    utc = moment.astimezone(datetime.UTC) if moment.tzinfo else moment.replace(tzinfo=datetime.UTC)
    if utc.year < 1950:
        raise ValueError("The date must be after 1950-01-01.")
    return utc.replace(microsecond=0)


class CertificateBuilder:
    """cryptography's ``CertificateBuilder`` for SM3withSM2 certificates of SM2 or ML-KEM keys.

    Every method returns a new builder; :meth:`sign` returns a ``cryptography.x509.Certificate`` (v3).
    Each field is DER-encoded when it is set, so signing is the concatenation, the SM2 signature and
    cryptography's load of the result."""

    def __init__(
        self,
        issuer_name: cx.Name | None = None,
        subject_name: cx.Name | None = None,
        public_key: PublicKey | None = None,
        serial_number: int | None = None,
        not_valid_before: datetime.datetime | None = None,
        not_valid_after: datetime.datetime | None = None,
        extensions: Sequence[cx.Extension[cx.ExtensionType]] = (),
    ) -> None:
        self._issuer_name: cx.Name | None = None
        self._subject_name: cx.Name | None = None
        self._public_key: PublicKey | None = None
        self._serial_number: int | None = None
        self._not_valid_before: datetime.datetime | None = None
        self._not_valid_after: datetime.datetime | None = None
        self._extensions: list[cx.Extension[cx.ExtensionType]] = []
        self._der: dict[str, bytes] = {}  # field -> its DER encoding
        built = self
        if issuer_name is not None:
            built = built.issuer_name(issuer_name)
        if subject_name is not None:
            built = built.subject_name(subject_name)
        if public_key is not None:
            built = built.public_key(public_key)
        if serial_number is not None:
            built = built.serial_number(serial_number)
        if not_valid_before is not None:
            built = built.not_valid_before(not_valid_before)
        if not_valid_after is not None:
            built = built.not_valid_after(not_valid_after)
        for extension in extensions:
            built = built.add_extension(extension.value, extension.critical)
        self.__dict__.update(built.__dict__)

    def _with(self, field: str, value: object, der: bytes) -> CertificateBuilder:
        new = CertificateBuilder.__new__(CertificateBuilder)
        new.__dict__.update(self.__dict__)
        new.__dict__["_" + field] = value
        new._der = {**self._der, field: der}
        return new

    def issuer_name(self, name: cx.Name) -> CertificateBuilder:
        """Sets the issuer's distinguished name (once)."""
        if self._issuer_name is not None:
            raise ValueError("The issuer name may only be set once.")
        return self._with("issuer_name", _name(name), name.public_bytes())

    def subject_name(self, name: cx.Name) -> CertificateBuilder:
        """Sets the subject's distinguished name (once)."""
        if self._subject_name is not None:
            raise ValueError("The subject name may only be set once.")
        return self._with("subject_name", _name(name), name.public_bytes())

    def public_key(self, key: PublicKey) -> CertificateBuilder:
        """Sets the subject's public key: SM2 or ML-KEM (once)."""
        if not isinstance(
            key, (sm2.SM2PublicKey, mlkem.MLKEM512PublicKey, mlkem.MLKEM768PublicKey, mlkem.MLKEM1024PublicKey)
        ):
            raise TypeError("Expecting an SM2PublicKey or an ML-KEM public key of kyber_alg.")
        if self._public_key is not None:
            raise ValueError("The public key may only be set once.")
        # SubjectPublicKeyInfo as kyber_alg.sm2 / kyber_alg.mlkem write it.
        return self._with("public_key", key, key.public_bytes("der"))

    def serial_number(self, number: int) -> CertificateBuilder:
        """Sets the serial number: positive, at most 159 bits (RFC 5280 4.1.2.2: 20 octets)."""
        if not isinstance(number, int):
            raise TypeError("Serial number must be of integral type.")
        if self._serial_number is not None:
            raise ValueError("The serial number may only be set once.")
        if number <= 0:
            raise ValueError("The serial number should be positive.")
        if number.bit_length() >= 160:
            raise ValueError("The serial number should not be more than 159 bits.")
        return self._with("serial_number", number, _integer(number))

    def not_valid_before(self, time: datetime.datetime) -> CertificateBuilder:
        """Sets the start of validity (a naive time is taken as UTC; seconds are kept)."""
        if self._not_valid_before is not None:
            raise ValueError("The not valid before may only be set once.")
        moment = _moment(time)
        if self._not_valid_after is not None and moment > self._not_valid_after:
            raise ValueError("The not valid before date must be before the not valid after date.")
        return self._with("not_valid_before", moment, _time(moment))

    def not_valid_after(self, time: datetime.datetime) -> CertificateBuilder:
        """Sets the end of validity (a naive time is taken as UTC; seconds are kept)."""
        if self._not_valid_after is not None:
            raise ValueError("The not valid after may only be set once.")
        moment = _moment(time)
        if self._not_valid_before is not None and moment < self._not_valid_before:
            raise ValueError("The not valid after date must be after the not valid before date.")
        return self._with("not_valid_after", moment, _time(moment))

    def add_extension(self, extval: cx.ExtensionType, critical: bool) -> CertificateBuilder:
        """Adds an X.509 extension, encoded by cryptography (each type once)."""
        extensions = _add(self._extensions, extval, critical)
        return self._with("extensions", extensions, self._der.get("extensions", b"") + _extension(extensions[-1]))

    def tbs_bytes(self) -> bytes:
        """The DER TBSCertificate that :meth:`sign` signs."""
        der = self._der
        missing = [
            name.replace("_", " ")
            for name in (
                "issuer_name",
                "subject_name",
                "public_key",
                "serial_number",
                "not_valid_before",
                "not_valid_after",
            )
            if name not in der
        ]
        if missing:
            raise ValueError(f"A certificate requires: {', '.join(missing)}.")
        extensions = der.get("extensions")
        return _tlv(
            _SEQUENCE,
            b"".join(
                [
                    b"\xa0\x03\x02\x01\x02",  # [0] EXPLICIT version v3
                    der["serial_number"],
                    _SM3_WITH_SM2_ALGORITHM,
                    der["issuer_name"],
                    _tlv(_SEQUENCE, der["not_valid_before"] + der["not_valid_after"]),
                    der["subject_name"],
                    der["public_key"],
                    _tlv(0xA3, _tlv(_SEQUENCE, extensions)) if extensions else b"",
                ]
            ),
        )

    def sign(self, private_key: sm2.SM2PrivateKey, uid: bytes = DEFAULT_UID) -> cx.Certificate:
        """The certificate signed with SM3withSM2 by ``private_key`` (the issuer's), signer ID ``uid``."""
        if not isinstance(private_key, sm2.SM2PrivateKey):
            raise TypeError("certificates are signed with an SM2PrivateKey")
        tbs = self.tbs_bytes()
        signature = private_key.sign(tbs, uid=uid if uid is DEFAULT_UID else _check_uid(uid))
        return cx.load_der_x509_certificate(
            _tlv(_SEQUENCE, tbs + _SM3_WITH_SM2_ALGORITHM + _tlv(_BIT_STRING, b"\0" + signature))
        )


class CertificateSigningRequestBuilder:
    """cryptography's ``CertificateSigningRequestBuilder`` for PKCS#10 requests signed with SM3withSM2.

    Every method returns a new builder; :meth:`sign` returns a ``cryptography.x509.CertificateSigningRequest``."""

    def __init__(
        self,
        subject_name: cx.Name | None = None,
        extensions: Sequence[cx.Extension[cx.ExtensionType]] = (),
        attributes: Sequence[tuple[cx.ObjectIdentifier, bytes]] = (),
    ) -> None:
        self._subject_name = subject_name
        self._extensions = list(extensions)
        self._attributes = list(attributes)

    def subject_name(self, name: cx.Name) -> CertificateSigningRequestBuilder:
        """Sets the subject's distinguished name (once)."""
        if self._subject_name is not None:
            raise ValueError("The subject name may only be set once.")
        return CertificateSigningRequestBuilder(_name(name), self._extensions, self._attributes)

    def add_extension(self, extval: cx.ExtensionType, critical: bool) -> CertificateSigningRequestBuilder:
        """Adds an extension to the request's extensionRequest attribute (each type once)."""
        return CertificateSigningRequestBuilder(
            self._subject_name, _add(self._extensions, extval, critical), self._attributes
        )

    def add_attribute(self, oid: cx.ObjectIdentifier, value: bytes) -> CertificateSigningRequestBuilder:
        """Adds an attribute whose value is written as a UTF8String (e.g. challengePassword)."""
        if not isinstance(oid, cx.ObjectIdentifier) or not isinstance(value, bytes):
            raise TypeError("an attribute is an ObjectIdentifier and a bytes value")
        if oid.dotted_string == _EXTENSION_REQUEST or any(o == oid for o, _ in self._attributes):
            raise ValueError("This attribute has already been set.")
        return CertificateSigningRequestBuilder(self._subject_name, self._extensions, [*self._attributes, (oid, value)])

    def sign(self, private_key: sm2.SM2PrivateKey, uid: bytes = DEFAULT_UID) -> cx.CertificateSigningRequest:
        """The request for ``private_key``'s public key, signed with it (SM3withSM2, signer ID ``uid``)."""
        if not isinstance(private_key, sm2.SM2PrivateKey):
            raise TypeError("certificate requests are signed with an SM2PrivateKey")
        if self._subject_name is None:
            raise ValueError("A CertificateSigningRequest must have a subject")
        attributes = [
            _tlv(_SEQUENCE, _oid(oid.dotted_string) + _tlv(_SET, _tlv(0x0C, value))) for oid, value in self._attributes
        ]
        if self._extensions:
            attributes.append(_tlv(_SEQUENCE, _oid(_EXTENSION_REQUEST) + _tlv(_SET, _extensions(self._extensions))))
        info = _tlv(
            _SEQUENCE,
            b"".join(
                [
                    _integer(0),
                    self._subject_name.public_bytes(),
                    private_key.public_key().public_bytes("der"),
                    _tlv(0xA0, b"".join(sorted(attributes))),  # [0] IMPLICIT SET OF, in DER order
                ]
            ),
        )
        signature = private_key.sign(info, uid=_check_uid(uid))
        return cx.load_der_x509_csr(
            _tlv(_SEQUENCE, info + _SM3_WITH_SM2_ALGORITHM + _tlv(_BIT_STRING, b"\0" + signature))
        )
