#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.hybrid's parsers: curveSM2MLKEM768 key shares (both sides), public
keys, KEM ciphertexts, sealed blobs, streams fed in any pieces, and PEM key files. Every input must
give a result or ValueError / InvalidTag (TypeError never: the inputs are bytes), and the result
must be what the independent model (tests/hybrid/hybrid_model.py) computes.

    python -P fuzz/fuzz_hybrid.py -max_total_time=60 [corpus_dir] [fuzz/seeds/hybrid]
    python -P fuzz/fuzz_hybrid.py --make-seeds      # rewrite fuzz/seeds/hybrid

Input layout: byte 0 picks the parser (mod 7); byte 1 is the piece size for streams; the rest is
the data handed to the parser.
"""

import sys
from pathlib import Path

import atheris

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "hybrid"))
import harness

with atheris.instrument_imports():
    import hybrid_model as model
    from cryptography.exceptions import InvalidTag as ModelInvalidTag

    from kyber_alg import _testing, hybrid
    from kyber_alg.exceptions import InvalidTag

SEED = bytes(range(32))
SK = hybrid.SM2MLKEM768PrivateKey.from_private_bytes(SEED)
PK = SK.public_key()
CLIENT_D, CLIENT_MLKEM = bytes(31) + b"\x05", bytes(range(64))
CLIENT = _testing.hybrid_client(CLIENT_D, CLIENT_MLKEM)
AD = b"fuzz"


def model_outcome(fn, *args):
    """The model's result, or the exception class ours must raise in its place."""
    try:
        return fn(*args)
    except ValueError:
        return ValueError
    except ModelInvalidTag:
        return InvalidTag


def ours(fn, *args):
    try:
        return fn(*args)
    except (ValueError, InvalidTag) as e:
        return type(e)


def server(data):
    e, m = bytes(31) + b"\x07", bytes(32)
    expected = model_outcome(model.tls_server, data, e, m)
    assert ours(_testing.hybrid_server, data, e, m) == expected, data.hex()


def client_finish(data):
    client = _testing.hybrid_client(CLIENT_D, CLIENT_MLKEM)  # one handshake each: finish() succeeds once
    assert ours(client.finish, data) == model_outcome(model.tls_client_finish, CLIENT_D, CLIENT_MLKEM, data)


def model_public_key(data):
    if len(data) != 1249:
        raise ValueError("wrong length")
    model.mlkem.MLKEM768PublicKey.from_public_bytes(data[:1184])
    model.parse_point(data[1184:])
    return data


def public_key(data):
    got = ours(hybrid.SM2MLKEM768PublicKey.from_public_bytes, data)
    assert (got if got is ValueError else got.public_bytes_raw()) == model_outcome(model_public_key, data)


def decapsulate(data):
    assert ours(SK.decapsulate, data) == model_outcome(model.decapsulate, SEED, data)


def open_sealed(data):
    assert ours(hybrid.open, SK, data, AD) == model_outcome(model.open_sealed, SEED, data, AD)


def open_stream(data, piece):
    opener = hybrid.StreamOpener(SK, AD)

    def run():
        out = [opener.update(data[i : i + piece]) for i in range(0, len(data), piece)]
        return b"".join(out) + opener.finalize()

    assert ours(run) == model_outcome(model.open_stream, SEED, data, AD)


def pem(data):
    for loader in (hybrid.load_pem_private_key, hybrid.load_pem_public_key):
        got = ours(loader, data)
        assert got is ValueError or isinstance(got, (hybrid.SM2MLKEM768PrivateKey, hybrid.SM2MLKEM768PublicKey))
        assert harness.linear_time(loader, harness.many_begin(data)) is ValueError or b"-----END" in data


@atheris.instrument_func
def test_one_input(data):
    if len(data) < 2:
        return
    choice, piece, body = data[0] % 7, data[1] + 1, data[2:]
    if choice == 0:
        server(body)
    elif choice == 1:
        client_finish(body)
    elif choice == 2:
        public_key(body)
    elif choice == 3:
        decapsulate(body)
    elif choice == 4:
        open_sealed(body)
    elif choice == 5:
        open_stream(body, piece)
    else:
        pem(body)


def make_seeds():
    out = harness.seed_folder("hybrid")
    ss, ct = _testing.hybrid_encapsulate(PK, bytes(31) + b"\x09", bytes(32))
    sealer = _testing.hybrid_stream_sealer((ss, ct), AD, 64)
    stream = sealer.update(bytes(range(200))) + sealer.finalize()
    server_share = _testing.hybrid_server(CLIENT.key_share, bytes(31) + b"\x07", bytes(32))[0]
    seeds = {
        "client_share": b"\x00\x00" + CLIENT.key_share,
        "server_share": b"\x01\x00" + server_share,
        "public_key": b"\x02\x00" + PK.public_bytes_raw(),
        "kem_ciphertext": b"\x03\x00" + ct,
        "sealed": b"\x04\x00" + _testing.hybrid_seal((ss, ct), b"sealed seed", AD),
        "stream": b"\x05\x63" + stream,
        "pem": b"\x06\x00" + SK.private_bytes_pem(),
        "pem_many_begin": b"\x06\x00\xffSM2-MLKEM768 PRIVATE KEY\n" + SK.private_bytes_pem(),
    }
    for name, content in seeds.items():
        (out / name).write_bytes(content)


if __name__ == "__main__":
    harness.run(test_one_input, make_seeds)
