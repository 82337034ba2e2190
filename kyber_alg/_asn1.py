"""The DER and PEM needed for key and ciphertext encodings: a strict reader and a minimal writer.

The reader accepts only DER (definite, minimal lengths; minimal INTEGERs; no trailing bytes), so every
value has one encoding and a parsed object re-encodes to the bytes it came from. Every malformed input
raises ValueError with what was wrong.
"""

from __future__ import annotations

import base64
import binascii
import re
from typing import NamedTuple

SEQUENCE = 0x30
INTEGER = 0x02
BIT_STRING = 0x03
OCTET_STRING = 0x04
NULL = 0x05
OID = 0x06


def context(number: int, constructed: bool = True) -> int:
    """The tag byte of a context-specific [number] field."""
    return 0x80 | (0x20 if constructed else 0) | number


# ---------------------------------------------------------------- writing


def _length(n: int) -> bytes:
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def tlv(tag: int, content: bytes) -> bytes:
    return bytes([tag]) + _length(len(content)) + content


def sequence(*items: bytes) -> bytes:
    return tlv(SEQUENCE, b"".join(items))


def integer(value: int) -> bytes:
    """A minimal two's-complement INTEGER."""
    size = value.bit_length() // 8 + 1 if value >= 0 else (value + 1).bit_length() // 8 + 1
    return tlv(INTEGER, value.to_bytes(size, "big", signed=True))


def octet_string(content: bytes) -> bytes:
    return tlv(OCTET_STRING, content)


def bit_string(content: bytes) -> bytes:
    """A BIT STRING of whole bytes (no unused bits)."""
    return tlv(BIT_STRING, b"\x00" + content)


def oid(dotted: str) -> bytes:
    arcs = [int(a) for a in dotted.split(".")]
    body = bytearray()
    for value in [arcs[0] * 40 + arcs[1], *arcs[2:]]:
        chunk = [value & 0x7F]
        value >>= 7
        while value:
            chunk.append(0x80 | (value & 0x7F))
            value >>= 7
        body += bytes(reversed(chunk))
    return tlv(OID, bytes(body))


# ---------------------------------------------------------------- reading


class Element(NamedTuple):
    tag: int
    content: bytes


def read_one(data: bytes, what: str) -> tuple[Element, bytes]:
    """The first element of data and what follows it."""
    if len(data) < 2:
        raise ValueError(f"{what}: truncated DER")
    tag, first = data[0], data[1]
    if tag & 0x1F == 0x1F:
        raise ValueError(f"{what}: unsupported DER tag")
    if first < 0x80:
        length, start = first, 2
    else:
        count = first & 0x7F
        if count == 0 or count > 4 or len(data) < 2 + count:
            raise ValueError(f"{what}: bad DER length")
        length = int.from_bytes(data[2 : 2 + count], "big")
        if length < 0x80 or data[2] == 0:
            raise ValueError(f"{what}: DER length not in its shortest form")
        start = 2 + count
    if len(data) - start < length:
        raise ValueError(f"{what}: truncated DER")
    return Element(tag, bytes(data[start : start + length])), bytes(data[start + length :])


def read_exact(data: bytes, tag: int, what: str) -> bytes:
    """The content of the single element that makes up all of data, which must carry tag."""
    element, rest = read_one(data, what)
    if rest:
        raise ValueError(f"{what}: trailing data after DER")
    if element.tag != tag:
        raise ValueError(f"{what}: expected DER tag 0x{tag:02x}, found 0x{element.tag:02x}")
    return element.content


def read_elements(content: bytes, what: str) -> list[Element]:
    """Every element of a constructed value's content."""
    items = []
    while content:
        element, content = read_one(content, what)
        items.append(element)
    return items


def read_integer(element: Element, what: str) -> int:
    """A non-negative minimal INTEGER."""
    c = element.content
    if element.tag != INTEGER or not c:
        raise ValueError(f"{what}: expected an INTEGER")
    if len(c) > 1 and ((c[0] == 0 and c[1] < 0x80) or (c[0] == 0xFF and c[1] >= 0x80)):
        raise ValueError(f"{what}: INTEGER not in its shortest form")
    if c[0] & 0x80:
        raise ValueError(f"{what}: negative INTEGER")
    return int.from_bytes(c, "big")


def read_bit_string(element: Element, what: str) -> bytes:
    if element.tag != BIT_STRING or not element.content or element.content[0] != 0:
        raise ValueError(f"{what}: expected a BIT STRING of whole bytes")
    return element.content[1:]


