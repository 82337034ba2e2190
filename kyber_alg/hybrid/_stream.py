"""Streams: data of any size in STREAM-style chunks of SM4-GCM, sealed and opened in constant memory.

One engine, ``LookAhead``, decides which chunk is the last: ``StreamSealer``, ``StreamOpener``,
``seal_stream`` and ``open_stream`` all feed it.
"""

from __future__ import annotations

import errno
from collections.abc import Callable
from typing import TYPE_CHECKING, Final, Protocol

from kyber_alg.exceptions import InvalidTag
from kyber_alg.hybrid._common import GCM_TAG_SIZE, KEM_CIPHERTEXT_SIZE, as_bytes, associated, required
from kyber_alg.hybrid._kem import SM2MLKEM768PrivateKey, SM2MLKEM768PublicKey
from kyber_alg.hybrid._seal import SEAL_FORMAT, encapsulate_for, kem_secret
from kyber_alg.sm3 import hkdf_sm3
from kyber_alg.sm4 import SM4GCM

if TYPE_CHECKING:
    from typing_extensions import Buffer

STREAM_FORMAT: Final = 0x02
"""The first byte of a stream."""
STREAM_HEADER_SIZE: Final = 2 + KEM_CIPHERTEXT_SIZE  # 1155
"""A stream's header: format byte, chunk size exponent, KEM ciphertext."""
_MIN_EXPONENT, _MAX_EXPONENT = 6, 24
DEFAULT_CHUNK_SIZE: Final = 1 << 16
"""The plaintext bytes of a chunk unless chunk_size says otherwise."""
MIN_CHUNK_SIZE: Final = 1 << _MIN_EXPONENT
"""The smallest chunk_size."""
MAX_CHUNK_SIZE: Final = 1 << _MAX_EXPONENT
"""The largest chunk_size."""

_STREAM_LABEL = b"kyber_alg/stream/v1"


def chunk_exponent(chunk_size: object) -> int:
    if not isinstance(chunk_size, int) or isinstance(chunk_size, bool):
        raise TypeError(f"chunk_size must be an int, not {type(chunk_size).__name__}")
    if not MIN_CHUNK_SIZE <= chunk_size <= MAX_CHUNK_SIZE or chunk_size & (chunk_size - 1):
        raise ValueError(
            f"chunk_size must be a power of two from {MIN_CHUNK_SIZE} to {MAX_CHUNK_SIZE}, got {chunk_size}"
        )
    return chunk_size.bit_length() - 1


class _Chunks:
    """The chunk key, associated data and counter of one stream; seals or opens its chunks in order."""

    __slots__ = ("aead", "ad", "counter")

    def __init__(self, shared_secret: bytes, header_start: bytes, associated_data: bytes) -> None:
        self.aead = SM4GCM(hkdf_sm3(shared_secret, b"", _STREAM_LABEL + header_start, 16))
        self.ad = associated_data
        self.counter = 0

    def nonce(self, last: bool) -> bytes:
        return self.counter.to_bytes(11, "big") + (b"\x01" if last else b"\x00")

    def seal(self, chunk: Buffer, last: bool) -> bytes:
        out = self.aead.encrypt(self.nonce(last), chunk, self.ad)
        self.counter += 1
        return out

    def open(self, chunk: Buffer, last: bool) -> bytes:
        size = len(memoryview(chunk))
        if last and size == GCM_TAG_SIZE and self.counter:
            raise InvalidTag("the stream ends with an empty chunk after data (it was extended or damaged)")
        if size < GCM_TAG_SIZE:
            raise InvalidTag("the stream is truncated inside its last chunk")
        try:
            out = self.aead.decrypt(self.nonce(last), chunk, self.ad)
        except InvalidTag:
            raise InvalidTag(self.failure(last)) from None
        self.counter += 1
        return out

    def failure(self, last: bool) -> str:
        if self.counter == 0:  # the key and the associated data are first tried here
            return (
                "the first chunk does not authenticate: the stream was not sealed for this key "
                "(or with other associated data), or it is damaged"
            )
        where = "the last chunk" if last else f"chunk {self.counter}"
        return f"{where} does not authenticate: the stream is truncated, reordered or damaged"


class LookAhead:
    """The stream format's one-chunk look-ahead: a full chunk goes to step as "not last" only once a
    byte after it has arrived; what is held at the end goes to step as the last chunk. The one place
    that decides which chunk is the last, for sealing and opening alike."""

    __slots__ = ("size", "_step", "_held")

    def __init__(self, size: int, step: Callable[[Buffer, bool], bytes]) -> None:
        self.size, self._step = size, step
        self._held = b""  # 0 to size bytes, waiting for what follows them

    def push(self, data: bytes) -> list[bytes]:
        """What step returns for each chunk known not to be the last, now that data follows."""
        out: list[bytes] = []
        if not data:
            return out
        size, step = self.size, self._step
        with memoryview(data) as view:
            start = 0
            held = self._held
            if held:
                start = size - len(held)
                if start:
                    held += view[:start]
                if len(view) <= start:  # no byte after the held chunk yet
                    self._held = held
                    return out
                out.append(step(held, False))
            while len(view) - start > size:  # chunks are sealed or opened straight from the input
                out.append(step(view[start : start + size], False))
                start += size
            # Whole pieces are kept as they are (the usual case when reading a chunk at a time).
            self._held = data if start == 0 else view[start:].tobytes()
        return out

    def finish(self) -> bytes:
        """What step returns for the last chunk (all that is held, maybe nothing)."""
        held, self._held = self._held, b""
        return self._step(held, True)


