"""ML-KEM-512, ML-KEM-768 and ML-KEM-1024 (FIPS 203) key encapsulation.

The classes and methods have the names and shapes of ``cryptography.hazmat.primitives.asymmetric.mlkem``
(which offers ML-KEM-768 and ML-KEM-1024), plus ML-KEM-512::

    sk = MLKEM768PrivateKey.generate()                 # or from_seed_bytes(d + z)
    pk = sk.public_key()
    shared_secret, ciphertext = pk.encapsulate()
    assert sk.decapsulate(ciphertext) == shared_secret

Keys are written and read as RFC 9935 PKCS#8 / SubjectPublicKeyInfo (DER or PEM). Private keys are written in
the 64-byte seed form; reading accepts the seed, expanded and "both" forms. Public keys pass the modulus check
of FIPS 203 section 7.2 and expanded private keys the hash check of section 7.3 when read. Malformed input raises
``ValueError`` naming what was wrong, a wrong type ``TypeError``.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, ClassVar, Final, NamedTuple, Protocol, Union

from kyber_alg import _asn1, _mlkem
from kyber_alg._args import check_no_encryption, check_no_password, read_bytes, read_name

if TYPE_CHECKING:
    from typing_extensions import Buffer

__all__ = [
    "MLKEM512PrivateKey",
    "MLKEM512PublicKey",
    "MLKEM768PrivateKey",
    "MLKEM768PublicKey",
    "MLKEM1024PrivateKey",
    "MLKEM1024PublicKey",
    "MLKEMPrivateKey",
    "MLKEMPublicKey",
    "load_der_private_key",
    "load_der_public_key",
    "load_pem_private_key",
    "load_pem_public_key",
]


class _ParameterSet(NamedTuple):
    name: str
    oid: str
    expanded_key_size: int


_ML_KEM_512 = _ParameterSet("ML-KEM-512", "2.16.840.1.101.3.4.4.1", 1632)
_ML_KEM_768 = _ParameterSet("ML-KEM-768", "2.16.840.1.101.3.4.4.2", 2400)
_ML_KEM_1024 = _ParameterSet("ML-KEM-1024", "2.16.840.1.101.3.4.4.3", 3168)

# The RFC 9935 private-key CHOICE: seed [0] IMPLICIT OCTET STRING, expandedKey OCTET STRING, both SEQUENCE.
_SEED_TAG = _asn1.context(0, constructed=False)


_ENCODINGS = {"pem": "pem", "der": "der", "raw": "raw"}
_PRIVATE_FORMATS = {"pkcs8": "pkcs8", "raw": "raw"}
_PUBLIC_FORMATS = {"subjectpublickeyinfo": "subjectpublickeyinfo", "raw": "raw"}


class _NativePrivateKey(Protocol):
    """What _PrivateKeyMethods uses of the native private-key types."""

    @property
    def _set(self) -> _ParameterSet: ...
    def private_bytes_raw(self) -> bytes: ...
    def _has_seed(self) -> bool: ...
    def _expanded_bytes(self) -> bytes: ...


class _NativePublicKey(Protocol):
    """What _PublicKeyMethods uses of the native public-key types."""

    @property
    def _set(self) -> _ParameterSet: ...
    def public_bytes_raw(self) -> bytes: ...


class _PrivateKeyMethods:
    """What the three private-key classes add in Python to their native type: the encodings and copies."""

    __slots__ = ()
    _set: ClassVar[_ParameterSet]

    def private_bytes(
        self: _NativePrivateKey, encoding: object, format: object = None, encryption_algorithm: object = None
    ) -> bytes:
        """The key as PKCS#8 (RFC 9935) in PEM or DER, or its raw 64-byte seed.

        ``encoding`` is ``"pem"``, ``"der"`` or ``"raw"`` (or cryptography's ``Encoding`` member), ``format``
        ``"pkcs8"`` or ``"raw"`` (default: the one that goes with the encoding); encryption is not supported.
        A key known only in its expanded form is written in the expandedKey form.
        """
        name = read_name(encoding, "encoding", ("Encoding",), _ENCODINGS)
        fmt = (
            ("raw" if name == "raw" else "pkcs8")
            if format is None
            else read_name(format, "format", ("PrivateFormat",), _PRIVATE_FORMATS)
        )
        check_no_encryption(encryption_algorithm)
        if (name == "raw") != (fmt == "raw"):
            raise ValueError("the raw encoding and the raw format go only together")
        if fmt == "raw":
            return self.private_bytes_raw()
        if self._has_seed():
            inner = _asn1.tlv(_SEED_TAG, self.private_bytes_raw())
        else:
            inner = _asn1.octet_string(self._expanded_bytes())
        der = _asn1.private_key_info(self._set.oid, inner)
        return _asn1.pem_encode("PRIVATE KEY", der) if name == "pem" else der

    def __copy__(self) -> Any:
        return self  # keys never change

    def __deepcopy__(self, memo: dict[int, object]) -> Any:
        return self

    def __repr__(self) -> str:
        return f"<{type(self).__name__} ({self._set.name})>"


class _PublicKeyMethods:
    """What the three public-key classes add in Python to their native type."""

    __slots__ = ()
    _set: ClassVar[_ParameterSet]

    def public_bytes(self: _NativePublicKey, encoding: object, format: object = None) -> bytes:
        """The key as SubjectPublicKeyInfo (RFC 9935) in PEM or DER, or raw (the encapsulation key ek).

        ``encoding`` is ``"pem"``, ``"der"`` or ``"raw"`` (or cryptography's ``Encoding`` member), ``format``
        ``"subjectpublickeyinfo"`` or ``"raw"`` (default: the one that goes with the encoding).
        """
        name = read_name(encoding, "encoding", ("Encoding",), _ENCODINGS)
        fmt = (
            ("raw" if name == "raw" else "subjectpublickeyinfo")
            if format is None
            else read_name(format, "format", ("PublicFormat",), _PUBLIC_FORMATS)
        )
        if (name == "raw") != (fmt == "raw"):
            raise ValueError("the raw encoding and the raw format go only together")
        if fmt == "raw":
            return self.public_bytes_raw()
        der = _asn1.subject_public_key_info(self._set.oid, self.public_bytes_raw())
        return _asn1.pem_encode("PUBLIC KEY", der) if name == "pem" else der

    def __copy__(self) -> Any:
        return self

    def __deepcopy__(self, memo: dict[int, object]) -> Any:
        return self

    def __repr__(self) -> str:
        return f"<{type(self).__name__} ({self._set.name})>"


class MLKEM512PublicKey(_mlkem.MLKEM512PublicKey, _PublicKeyMethods):
    """An ML-KEM-512 public key (encapsulation key, 800 bytes)."""

    __slots__ = ()
    _set = _ML_KEM_512


class MLKEM512PrivateKey(_mlkem.MLKEM512PrivateKey, _PrivateKeyMethods):
    """An ML-KEM-512 private key (decapsulation key); its raw form is the 64-byte seed d || z."""

    __slots__ = ()
    _set = _ML_KEM_512

    def public_key(self) -> MLKEM512PublicKey:
        """The matching ML-KEM-512 public key (encapsulation key)."""
        return self._public_key(MLKEM512PublicKey)


class MLKEM768PublicKey(_mlkem.MLKEM768PublicKey, _PublicKeyMethods):
    """An ML-KEM-768 public key (encapsulation key, 1184 bytes)."""

    __slots__ = ()
    _set = _ML_KEM_768


class MLKEM768PrivateKey(_mlkem.MLKEM768PrivateKey, _PrivateKeyMethods):
    """An ML-KEM-768 private key (decapsulation key); its raw form is the 64-byte seed d || z."""

    __slots__ = ()
    _set = _ML_KEM_768

    def public_key(self) -> MLKEM768PublicKey:
        """The matching ML-KEM-768 public key (encapsulation key)."""
        return self._public_key(MLKEM768PublicKey)


class MLKEM1024PublicKey(_mlkem.MLKEM1024PublicKey, _PublicKeyMethods):
    """An ML-KEM-1024 public key (encapsulation key, 1568 bytes)."""

    __slots__ = ()
    _set = _ML_KEM_1024


class MLKEM1024PrivateKey(_mlkem.MLKEM1024PrivateKey, _PrivateKeyMethods):
    """An ML-KEM-1024 private key (decapsulation key); its raw form is the 64-byte seed d || z."""

    __slots__ = ()
    _set = _ML_KEM_1024

    def public_key(self) -> MLKEM1024PublicKey:
        """The matching ML-KEM-1024 public key (encapsulation key)."""
        return self._public_key(MLKEM1024PublicKey)


MLKEMPrivateKey = Union[MLKEM512PrivateKey, MLKEM768PrivateKey, MLKEM1024PrivateKey]
"""A private key of any of the three parameter sets, as the loaders return it."""
MLKEMPublicKey = Union[MLKEM512PublicKey, MLKEM768PublicKey, MLKEM1024PublicKey]
"""A public key of any of the three parameter sets, as the loaders return it."""

_PRIVATE_CLASSES: dict[str, type[MLKEMPrivateKey]] = {
    c._set.oid: c for c in (MLKEM512PrivateKey, MLKEM768PrivateKey, MLKEM1024PrivateKey)
}
_PUBLIC_CLASSES: dict[str, type[MLKEMPublicKey]] = {
    c._set.oid: c for c in (MLKEM512PublicKey, MLKEM768PublicKey, MLKEM1024PublicKey)
}

# The exact bytes before dk in PKCS#8 of the expandedKey form (version 0, no attributes or public key):
# such a key goes straight to the one native call; any other DER takes the general parser below.
_EXPANDED_HEADERS: dict[bytes, type[MLKEMPrivateKey]] = {
    _asn1.private_key_info(c._set.oid, _asn1.octet_string(bytes(c._set.expanded_key_size)))[
        : -c._set.expanded_key_size
    ]: c
    for c in _PRIVATE_CLASSES.values()
}
_EXPANDED_HEADER_SIZE: Final = len(next(iter(_EXPANDED_HEADERS)))
assert all(len(header) == _EXPANDED_HEADER_SIZE for header in _EXPANDED_HEADERS)


def _ml_kem_algorithm(algorithm: _asn1.AlgorithmIdentifier, what: str) -> str:
    if algorithm.oid not in _PRIVATE_CLASSES:
        raise ValueError(f"{what}: the key is {_asn1.algorithm_name(algorithm.oid)}, not ML-KEM")
    if algorithm.parameters is not None:
        raise ValueError(f"{what}: an ML-KEM algorithm identifier has no parameters")
    return algorithm.oid


def _expanded(content: bytes, parameter_set: _ParameterSet, what: str) -> bytes:
    if len(content) != parameter_set.expanded_key_size:
        others = [s.name for s in (_ML_KEM_512, _ML_KEM_768, _ML_KEM_1024) if s.expanded_key_size == len(content)]
        hint = f" (the size of an {others[0]} key)" if others else ""
        raise ValueError(
            f"{what}: an {parameter_set.name} expanded key is {parameter_set.expanded_key_size} bytes, "
            f"found {len(content)}{hint}"
        )
    return content


def _seed(element: _asn1.Element, parameter_set: _ParameterSet, what: str) -> bytes:
    if len(element.content) != 64:
        raise ValueError(f"{what}: an {parameter_set.name} seed is 64 bytes, found {len(element.content)}")
    return element.content


def load_der_private_key(data: Buffer, password: Buffer | None = None) -> MLKEMPrivateKey:
    """An ML-KEM private key from PKCS#8 DER (RFC 9935: seed, expandedKey or both; "both" must agree).

    ``data`` is bytes-like (anything else is a ``TypeError``); encrypted keys are refused with ``ValueError``
    and a password for an unencrypted key is a ``TypeError``, as in cryptography.
    """
    what = "ML-KEM private key"
    check_no_password(password)
    data = read_bytes(data, "data")
    expanded = _EXPANDED_HEADERS.get(data[:_EXPANDED_HEADER_SIZE])
    if expanded is not None and len(data) == _EXPANDED_HEADER_SIZE + expanded._set.expanded_key_size:
        return expanded._from_expanded(data[_EXPANDED_HEADER_SIZE:], None)
    info = _asn1.read_private_key_info(data, what)
    cls = _PRIVATE_CLASSES[_ml_kem_algorithm(info.algorithm, what)]
    parameter_set = cls._set
    choice, rest = _asn1.read_one(info.private_key, what)
    if rest:
        raise ValueError(f"{what}: trailing data after the private key")
    key: MLKEMPrivateKey
    if choice.tag == _SEED_TAG:
        key = cls.from_seed_bytes(_seed(choice, parameter_set, what))
    elif choice.tag == _asn1.OCTET_STRING:
        key = cls._from_expanded(_expanded(choice.content, parameter_set, what), None)
    elif choice.tag == _asn1.SEQUENCE:
        parts = _asn1.read_elements(choice.content, what)
        if len(parts) != 2 or any(p.tag != _asn1.OCTET_STRING for p in parts):
            raise ValueError(f"{what}: the 'both' form is a SEQUENCE of the seed and the expanded key")
        key = cls._from_expanded(_expanded(parts[1].content, parameter_set, what), _seed(parts[0], parameter_set, what))
    else:
        raise ValueError(f"{what}: DER tag 0x{choice.tag:02x} is none of the seed, expandedKey and both forms")
    if info.public_key is not None and info.public_key != key.public_key().public_bytes_raw():
        raise ValueError(f"{what}: the public key stored beside the private key does not belong to it")
    return key


def load_pem_private_key(data: str | Buffer, password: Buffer | None = None) -> MLKEMPrivateKey:
    """An ML-KEM private key from a PEM "PRIVATE KEY" block, bytes-like or str (see load_der_private_key)."""
    what = "ML-KEM private key"
    label, der = _asn1.pem_decode(data, ("PRIVATE KEY", "ENCRYPTED PRIVATE KEY"), what)
    if label == "ENCRYPTED PRIVATE KEY":
        raise ValueError(f"{what}: {_asn1.ENCRYPTED_KEY_ADVICE}")
    return load_der_private_key(der, password)


def load_der_public_key(data: Buffer) -> MLKEMPublicKey:
    """An ML-KEM public key from SubjectPublicKeyInfo DER (RFC 9935), after the FIPS 203 modulus check.

    ``data`` is bytes-like; anything else is a ``TypeError``.
    """
    what = "ML-KEM public key"
    algorithm, key = _asn1.read_subject_public_key_info(read_bytes(data, "data"), what)
    return _PUBLIC_CLASSES[_ml_kem_algorithm(algorithm, what)].from_public_bytes(key)


def load_pem_public_key(data: str | Buffer) -> MLKEMPublicKey:
    """An ML-KEM public key from a PEM "PUBLIC KEY" block, bytes-like or str (see load_der_public_key)."""
    _, der = _asn1.pem_decode(data, ("PUBLIC KEY",), "ML-KEM public key")
    return load_der_public_key(der)