def read_oid(element: Element, what: str) -> str:
    c = element.content
    if element.tag != OID or not c or c[-1] & 0x80:
        raise ValueError(f"{what}: expected an OBJECT IDENTIFIER")
    arcs, value = [], 0
    for i, byte in enumerate(c):
        if value == 0 and byte == 0x80 and (i == 0 or not c[i - 1] & 0x80):
            raise ValueError(f"{what}: OBJECT IDENTIFIER not in its shortest form")
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            arcs.append(value)
            value = 0
    first = min(arcs[0] // 40, 2)
    return ".".join(map(str, [first, arcs[0] - 40 * first, *arcs[1:]]))


# ---------------------------------------------------------------- key containers

# Names of algorithm identifiers a key file of another kind may carry, for error messages.
KNOWN_ALGORITHMS = {
    "1.2.840.113549.1.1.1": "RSA",
    "1.2.840.10045.2.1": "EC",
    "1.3.101.110": "X25519",
    "1.3.101.111": "X448",
    "1.3.101.112": "Ed25519",
    "1.3.101.113": "Ed448",
    "1.2.156.10197.1.301": "SM2",
    "2.16.840.1.101.3.4.3.17": "ML-DSA-44",
    "2.16.840.1.101.3.4.3.18": "ML-DSA-65",
    "2.16.840.1.101.3.4.3.19": "ML-DSA-87",
    "2.16.840.1.101.3.4.4.1": "ML-KEM-512",
    "2.16.840.1.101.3.4.4.2": "ML-KEM-768",
    "2.16.840.1.101.3.4.4.3": "ML-KEM-1024",
}


def algorithm_name(dotted: str) -> str:
    """A readable name of an algorithm OID: its usual name when known, and the OID itself."""
    name = KNOWN_ALGORITHMS.get(dotted)
    return f"{name} ({dotted})" if name else f"OID {dotted}"


class AlgorithmIdentifier(NamedTuple):
    oid: str
    parameters: bytes | None    # the DER of the parameters, if present


def algorithm_identifier(dotted: str) -> bytes:
    """An AlgorithmIdentifier with absent parameters."""
    return sequence(oid(dotted))


def read_algorithm_identifier(element: Element, what: str) -> AlgorithmIdentifier:
    items = read_elements(element.content, what) if element.tag == SEQUENCE else []
    if not 1 <= len(items) <= 2:
        raise ValueError(f"{what}: expected an AlgorithmIdentifier")
    parameters = None if len(items) == 1 else tlv(items[1].tag, items[1].content)
    return AlgorithmIdentifier(read_oid(items[0], what), parameters)


def subject_public_key_info(dotted: str, key: bytes) -> bytes:
    """SubjectPublicKeyInfo (RFC 5280) with absent algorithm parameters."""
    return sequence(algorithm_identifier(dotted), bit_string(key))


def read_subject_public_key_info(der: bytes, what: str) -> tuple[AlgorithmIdentifier, bytes]:
    """(algorithm, subjectPublicKey) of a SubjectPublicKeyInfo that makes up all of der."""
    items = read_elements(read_exact(der, SEQUENCE, what), what)
    if len(items) != 2:
        raise ValueError(f"{what}: a SubjectPublicKeyInfo has 2 fields, found {len(items)}")
    return read_algorithm_identifier(items[0], what), read_bit_string(items[1], what)


class PrivateKeyInfo(NamedTuple):
    version: int
    algorithm: AlgorithmIdentifier
    private_key: bytes              # the content of the privateKey OCTET STRING
    public_key: bytes | None        # [1] publicKey of a version 2 OneAsymmetricKey


def private_key_info(dotted: str, private_key: bytes) -> bytes:
    """A version 1 PKCS#8 PrivateKeyInfo (RFC 5958 OneAsymmetricKey v1) without attributes."""
    return sequence(integer(0), algorithm_identifier(dotted), octet_string(private_key))


def read_private_key_info(der: bytes, what: str) -> PrivateKeyInfo:
    """A PKCS#8 OneAsymmetricKey (v1 or v2) that makes up all of der; attributes are skipped."""
    items = read_elements(read_exact(der, SEQUENCE, what), what)
    if len(items) < 3:
        raise ValueError(f"{what}: a PKCS#8 private key has at least 3 fields, found {len(items)}")
    version = read_integer(items[0], what)
    if version not in (0, 1):
        raise ValueError(f"{what}: unsupported PKCS#8 version {version + 1}")
    algorithm = read_algorithm_identifier(items[1], what)
    if items[2].tag != OCTET_STRING:
        raise ValueError(f"{what}: the privateKey field is not an OCTET STRING")
    public_key, rest = None, items[3:]
    if rest and rest[0].tag == context(0):            # attributes
        rest = rest[1:]
    if rest and rest[0].tag == context(1, constructed=False) and version == 1:
        public_key = read_bit_string(Element(BIT_STRING, rest[0].content), what)
        rest = rest[1:]
    if rest:
        raise ValueError(f"{what}: unexpected field with DER tag 0x{rest[0].tag:02x} in the PKCS#8 private key")
    return PrivateKeyInfo(version, algorithm, items[2].content, public_key)


# ---------------------------------------------------------------- PEM

_PEM = re.compile(rb"-----BEGIN ([A-Z0-9 ]+)-----\r?\n(.*?)-----END \1-----", re.S)


def pem_encode(label: str, der: bytes) -> bytes:
    body = base64.b64encode(der)
    lines = [body[i : i + 64] for i in range(0, len(body), 64)]
    return b"".join([f"-----BEGIN {label}-----\n".encode(), *(line + b"\n" for line in lines),
                     f"-----END {label}-----\n".encode()])


def pem_decode(data: bytes, labels: tuple[str, ...], what: str) -> tuple[str, bytes]:
    """The label and DER of the first PEM block in data; its label must be one of labels."""
    match = _PEM.search(bytes(data))
    if match is None:
        raise ValueError(f"{what}: no PEM block found")
    label = match.group(1).decode()
    if label not in labels:
        raise ValueError(f"{what}: PEM label {label!r} is not one of {', '.join(map(repr, labels))}")
    try:
        return label, base64.b64decode(b"".join(match.group(2).split()), validate=True)
    except binascii.Error as exc:
        raise ValueError(f"{what}: PEM body is not valid base64") from exc
