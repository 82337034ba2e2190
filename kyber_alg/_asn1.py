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
