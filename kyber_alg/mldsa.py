"""ML-DSA-44, ML-DSA-65 and ML-DSA-87 (FIPS 204) signatures.

The classes and methods have the names and shapes of ``cryptography.hazmat.primitives.asymmetric.mldsa``::

    sk = MLDSA65PrivateKey.generate()                  # or from_seed_bytes(xi), 32 bytes
    signature = sk.sign(b"message", context=b"app")    # hedged: fresh randomness in every signature
    sk.public_key().verify(signature, b"message", context=b"app")   # None, or raises InvalidSignature

Keys are written and read as RFC 9881 PKCS#8 / SubjectPublicKeyInfo (DER or PEM). Private keys are written in
the 32-byte seed form unless another is asked for; reading accepts the seed, expandedKey and "both" forms
(an expanded key must pass the range checks of s1 and s2 and give its own t0 and tr; in the "both" form it must
be the one its seed gives). Malformed input raises ``ValueError`` naming what was wrong, a wrong type
``TypeError``; a signature that does not verify raises ``kyber_alg.exceptions.InvalidSignature``.
"""

from __future__ import annotations

from typing import Any, ClassVar, NamedTuple, Protocol, Union

from kyber_alg import _asn1, _mldsa
from kyber_alg.exceptions import InvalidSignature

__all__ = [
    "MLDSA44PrivateKey",
    "MLDSA44PublicKey",
    "MLDSA65PrivateKey",
    "MLDSA65PublicKey",
    "MLDSA87PrivateKey",
    "MLDSA87PublicKey",
    "MLDSAPrivateKey",
    "MLDSAPublicKey",
    "load_der_private_key",
    "load_der_public_key",
    "load_pem_private_key",
    "load_pem_public_key",
]


class _ParameterSet(NamedTuple):
    name: str
    oid: str
    expanded_key_size: int


_ML_DSA_44 = _ParameterSet("ML-DSA-44", "2.16.840.1.101.3.4.3.17", 2560)
_ML_DSA_65 = _ParameterSet("ML-DSA-65", "2.16.840.1.101.3.4.3.18", 4032)
_ML_DSA_87 = _ParameterSet("ML-DSA-87", "2.16.840.1.101.3.4.3.19", 4896)

# The RFC 9881 private-key CHOICE: seed [0] IMPLICIT OCTET STRING, expandedKey OCTET STRING, both SEQUENCE.
_SEED_TAG = _asn1.context(0, constructed=False)
_FORMS = ("seed", "expanded", "both")


def _format_name(value: object, kinds: tuple[str, ...], what: str) -> str:
    """The lower-case name of an encoding or format: a str, or a member of cryptography's serialization enums."""
    if isinstance(value, str):
        return value.lower()
    if type(value).__name__ in kinds:  # e.g. cryptography's Encoding.PEM: str() gives "Encoding.PEM"
        return str(value).rpartition(".")[2].lower()
    raise TypeError(f"{what} must be a str or cryptography's {' or '.join(kinds)}, not {type(value).__name__}")


def _encoding(encoding: object) -> str:
    name = _format_name(encoding, ("Encoding",), "encoding")
    if name not in ("pem", "der", "raw"):
        raise ValueError(f"encoding must be 'pem', 'der' or 'raw', not {encoding!r}")
    return name


def _check_no_encryption(encryption_algorithm: object) -> None:
    if encryption_algorithm is not None and type(encryption_algorithm).__name__ != "NoEncryption":
        raise ValueError("encrypted private keys are not supported: pass encryption_algorithm=None or NoEncryption()")


class _NativePrivateKey(Protocol):
    @property
    def _set(self) -> _ParameterSet: ...
    def private_bytes_raw(self) -> bytes: ...
    def _has_seed(self) -> bool: ...
    def _expanded_bytes(self) -> bytes: ...


class _NativePublicKey(Protocol):
    @property
    def _set(self) -> _ParameterSet: ...
    def public_bytes_raw(self) -> bytes: ...
    def _verify(self, signature: bytes, data: bytes, context: bytes | None = None) -> bool: ...
    def _verify_mu(self, signature: bytes, mu: bytes) -> bool: ...


