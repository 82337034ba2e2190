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

from typing import Any, ClassVar, NamedTuple, Protocol, Union

from kyber_alg import _asn1, _mlkem

__all__ = [
    "MLKEM512PrivateKey", "MLKEM512PublicKey", "MLKEM768PrivateKey", "MLKEM768PublicKey",
    "MLKEM1024PrivateKey", "MLKEM1024PublicKey", "MLKEMPrivateKey", "MLKEMPublicKey",
    "load_der_private_key", "load_der_public_key", "load_pem_private_key", "load_pem_public_key",
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


def _format_name(value: object, kinds: tuple[str, ...], what: str) -> str:
    """The lower-case name of an encoding or format: a str, or a member of cryptography's serialization enums."""
    if isinstance(value, str):
        return value.lower()
    if type(value).__name__ in kinds:               # e.g. cryptography's Encoding.PEM: str() gives "Encoding.PEM"
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

    def private_bytes(self: _NativePrivateKey, encoding: object, format: object = None,
                      encryption_algorithm: object = None) -> bytes:
        """The key as PKCS#8 (RFC 9935) in PEM or DER, or its raw 64-byte seed.

        ``encoding`` is ``"pem"``, ``"der"`` or ``"raw"`` (or cryptography's ``Encoding`` member), ``format``
        ``"pkcs8"`` or ``"raw"`` (default: the one that goes with the encoding); encryption is not supported.
        A key known only in its expanded form is written in the expandedKey form.
        """
        name = _encoding(encoding)
        fmt = ("raw" if name == "raw" else "pkcs8") if format is None else \
            _format_name(format, ("PrivateFormat",), "format")
        _check_no_encryption(encryption_algorithm)
        if (name == "raw") != (fmt == "raw"):
            raise ValueError("the raw encoding and the raw format go only together")
        if fmt == "raw":
            return self.private_bytes_raw()
        if fmt != "pkcs8":
            raise ValueError(f"format must be 'pkcs8' or 'raw' for an ML-KEM private key, not {format!r}")
        if self._has_seed():
            inner = _asn1.tlv(_SEED_TAG, self.private_bytes_raw())
        else:
            inner = _asn1.octet_string(self._expanded_bytes())
        der = _asn1.private_key_info(self._set.oid, inner)
        return _asn1.pem_encode("PRIVATE KEY", der) if name == "pem" else der

    def __copy__(self) -> Any:
        return self                                 # keys never change

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
        name = _encoding(encoding)
        fmt = ("raw" if name == "raw" else "subjectpublickeyinfo") if format is None else \
            _format_name(format, ("PublicFormat",), "format")
        if (name == "raw") != (fmt == "raw"):
            raise ValueError("the raw encoding and the raw format go only together")
        if fmt == "raw":
            return self.public_bytes_raw()
        if fmt != "subjectpublickeyinfo":
            raise ValueError(f"format must be 'subjectpublickeyinfo' or 'raw' for an ML-KEM public key, not {format!r}")
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
    c._set.oid: c for c in (MLKEM512PrivateKey, MLKEM768PrivateKey, MLKEM1024PrivateKey)}
_PUBLIC_CLASSES: dict[str, type[MLKEMPublicKey]] = {
    c._set.oid: c for c in (MLKEM512PublicKey, MLKEM768PublicKey, MLKEM1024PublicKey)}


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
        raise ValueError(f"{what}: an {parameter_set.name} expanded key is {parameter_set.expanded_key_size} bytes, "
                         f"found {len(content)}{hint}")
    return content


def _seed(element: _asn1.Element, parameter_set: _ParameterSet, what: str) -> bytes:
    if len(element.content) != 64:
        raise ValueError(f"{what}: an {parameter_set.name} seed is 64 bytes, found {len(element.content)}")
    return element.content


def load_der_private_key(data: bytes, password: bytes | None = None) -> MLKEMPrivateKey:
    """An ML-KEM private key from PKCS#8 DER (RFC 9935: seed, expandedKey or both; "both" must agree)."""
    what = "ML-KEM private key"
    if password is not None:
        raise TypeError("Password was given but private key is not encrypted.")
    info = _asn1.read_private_key_info(bytes(data), what)
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


def load_pem_private_key(data: bytes, password: bytes | None = None) -> MLKEMPrivateKey:
    """An ML-KEM private key from a PEM "PRIVATE KEY" block (see load_der_private_key)."""
    _, der = _asn1.pem_decode(data, ("PRIVATE KEY",), "ML-KEM private key")
    return load_der_private_key(der, password)


def load_der_public_key(data: bytes) -> MLKEMPublicKey:
    """An ML-KEM public key from SubjectPublicKeyInfo DER (RFC 9935), after the FIPS 203 modulus check."""
    what = "ML-KEM public key"
    algorithm, key = _asn1.read_subject_public_key_info(bytes(data), what)
    return _PUBLIC_CLASSES[_ml_kem_algorithm(algorithm, what)].from_public_bytes(key)


def load_pem_public_key(data: bytes) -> MLKEMPublicKey:
    """An ML-KEM public key from a PEM "PUBLIC KEY" block (see load_der_public_key)."""
    _, der = _asn1.pem_decode(data, ("PUBLIC KEY",), "ML-KEM public key")
    return load_der_public_key(der)
