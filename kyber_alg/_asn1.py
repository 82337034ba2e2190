"""The package's one DER and PEM layer: key containers and PEM for every algorithm module.

This module reads and writes the containers (PEM per RFC 7468, SubjectPublicKeyInfo per RFC 5280, PKCS#8
PrivateKeyInfo / OneAsymmetricKey per RFC 5958) and the DER they are made of; each algorithm module decodes
only its own payload (SEC1 for SM2, RFC 9935's private-key choice for ML-KEM, the hybrid's raw keys).

One strictness policy for all of them: the reader accepts only DER (definite, minimal lengths; minimal
INTEGERs; no trailing bytes; every field of a container in its place and at most once), and only PEM in
RFC 7468's strict form but for line length (canonical base64, padding bits zero; written in lines of
64), so every key has one encoding up to its wrapping and a parsed object re-encodes to the bytes it came
from. Every malformed input raises ValueError with what was wrong, and a wrong type TypeError.
"""

from __future__ import annotations

import base64
import binascii
from collections.abc import Iterator
from typing import NamedTuple

from kyber_alg._args import read_bytes

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


# ---------------------------------------------------------------- algorithm identifiers

# Names of the algorithm and curve OIDs a key file may carry, for error messages: the one table of the package.
KNOWN_ALGORITHMS = {
    "1.2.840.113549.1.1.1": "RSA",
    "1.2.840.10040.4.1": "DSA",
    "1.2.840.10045.2.1": "EC",
    "1.2.840.10045.3.1.7": "prime256v1",
    "1.3.132.0.10": "secp256k1",
    "1.3.132.0.34": "secp384r1",
    "1.3.132.0.35": "secp521r1",
    "1.3.36.3.3.2.8.1.1.7": "brainpoolP256r1",
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
    """A readable name of an algorithm or curve OID: its usual name when known, and the OID itself."""
    name = KNOWN_ALGORITHMS.get(dotted)
    return f"{name} ({dotted})" if name else f"OID {dotted}"


class AlgorithmIdentifier(NamedTuple):
    oid: str
    parameters: bytes | None  # the DER of the parameters, if present


def algorithm_identifier(dotted: str, parameters: bytes | None = None) -> bytes:
    """An AlgorithmIdentifier; parameters (DER) absent unless given."""
    return sequence(oid(dotted), parameters or b"")


def read_algorithm_identifier(element: Element, what: str) -> AlgorithmIdentifier:
    items = read_elements(element.content, what) if element.tag == SEQUENCE else []
    if not 1 <= len(items) <= 2:
        raise ValueError(f"{what}: expected an AlgorithmIdentifier")
    parameters = None if len(items) == 1 else tlv(items[1].tag, items[1].content)
    return AlgorithmIdentifier(read_oid(items[0], what), parameters)


# ---------------------------------------------------------------- SubjectPublicKeyInfo (RFC 5280)


def subject_public_key_info(dotted: str, key: bytes, parameters: bytes | None = None) -> bytes:
    """SubjectPublicKeyInfo; algorithm parameters (DER) absent unless given."""
    return sequence(algorithm_identifier(dotted, parameters), bit_string(key))


def read_subject_public_key_info(der: bytes, what: str) -> tuple[AlgorithmIdentifier, bytes]:
    """(algorithm, subjectPublicKey) of a SubjectPublicKeyInfo that makes up all of der."""
    items = read_elements(read_exact(der, SEQUENCE, what), what)
    if len(items) != 2:
        raise ValueError(f"{what}: a SubjectPublicKeyInfo has 2 fields, found {len(items)}")
    return read_algorithm_identifier(items[0], what), read_bit_string(items[1], what)


# ---------------------------------------------------------------- PKCS#8 (RFC 5958)

ENCRYPTED_KEY_ADVICE = "encrypted private keys are not supported: decrypt it first (openssl pkey -in KEY -out PLAIN)"


class PrivateKeyInfo(NamedTuple):
    version: int
    algorithm: AlgorithmIdentifier
    private_key: bytes  # the content of the privateKey OCTET STRING
    public_key: bytes | None  # [1] publicKey of a version 2 OneAsymmetricKey


def private_key_info(dotted: str, private_key: bytes, parameters: bytes | None = None) -> bytes:
    """A version 1 PKCS#8 PrivateKeyInfo (RFC 5958 OneAsymmetricKey v1) without attributes."""
    return sequence(integer(0), algorithm_identifier(dotted, parameters), octet_string(private_key))


def _read_attributes(element: Element, what: str) -> None:
    """[0] Attributes: a SET OF Attribute { type OBJECT IDENTIFIER, values SET }; read to check, then dropped."""
    for attribute in read_elements(element.content, what):
        fields = read_elements(attribute.content, what) if attribute.tag == SEQUENCE else []
        if len(fields) != 2 or fields[1].tag != 0x31:
            raise ValueError(f"{what}: a PKCS#8 attribute is a SEQUENCE of an OBJECT IDENTIFIER and a SET")
        read_oid(fields[0], what)


def read_private_key_info(der: bytes, what: str) -> PrivateKeyInfo:
    """A PKCS#8 OneAsymmetricKey (v1 or v2) that makes up all of der.

    The fields after privateKey are [0] attributes (checked, then dropped) and, in version 2 only,
    [1] publicKey, each at most once and in that order; anything else is refused. An encrypted PKCS#8
    key (EncryptedPrivateKeyInfo) is refused with advice.
    """
    items = read_elements(read_exact(der, SEQUENCE, what), what)
    if len(items) == 2 and items[0].tag == SEQUENCE and items[1].tag == OCTET_STRING:
        raise ValueError(f"{what}: this is an encrypted PKCS#8 key (EncryptedPrivateKeyInfo); {ENCRYPTED_KEY_ADVICE}")
    if len(items) < 3:
        raise ValueError(f"{what}: a PKCS#8 private key has at least 3 fields, found {len(items)}")
    version = read_integer(items[0], what)
    if version not in (0, 1):
        raise ValueError(f"{what}: unsupported PKCS#8 version {version + 1}")
    algorithm = read_algorithm_identifier(items[1], what)
    if items[2].tag != OCTET_STRING:
        raise ValueError(f"{what}: the privateKey field is not an OCTET STRING")
    public_key, rest = None, items[3:]
    if rest and rest[0].tag == context(0):
        _read_attributes(rest[0], what)
        rest = rest[1:]
    if rest and rest[0].tag == context(1, constructed=False) and version == 1:
        public_key = read_bit_string(Element(BIT_STRING, rest[0].content), what)
        rest = rest[1:]
    if rest:
        where = " (a version 1 key has no [1] publicKey)" if rest[0].tag == context(1, constructed=False) else ""
        raise ValueError(f"{what}: unexpected field with DER tag 0x{rest[0].tag:02x} in the PKCS#8 private key{where}")
    return PrivateKeyInfo(version, algorithm, items[2].content, public_key)


# ---------------------------------------------------------------- PEM (RFC 7468)

#: The most a PEM loader reads: a longer input is refused before any search (key files are a few KiB).
MAX_PEM_SIZE = 1 << 20
_LINE = 64  # base64 characters in each full line (RFC 7468's strict form)
_MAX_LABEL = 64  # longer labels are refused (the longest in use has 24 characters)
_BEGIN, _END, _DASHES = b"-----BEGIN ", b"-----END ", b"-----"


def pem_encode(label: str, der: bytes) -> bytes:
    """The strict form: lines of 64 base64 characters, LF line ends."""
    body = base64.b64encode(der)
    lines = [body[i : i + _LINE] for i in range(0, len(body), _LINE)]
    return b"".join(
        [f"-----BEGIN {label}-----\n".encode(), *(line + b"\n" for line in lines), f"-----END {label}-----\n".encode()]
    )


def _error(what: str, message: str) -> ValueError:
    """A ValueError naming the call (what), when given, before the message."""
    return ValueError(f"{what}: {message}" if what else message)


def _pem_text(data: object, what: str) -> bytes:
    """The bytes of a PEM input: a bytes-like object, or a str of ASCII characters; bounded in size."""
    if isinstance(data, str):
        text = data.encode("ascii", "backslashreplace")
        if len(text) != len(data):
            index = next(i for i, c in enumerate(data) if not c.isascii())
            raise _error(what, f"a PEM text is ASCII, found {data[index]!r} at index {index}")
    else:
        text = read_bytes(data, "data")
    if len(text) > MAX_PEM_SIZE:
        raise _error(
            what, f"the PEM input has {len(text)} bytes, more than the {MAX_PEM_SIZE} a PEM key file may have here"
        )
    return text


def _line_end(text: bytes, start: int, stop: int) -> int:
    """The index of the first CR or LF in text[start:stop], or -1."""
    ends = [i for i in (text.find(b"\n", start, stop), text.find(b"\r", start, stop)) if i >= 0]
    return min(ends) if ends else -1


def _pem_blocks(text: bytes, what: str) -> Iterator[tuple[str, bytes]]:
    """(label, body) of each PEM block of text in order, in time linear in len(text).

    A BEGIN line counts only at the start of a line (text before and between blocks is explanatory
    text). Each BEGIN is searched once and its END once from there; a BEGIN without its END stops the
    search with an error, so no input makes the search go back over what it has read.
    """
    pos, longest = 0, len(_BEGIN) + _MAX_LABEL + len(_DASHES)
    while True:
        begin = text.find(_BEGIN, pos)
        if begin < 0:
            return
        if begin and text[begin - 1] not in b"\r\n":
            pos = begin + 1
            continue
        eol = _line_end(text, begin, begin + longest + 1)
        line = text[begin : eol if eol >= 0 else begin + longest + 1]
        label = line[len(_BEGIN) : -len(_DASHES)]
        if eol < 0 or not line.endswith(_DASHES) or not label or _DASHES in label:
            shown = line[:40].decode("ascii", "replace")
            raise _error(
                what,
                f"malformed PEM BEGIN line {shown!r}... (expected '-----BEGIN LABEL-----', a label of "
                f"at most {_MAX_LABEL} characters, and a line end)",
            )
        body_start = eol + 2 if text[eol : eol + 2] == b"\r\n" else eol + 1
        end_line = _END + label + _DASHES
        end = text.find(end_line, body_start)
        name = label.decode("ascii", "replace")
        if end < 0:
            raise _error(what, f"the PEM block '-----BEGIN {name}-----' has no '-----END {name}-----' line")
        if end > body_start and text[end - 1] not in b"\r\n":
            raise _error(what, f"the '{name}' PEM block's END line does not start a line")
        yield name, text[body_start:end]
        pos = end + len(end_line)


def _pem_body(body: bytes, label: str, what: str) -> bytes:
    """The DER of a PEM body: no headers, no blank lines, canonical base64.

    RFC 7468's strict form but for line length.
    """
    lines = body.splitlines()
    if lines and b":" in lines[0]:  # RFC 1421 headers, as in a traditionally encrypted key
        if lines[0].startswith(b"Proc-Type:"):
            raise _error(what, f"the '{label}' PEM block is encrypted (Proc-Type header); {ENCRYPTED_KEY_ADVICE}")
        raise _error(what, f"the '{label}' PEM block has RFC 1421 headers, which a key file does not carry")
    if not lines:
        raise _error(what, f"the '{label}' PEM block is empty")
    # Line lengths are not checked: other tools wrap at 76 or not at all, and the base64 below is still
    # checked to be canonical, so the key is the same whatever the wrapping.
    for number, line in enumerate(lines, 1):
        if not line:
            raise _error(what, f"line {number} of the '{label}' PEM block is blank")
    text = b"".join(lines)
    try:
        der = binascii.a2b_base64(text, strict_mode=True)
    except binascii.Error as exc:
        raise _error(what, f"the '{label}' PEM block is not valid base64 ({exc})") from None
    if base64.b64encode(der) != text:
        raise _error(
            what,
            f"the '{label}' PEM block is not canonical base64 (the unused bits before its '=' padding must be zero)",
        )
    return der


def pem_decode(data: object, labels: tuple[str, ...], what: str) -> tuple[str, bytes]:
    """The label and DER of the first PEM block of data whose label is one of labels.

    data is bytes-like or a str (ASCII), at most MAX_PEM_SIZE bytes; blocks with other labels are passed
    over. A ValueError, starting with what (the call) unless it is empty, says what was found when no
    block has one of the labels, and what is wrong with a malformed block.
    """
    text = _pem_text(data, what)
    found: list[str] = []
    for label, body in _pem_blocks(text, what):
        if label in labels:
            return label, _pem_body(body, label, what)
        found.append(label)
    expected = " or ".join(repr(label) for label in labels)
    if not found:
        raise _error(what, f"no PEM block found (expected '-----BEGIN {labels[0]}-----')")
    if len(found) == 1:
        raise _error(what, f"the PEM block is labelled {found[0]!r}; expected {expected}")
    raise _error(
        what,
        f"the PEM blocks are labelled {', '.join(map(repr, found[:4]))}"
        f"{', ...' if len(found) > 4 else ''}; expected {expected}",
    )