def sealing(encapsulation: tuple[bytes, bytes], associated_data: object, exponent: int) -> tuple[bytes, LookAhead]:
    """The header of a new stream and the engine that seals its chunks."""
    shared_secret, kem_ciphertext = encapsulation
    start = bytes([STREAM_FORMAT, exponent])
    chunks = _Chunks(shared_secret, start, associated(associated_data))
    return start + kem_ciphertext, LookAhead(1 << exponent, chunks.seal)


def not_a_stream(start: bytes) -> str | None:
    """Why input that starts with these bytes cannot be a stream, when it can be told from them."""
    if not start:
        return "the input is empty: not a kyber-alg sealed file"
    if start[0] == SEAL_FORMAT:
        return "this is a one-shot sealed message, not a stream: open it with hybrid.open"
    if start[0] != STREAM_FORMAT:
        return f"not a kyber-alg sealed file (it starts with byte {start[0]:02x}; a sealed stream starts with 02)"
    if len(start) > 1 and not _MIN_EXPONENT <= start[1] <= _MAX_EXPONENT:
        return f"the stream header's chunk size exponent {start[1]} is out of range"
    return None


def opening(private_key: SM2MLKEM768PrivateKey, header: bytes, associated_data: bytes) -> LookAhead:
    """The engine that opens the chunks of a stream, from its header (InvalidTag if it is none)."""
    problem = not_a_stream(header)
    if problem:
        raise InvalidTag(problem)
    if len(header) < STREAM_HEADER_SIZE:
        raise InvalidTag(f"the stream is truncated: its header has {STREAM_HEADER_SIZE} bytes, got {len(header)}")
    chunks = _Chunks(kem_secret(private_key, header[2:STREAM_HEADER_SIZE]), header[:2], associated_data)
    return LookAhead((1 << header[1]) + GCM_TAG_SIZE, chunks.open)


class StreamSealer:
    """Encrypts a stream for the holder of public_key, piece by piece, in constant memory.

    Every ``update`` returns the ciphertext that is ready (the header comes with the first output);
    ``finalize`` returns the rest and must be called once at the end.
    """

    __slots__ = ("_header", "_engine", "_done")
    _header: bytes
    _engine: LookAhead
    _done: bool

    def __init__(
        self,
        public_key: SM2MLKEM768PublicKey,
        associated_data: Buffer | None = b"",
        chunk_size: int = DEFAULT_CHUNK_SIZE,
    ) -> None:
        exponent = chunk_exponent(chunk_size)  # argument errors before the costly encapsulation
        start_sealer(self, encapsulate_for(public_key), associated_data, exponent)

    def _take_header(self) -> list[bytes]:
        if self._done:
            raise ValueError("this StreamSealer is finalized")
        header, self._header = self._header, b""
        return [header] if header else []

    def update(self, data: Buffer) -> bytes:
        """The ciphertext ready so far (the header first); a full chunk waits until more data follows."""
        piece = as_bytes(data, "data")
        out = self._take_header()
        out += self._engine.push(piece)
        return b"".join(out)

    def finalize(self) -> bytes:
        """The rest: the last chunk, marked as the last. Call once."""
        out = self._take_header()
        out.append(self._engine.finish())
        self._done = True
        return b"".join(out)


def start_sealer(
    sealer: StreamSealer, encapsulation: tuple[bytes, bytes], associated_data: object, exponent: int
) -> None:
    """Sets a sealer up with a KEM encapsulation (fresh from __init__, fixed from kyber_alg._testing)."""
    sealer._header, sealer._engine = sealing(encapsulation, associated_data, exponent)
    sealer._done = False