class _PrivateKeyMethods:
    """What the three private-key classes add in Python to their native type: the encodings and copies."""

    __slots__ = ()
    _set: ClassVar[_ParameterSet]

    def private_bytes(
        self: _NativePrivateKey,
        encoding: object,
        format: object = None,
        encryption_algorithm: object = None,
        *,
        form: str | None = None,
    ) -> bytes:
        """The key as PKCS#8 (RFC 9881) in PEM or DER, or its raw 32-byte seed.

        ``encoding`` is ``"pem"``, ``"der"`` or ``"raw"`` (or cryptography's ``Encoding`` member), ``format``
        ``"pkcs8"`` or ``"raw"`` (default: the one that goes with the encoding); encryption is not supported.
        ``form`` picks the RFC 9881 private-key form: ``"seed"``, ``"expanded"`` or ``"both"``; by default the
        seed, or the expanded key for a key known only in that form.
        """
        name = _encoding(encoding)
        fmt = (
            ("raw" if name == "raw" else "pkcs8")
            if format is None
            else _format_name(format, ("PrivateFormat",), "format")
        )
        _check_no_encryption(encryption_algorithm)
        if (name == "raw") != (fmt == "raw"):
            raise ValueError("the raw encoding and the raw format go only together")
        if fmt == "raw":
            return self.private_bytes_raw()
        if fmt != "pkcs8":
            raise ValueError(f"format must be 'pkcs8' or 'raw' for an ML-DSA private key, not {format!r}")
        if form is None:
            form = "seed" if self._has_seed() else "expanded"
        if form not in _FORMS:
            raise ValueError(f"form must be one of {', '.join(map(repr, _FORMS))}, not {form!r}")
        if form == "seed":
            inner = _asn1.tlv(_SEED_TAG, self.private_bytes_raw())
        elif form == "expanded":
            inner = _asn1.octet_string(self._expanded_bytes())
        else:
            inner = _asn1.sequence(
                _asn1.octet_string(self.private_bytes_raw()), _asn1.octet_string(self._expanded_bytes())
            )
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

    def verify(self: _NativePublicKey, signature: bytes, data: bytes, context: bytes | None = None) -> None:
        """Checks an ML-DSA signature of data under the context (at most 255 bytes); raises InvalidSignature
        if it does not verify (a signature of the wrong length included)."""
        if not self._verify(signature, data, context):
            raise InvalidSignature(f"the {self._set.name} signature does not verify")

    def verify_mu(self: _NativePublicKey, signature: bytes, mu: bytes) -> None:
        """Checks a signature of the 64-byte message representative mu; raises InvalidSignature if it fails."""
        if not self._verify_mu(signature, mu):
            raise InvalidSignature(f"the {self._set.name} signature does not verify")

    def public_bytes(self: _NativePublicKey, encoding: object, format: object = None) -> bytes:
        """The key as SubjectPublicKeyInfo (RFC 9881) in PEM or DER, or raw (pkEncode(rho, t1)).

        ``encoding`` is ``"pem"``, ``"der"`` or ``"raw"`` (or cryptography's ``Encoding`` member), ``format``
        ``"subjectpublickeyinfo"`` or ``"raw"`` (default: the one that goes with the encoding).
        """
        name = _encoding(encoding)
        fmt = (
            ("raw" if name == "raw" else "subjectpublickeyinfo")
            if format is None
            else _format_name(format, ("PublicFormat",), "format")
        )
        if (name == "raw") != (fmt == "raw"):
            raise ValueError("the raw encoding and the raw format go only together")
        if fmt == "raw":
            return self.public_bytes_raw()
        if fmt != "subjectpublickeyinfo":
            raise ValueError(f"format must be 'subjectpublickeyinfo' or 'raw' for an ML-DSA public key, not {format!r}")
        der = _asn1.subject_public_key_info(self._set.oid, self.public_bytes_raw())
        return _asn1.pem_encode("PUBLIC KEY", der) if name == "pem" else der

    def __copy__(self) -> Any:
        return self

    def __deepcopy__(self, memo: dict[int, object]) -> Any:
        return self

    def __repr__(self) -> str:
        return f"<{type(self).__name__} ({self._set.name})>"


class MLDSA44PublicKey(_mldsa.MLDSA44PublicKey, _PublicKeyMethods):
    """An ML-DSA-44 public key (1312 bytes)."""

    __slots__ = ()
    _set = _ML_DSA_44


class MLDSA44PrivateKey(_mldsa.MLDSA44PrivateKey, _PrivateKeyMethods):
    """An ML-DSA-44 private key; its raw form is the 32-byte seed xi."""

    __slots__ = ()
    _set = _ML_DSA_44

    def public_key(self) -> MLDSA44PublicKey:
        """The matching public key."""
        return self._public_key(MLDSA44PublicKey)


class MLDSA65PublicKey(_mldsa.MLDSA65PublicKey, _PublicKeyMethods):
    """An ML-DSA-65 public key (1952 bytes)."""

    __slots__ = ()
    _set = _ML_DSA_65


class MLDSA65PrivateKey(_mldsa.MLDSA65PrivateKey, _PrivateKeyMethods):
    """An ML-DSA-65 private key; its raw form is the 32-byte seed xi."""

    __slots__ = ()
    _set = _ML_DSA_65

    def public_key(self) -> MLDSA65PublicKey:
        """The matching public key."""
        return self._public_key(MLDSA65PublicKey)


class MLDSA87PublicKey(_mldsa.MLDSA87PublicKey, _PublicKeyMethods):
    """An ML-DSA-87 public key (2592 bytes)."""

    __slots__ = ()
    _set = _ML_DSA_87


class MLDSA87PrivateKey(_mldsa.MLDSA87PrivateKey, _PrivateKeyMethods):
    """An ML-DSA-87 private key; its raw form is the 32-byte seed xi."""

    __slots__ = ()
    _set = _ML_DSA_87

    def public_key(self) -> MLDSA87PublicKey:
        """The matching public key."""
        return self._public_key(MLDSA87PublicKey)


