"""What kyber_alg.hybrid refuses: malformed shares, keys and KEM ciphertexts (ValueError / TypeError),
and every kind of damage to sealed blobs and streams (InvalidTag, never text)."""

import io
import os

import hybrid_model as model
import pytest

from kyber_alg import _testing, hybrid
from kyber_alg.exceptions import InvalidTag

SK = hybrid.SM2MLKEM768PrivateKey.from_private_bytes(bytes(range(32)))
PK = SK.public_key()
OTHER = hybrid.SM2MLKEM768PrivateKey.from_private_bytes(bytes(range(1, 33)))
POINT = PK.public_bytes_raw()[1184:]


def _small_x_point():
    x, y = model.curve.point_with_small_x()
    return b"\x04" + (x + model.curve.P).to_bytes(32, "big") + y.to_bytes(32, "big")


# Each is 65 bytes and must be refused wherever a curveSM2 point is read.
BAD_POINTS = {
    "off the curve": POINT[:-1] + bytes([POINT[-1] ^ 1]),
    "zero coordinates": b"\x04" + bytes(64),
    "x not below p": _small_x_point(),
    "prefix 02": b"\x02" + POINT[1:],
    "prefix 00": b"\x00" + POINT[1:],
    "hybrid form 06": bytes([6 + (POINT[-1] & 1)]) + POINT[1:],
}
# An encapsulation key whose first coefficient is 4095, not below q (FIPS 203's check of the key).
BAD_EK = b"\xff\x0f" + PK.public_bytes_raw()[2:1184]


@pytest.mark.parametrize("point", BAD_POINTS.values(), ids=BAD_POINTS.keys())
def test_bad_points_are_value_errors_everywhere(point):
    client = hybrid.CurveSM2MLKEM768Client()
    ek = client.key_share[65:]
    ct = PK.encapsulate()[1]
    calls = [
        lambda: hybrid.curve_sm2_mlkem768_server(point + ek),
        lambda: client.finish(point + bytes(1088)),
        lambda: SK.decapsulate(ct[:1088] + point),  # no invalid-curve attack on the static key
        lambda: hybrid.SM2MLKEM768PublicKey.from_public_bytes(PK.public_bytes_raw()[:1184] + point),
    ]
    for call in calls:
        with pytest.raises(ValueError, match="curveSM2"):
            call()


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: hybrid.curve_sm2_mlkem768_server(b""), "1249 bytes, got 0"),
        (lambda: hybrid.curve_sm2_mlkem768_server(hybrid.CurveSM2MLKEM768Client().key_share[:-1]), "got 1248"),
        (lambda: hybrid.curve_sm2_mlkem768_server(hybrid.CurveSM2MLKEM768Client().key_share + b"\0"), "got 1250"),
        (lambda: hybrid.curve_sm2_mlkem768_server(POINT + BAD_EK), "ML-KEM-768"),
        (lambda: hybrid.CurveSM2MLKEM768Client().finish(bytes(1152)), "1153 bytes, got 1152"),
        (lambda: SK.decapsulate(bytes(1154)), "1153 bytes, got 1154"),
        (lambda: hybrid.SM2MLKEM768PublicKey.from_public_bytes(PK.public_bytes_raw()[:-1]), "1249 bytes"),
        (lambda: hybrid.SM2MLKEM768PublicKey.from_public_bytes(BAD_EK + POINT), "ML-KEM-768"),
        (lambda: hybrid.SM2MLKEM768PrivateKey.from_private_bytes(bytes(31)), "32 bytes, got 31"),
        (lambda: hybrid.StreamSealer(PK, chunk_size=100), "power of two"),
        (lambda: hybrid.StreamSealer(PK, chunk_size=32), "power of two"),
        (lambda: hybrid.StreamSealer(PK, chunk_size=1 << 25), "power of two"),
        (lambda: hybrid.load_pem_private_key(PK.public_bytes_pem()), "labelled 'SM2-MLKEM768 PUBLIC KEY'"),
        (lambda: hybrid.load_pem_public_key(b"no pem here"), "no PEM block"),
        (lambda: hybrid.load_pem_private_key(SK.private_bytes_pem().replace(b"\n-----END", b"!!\n-----END")), "base64"),
        (lambda: hybrid.load_pem_private_key(PK.public_bytes_pem().replace(b"PUBLIC", b"PRIVATE")), "holds 1249"),
    ],
)
def test_malformed_input_is_a_value_error(call, message):
    with pytest.raises(ValueError, match=message):
        call()