class StreamOpener:
    """Decrypts a stream piece by piece; only authenticated plaintext is ever returned.

    ``update`` returns the plaintext of every chunk known not to be the last one; ``finalize``
    authenticates the last chunk and returns its plaintext. A truncated, reordered, duplicated or
    changed stream, the wrong key or the wrong associated data raise InvalidTag.
    """

    __slots__ = ("_key", "_ad", "_header", "_engine", "_done")
    _engine: LookAhead | None

    def __init__(self, private_key: SM2MLKEM768PrivateKey, associated_data: Buffer | None = b"") -> None:
        self._key = required(private_key, SM2MLKEM768PrivateKey, "private_key")
        self._ad = associated(associated_data)
        self._header = b""  # until it is whole
        self._engine = None
        self._done = False

    def _check_open(self) -> None:
        if self._done:
            raise ValueError("this StreamOpener is finalized or failed")

    def update(self, data: Buffer) -> bytes:
        """The plaintext of every chunk that authenticated and is known not to be the last."""
        self._check_open()
        piece = as_bytes(data, "data")
        try:
            if self._engine is None:
                header = self._header + piece[: STREAM_HEADER_SIZE - len(self._header)]
                problem = not_a_stream(header) if header else None
                if problem or len(header) < STREAM_HEADER_SIZE:
                    if problem:
                        raise InvalidTag(problem)
                    self._header = header
                    return b""
                piece = piece[STREAM_HEADER_SIZE - len(self._header) :]
                self._engine = opening(self._key, header, self._ad)
                self._header = b""
            return b"".join(self._engine.push(piece))
        except InvalidTag:
            self._done = True
            raise

    def finalize(self) -> bytes:
        """The last chunk's plaintext; InvalidTag if the stream was truncated or the last chunk is damaged."""
        self._check_open()
        self._done = True
        if self._engine is None:
            opening(self._key, self._header, self._ad)  # raises: the header is not whole
        assert self._engine is not None
        return self._engine.finish()


# --- Files and pipes ------------------------------------------------------------------------------


class _Reader(Protocol):
    def read(self, size: int, /) -> bytes: ...


class _Writer(Protocol):
    def write(self, data: bytes, /) -> int | None: ...


def read_exactly(source: _Reader, size: int) -> bytes:
    """size bytes, or fewer only at the end of the input (pipes and raw files may return short reads)."""
    data = as_bytes(source.read(size), "the data read")
    if len(data) == size or not data:
        return data
    parts, got = [data], len(data)
    while got < size:
        more = as_bytes(source.read(size - got), "the data read")
        if not more:
            break
        parts.append(more)
        got += len(more)
    return b"".join(parts)


def write_all(destination: _Writer, data: bytes) -> None:
    """Writes all of data or raises. A raw file or socket may take fewer bytes than it is given and
    say so only in what write() returns, so that count is checked and the rest written again."""
    size = len(data)
    written = destination.write(data)
    done = 0
    while written != size - done:  # the rest is copied again only after a short write, which is rare
        if written is None:
            raise OSError(
                errno.EAGAIN,
                "the destination took nothing: write() returned None (a non-blocking "
                "file that would block, or a writer that does not return the number of bytes written)",
            )
        if not isinstance(written, int) or isinstance(written, bool):
            raise TypeError(f"write() must return the number of bytes written, not {type(written).__name__}")
        if not 0 < written < size - done:
            raise OSError(errno.EIO, f"write() reported {written} bytes written of {size - done}")
        done += written
        written = destination.write(data[done:])


def _pump(source: _Reader, destination: _Writer, size: int, engine: LookAhead) -> tuple[int, int]:
    """Feeds source to the engine size bytes at a time and writes what it returns; returns the numbers
    of bytes read and written."""
    read = written = 0
    while True:
        piece = read_exactly(source, size)
        read += len(piece)
        for out in engine.push(piece):
            write_all(destination, out)
            written += len(out)
        if len(piece) < size:
            break
    out = engine.finish()
    write_all(destination, out)
    # A buffered destination may still hold the end: its error (a full disk) belongs to this call.
    flush = getattr(destination, "flush", None)
    if flush is not None:
        flush()
    return read, written + len(out)


def seal_stream(
    public_key: SM2MLKEM768PublicKey,
    source: _Reader,
    destination: _Writer,
    *,
    associated_data: Buffer | None = b"",
    chunk_size: int = DEFAULT_CHUNK_SIZE,
) -> int:
    """Seal everything read from source (``read(n)``) into destination (``write(b)``, which must return the
    number of bytes it took, as every ``io`` class does, and is flushed at the end if it has a
    ``flush``); returns the plaintext size. Every byte is written, or the call raises."""
    exponent = chunk_exponent(chunk_size)
    header, engine = sealing(encapsulate_for(public_key), associated_data, exponent)
    write_all(destination, header)
    return _pump(source, destination, chunk_size, engine)[0]


def open_stream(
    private_key: SM2MLKEM768PrivateKey,
    source: _Reader,
    destination: _Writer,
    *,
    associated_data: Buffer | None = b"",
) -> int:
    """Open a stream read from source into destination, chunk by chunk; returns the plaintext size.

    Each chunk is written only after it authenticated; if a later chunk fails (InvalidTag), what was
    written before stays written, so write to a place you can discard (``kyber-alg open`` does).
    destination.write must return the number of bytes it took; every byte is written, or the call raises.
    """
    key = required(private_key, SM2MLKEM768PrivateKey, "private_key")
    ad = associated(associated_data)
    engine = opening(key, read_exactly(source, STREAM_HEADER_SIZE), ad)
    return _pump(source, destination, engine.size, engine)[1]