MLDSAPrivateKey = Union[MLDSA44PrivateKey, MLDSA65PrivateKey, MLDSA87PrivateKey]
"""Any ML-DSA private key (a type alias)."""
MLDSAPublicKey = Union[MLDSA44PublicKey, MLDSA65PublicKey, MLDSA87PublicKey]
"""Any ML-DSA public key (a type alias)."""

_PRIVATE_CLASSES: dict[str, type[MLDSAPrivateKey]] = {
    c._set.oid: c for c in (MLDSA44PrivateKey, MLDSA65PrivateKey, MLDSA87PrivateKey)
}
_PUBLIC_CLASSES: dict[str, type[MLDSAPublicKey]] = {
    c._set.oid: c for c in (MLDSA44PublicKey, MLDSA65PublicKey, MLDSA87PublicKey)
}


def _ml_dsa_algorithm(algorithm: _asn1.AlgorithmIdentifier, what: str) -> str:
    if algorithm.oid not in _PRIVATE_CLASSES:
        raise ValueError(f"{what}: the key is {_asn1.algorithm_name(algorithm.oid)}, not ML-DSA")
    if algorithm.parameters is not None:
        raise ValueError(f"{what}: an ML-DSA algorithm identifier has no parameters")
    return algorithm.oid


def _expanded(content: bytes, parameter_set: _ParameterSet, what: str) -> bytes:
    if len(content) != parameter_set.expanded_key_size:
        others = [s.name for s in (_ML_DSA_44, _ML_DSA_65, _ML_DSA_87) if s.expanded_key_size == len(content)]
        hint = f" (the size of an {others[0]} key)" if others else ""
        raise ValueError(
            f"{what}: an {parameter_set.name} expanded key is {parameter_set.expanded_key_size} bytes, "
            f"found {len(content)}{hint}"
        )
    return content


def _seed(content: bytes, parameter_set: _ParameterSet, what: str) -> bytes:
    if len(content) != 32:
        raise ValueError(f"{what}: an {parameter_set.name} seed is 32 bytes, found {len(content)}")
    return content


def load_der_private_key(data: bytes, password: bytes | None = None) -> MLDSAPrivateKey:
    """An ML-DSA private key from PKCS#8 DER (RFC 9881: seed, expandedKey or both; "both" must agree)."""
    what = "ML-DSA private key"
    if password is not None:
        raise TypeError("Password was given but private key is not encrypted.")
    info = _asn1.read_private_key_info(bytes(data), what)
    cls = _PRIVATE_CLASSES[_ml_dsa_algorithm(info.algorithm, what)]
    parameter_set = cls._set
    choice, rest = _asn1.read_one(info.private_key, what)
    if rest:
        raise ValueError(f"{what}: trailing data after the private key")
    key: MLDSAPrivateKey
    if choice.tag == _SEED_TAG:
        key = cls.from_seed_bytes(_seed(choice.content, parameter_set, what))
    elif choice.tag == _asn1.OCTET_STRING:
        key = cls._from_expanded(_expanded(choice.content, parameter_set, what), None)
    elif choice.tag == _asn1.SEQUENCE:
        parts = _asn1.read_elements(choice.content, what)
        if len(parts) != 2 or any(p.tag != _asn1.OCTET_STRING for p in parts):
            raise ValueError(f"{what}: the 'both' form is a SEQUENCE of the seed and the expanded key")
        key = cls._from_expanded(
            _expanded(parts[1].content, parameter_set, what), _seed(parts[0].content, parameter_set, what)
        )
    else:
        raise ValueError(f"{what}: DER tag 0x{choice.tag:02x} is none of the seed, expandedKey and both forms")
    if info.public_key is not None and info.public_key != key.public_key().public_bytes_raw():
        raise ValueError(f"{what}: the public key stored beside the private key does not belong to it")
    return key


def load_pem_private_key(data: bytes, password: bytes | None = None) -> MLDSAPrivateKey:
    """An ML-DSA private key from a PEM "PRIVATE KEY" block (see load_der_private_key)."""
    _, der = _asn1.pem_decode(data, ("PRIVATE KEY",), "ML-DSA private key")
    return load_der_private_key(der, password)


def load_der_public_key(data: bytes) -> MLDSAPublicKey:
    """An ML-DSA public key from SubjectPublicKeyInfo DER (RFC 9881)."""
    what = "ML-DSA public key"
    algorithm, key = _asn1.read_subject_public_key_info(bytes(data), what)
    return _PUBLIC_CLASSES[_ml_dsa_algorithm(algorithm, what)].from_public_bytes(key)


def load_pem_public_key(data: bytes) -> MLDSAPublicKey:
    """An ML-DSA public key from a PEM "PUBLIC KEY" block (see load_der_public_key)."""
    _, der = _asn1.pem_decode(data, ("PUBLIC KEY",), "ML-DSA public key")
    return load_der_public_key(der)