@pytest.mark.parametrize("bad", ["text", 1153, None, [0] * 32], ids=["str", "int", "None", "list"])
def test_wrong_types_are_type_errors(bad):
    for call in (
        SK.decapsulate,
        hybrid.SM2MLKEM768PublicKey.from_public_bytes,
        hybrid.SM2MLKEM768PrivateKey.from_private_bytes,
        hybrid.curve_sm2_mlkem768_server,
        lambda b: hybrid.seal(PK, b),
        lambda b: hybrid.open(SK, b),
    ):
        with pytest.raises(TypeError):
            call(bad)
    with pytest.raises(TypeError):
        hybrid.seal(SK, b"private key given as public")  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        hybrid.StreamOpener(PK)  # type: ignore[arg-type]


def test_buffers_are_accepted():
    ss, ct = PK.encapsulate()
    assert SK.decapsulate(bytearray(ct)) == SK.decapsulate(memoryview(ct)) == ss
    assert hybrid.open(SK, memoryview(hybrid.seal(PK, bytearray(b"m"), memoryview(b"a"))), bytearray(b"a")) == b"m"
    assert hybrid.load_pem_public_key(PK.public_bytes_pem().decode()) == PK


# --- sealed blobs -----------------------------------------------------------------------------------

BLOB = hybrid.seal(PK, b"attack at dawn", b"ad")


@pytest.mark.parametrize(
    "offset", [0, 1, 600, 1088, 1089, 1120, 1153, 1154, 1160, len(BLOB) - 16, len(BLOB) - 1], ids=lambda o: f"byte{o}"
)
def test_sealed_blob_any_changed_byte(offset):
    # format byte, ML-KEM ciphertext, point prefix and coordinates, GCM body, tag
    changed = bytearray(BLOB)
    changed[offset] ^= 0x01
    with pytest.raises(InvalidTag):
        hybrid.open(SK, changed, b"ad")


@pytest.mark.parametrize(
    "blob, key, ad",
    [
        (BLOB[:-1], SK, b"ad"),
        (BLOB[:1169], SK, b"ad"),
        (b"", SK, b"ad"),
        (BLOB + b"\0", SK, b"ad"),
        (BLOB, OTHER, b"ad"),
        (BLOB, SK, b"ae"),
        (BLOB, SK, b""),
    ],
    ids=["truncated", "header only", "empty", "extended", "wrong key", "wrong ad", "no ad"],
)
def test_sealed_blob_damage(blob, key, ad):
    with pytest.raises(InvalidTag):
        hybrid.open(key, blob, ad)


# --- streams ------------------------------------------------------------------------------------------

CHUNK = 64
PLAIN = os.urandom(CHUNK * 4 + 10)  # five chunks, the last one short


def stream_parts(plaintext=PLAIN, ad=b""):
    sealer = hybrid.StreamSealer(PK, ad, CHUNK)
    data = sealer.update(plaintext) + sealer.finalize()
    header, body = data[: hybrid.STREAM_HEADER_SIZE], data[hybrid.STREAM_HEADER_SIZE :]
    size = CHUNK + 16
    return header, [body[i : i + size] for i in range(0, len(body), size)]


HEADER, CHUNKS = stream_parts()


def open_all(data, key=SK, ad=b""):
    opener = hybrid.StreamOpener(key, ad)
    return opener.update(data) + opener.finalize()


def test_stream_round_trip_and_chunk_layout():
    assert [len(c) for c in CHUNKS] == [80, 80, 80, 80, 26]
    assert open_all(HEADER + b"".join(CHUNKS)) == PLAIN


def _with_flipped_header_byte(i):
    h = bytearray(HEADER)
    h[i] ^= 1
    return bytes(h) + b"".join(CHUNKS)


ATTACKS = {
    "last chunk dropped": lambda: HEADER + b"".join(CHUNKS[:-1]),
    "cut inside a chunk": lambda: HEADER + b"".join(CHUNKS)[:200],
    "cut inside the last tag": lambda: HEADER + b"".join(CHUNKS)[:-3],
    "middle chunk dropped": lambda: HEADER + b"".join(CHUNKS[:2] + CHUNKS[3:]),
    "chunks swapped": lambda: HEADER + b"".join([CHUNKS[1], CHUNKS[0]] + CHUNKS[2:]),
    "chunk duplicated": lambda: HEADER + b"".join(CHUNKS[:2] + CHUNKS[1:]),
    "last chunk repeated": lambda: HEADER + b"".join(CHUNKS + CHUNKS[-1:]),
    "bytes appended": lambda: HEADER + b"".join(CHUNKS) + b"\0",
    "format byte": lambda: _with_flipped_header_byte(0),
    "chunk size byte": lambda: _with_flipped_header_byte(1),
    "KEM ciphertext": lambda: _with_flipped_header_byte(500),
    "point": lambda: _with_flipped_header_byte(hybrid.STREAM_HEADER_SIZE - 1),
    "header only": lambda: HEADER,
    "half a header": lambda: HEADER[:600],
    "nothing": lambda: b"",
    "empty last chunk after data": lambda: _empty_final_chunk(),
}


def _empty_final_chunk():
    # Full chunks sealed as "not last", then an authentic empty chunk marked last: a form our writer
    # never makes, refused so that each plaintext has one encoding.
    ss, ct = _testing.hybrid_encapsulate(PK, bytes(31) + b"\x07", bytes(32))
    data = model.stream_with(ss, ct, PLAIN[: 2 * CHUNK], b"", CHUNK)
    start = data[:2]
    key = model.hkdf(ss, model.STREAM + start, 16)
    body = [model.gcm_seal(key, model.nonce(i, False), PLAIN[i * CHUNK : (i + 1) * CHUNK], b"") for i in range(2)]
    return start + ct + b"".join(body) + model.gcm_seal(key, model.nonce(2, True), b"", b"")


@pytest.mark.parametrize("attack", ATTACKS.values(), ids=ATTACKS.keys())
def test_stream_attacks_are_detected(attack):
    data = attack()
    with pytest.raises(InvalidTag):
        open_all(data)
    with pytest.raises(InvalidTag):
        hybrid.open_stream(SK, io.BytesIO(data), io.BytesIO())


@pytest.mark.parametrize("key, ad", [(OTHER, b""), (SK, b"other")], ids=["wrong key", "wrong ad"])
def test_stream_wrong_key_or_ad_fails_at_the_first_chunk(key, ad):
    opener = hybrid.StreamOpener(key, ad)
    with pytest.raises(InvalidTag, match="not sealed for this key"):
        opener.update(HEADER + b"".join(CHUNKS))


def test_stream_releases_nothing_unauthenticated():
    opener = hybrid.StreamOpener(SK)
    assert opener.update(HEADER + CHUNKS[0]) == b""  # not yet known whether it is the last chunk
    assert opener.update(b"\0") == PLAIN[:CHUNK]
    with pytest.raises(InvalidTag):
        opener.finalize()  # a chunk of one byte cannot be whole


def test_objects_refuse_use_after_the_end():
    opener = hybrid.StreamOpener(SK)
    with pytest.raises(InvalidTag):
        opener.update(_with_flipped_header_byte(0))
    with pytest.raises(ValueError, match="finalized or failed"):
        opener.update(b"")
    sealer = hybrid.StreamSealer(PK)
    sealer.finalize()
    for call in (sealer.finalize, lambda: sealer.update(b"x")):
        with pytest.raises(ValueError, match="finalized"):
            call()


# --- writers that take less than they are given ---------------------------------------------------


class ShortWriter:
    """A raw-file-like writer: takes at most `most` bytes a call and says how many, as RawIOBase may."""

    def __init__(self, most=1000, then=...):
        self.data, self.most, self.then = bytearray(), most, then

    def write(self, data):
        if self.then is not ... and len(self.data) >= self.most:
            return self.then  # a writer that stops taking data: None (would block) or 0
        taken = bytes(data)[: self.most]
        self.data += taken
        return len(taken)


def test_stream_functions_write_everything_to_a_short_writer():
    writer = ShortWriter()
    assert hybrid.seal_stream(PK, io.BytesIO(PLAIN * 500), writer, chunk_size=1 << 12) == len(PLAIN) * 500
    opened = ShortWriter(most=777)
    assert hybrid.open_stream(SK, io.BytesIO(bytes(writer.data)), opened) == len(PLAIN) * 500
    assert opened.data == PLAIN * 500


@pytest.mark.parametrize("then, error", [(None, OSError), (0, OSError), ("1", TypeError)], ids=["None", "0", "str"])
def test_stream_functions_fail_loudly_when_the_writer_stops(then, error):
    with pytest.raises(error, match="write()"):
        hybrid.seal_stream(PK, io.BytesIO(PLAIN * 100), ShortWriter(most=2000, then=then))
    with pytest.raises(error, match="write()"):
        hybrid.open_stream(SK, io.BytesIO(HEADER + b"".join(CHUNKS)), ShortWriter(most=100, then=then))


class FullDisk(io.RawIOBase):
    full = True

    def writable(self):
        return True

    def write(self, data):
        if self.full:
            raise OSError(28, "No space left on device")
        return len(data)


@pytest.mark.parametrize(
    "call",
    [
        lambda out: hybrid.seal_stream(PK, io.BytesIO(b"short"), out),
        lambda out: hybrid.open_stream(SK, io.BytesIO(HEADER + b"".join(CHUNKS)), out),
    ],
    ids=["seal_stream", "open_stream"],
)
def test_stream_functions_flush_a_buffered_destination(call):
    # Everything fits in the buffer: the error comes only when it is flushed, inside the call.
    disk = FullDisk()
    with pytest.raises(OSError, match="No space"):
        call(io.BufferedWriter(disk, 1 << 16))
    disk.full = False  # the writer's own flush when it is collected then succeeds


def test_tls_client_finishes_once():
    client = hybrid.CurveSM2MLKEM768Client()
    share, secret = hybrid.curve_sm2_mlkem768_server(client.key_share)
    with pytest.raises(ValueError, match="1153 bytes"):
        client.finish(share[:-1])  # a malformed share leaves the client usable
    assert client.finish(share) == secret
    with pytest.raises(ValueError, match="finished its handshake"):
        client.finish(share)


@pytest.mark.parametrize(
    "data, message",
    [
        (b"", "empty"),
        (b"%PDF-1.7\n", "not a kyber-alg sealed file"),
        (BLOB, "one-shot sealed message"),
        (BLOB[:17], "one-shot sealed message"),
        (HEADER[:17], "truncated: its header has 1155 bytes, got 17"),
    ],
    ids=["empty", "not sealed", "sealed blob", "short sealed blob", "short header"],
)
def test_stream_openers_say_what_the_input_is(data, message):
    with pytest.raises(InvalidTag, match=message):
        open_all(data)
    with pytest.raises(InvalidTag, match=message):
        hybrid.open_stream(SK, io.BytesIO(data), io.BytesIO())
