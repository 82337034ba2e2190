"""kyber_alg.hybrid against its published vectors (tests/vectors/hybrid/, made by the independent model)."""

import io
import json

import hybrid_model
import pytest
from vectors import VECTORS

from kyber_alg import _testing, hybrid


def cases(name):
    return json.loads((VECTORS / "hybrid" / name).read_text())["cases"]


def unhex(case, *names):
    return [bytes.fromhex(case[n]) for n in names]


@pytest.mark.parametrize("case", cases("kem.json"), ids=lambda c: c["seed"][:8])
def test_kem(case):
    seed, pk, eph, m, ct, ss = unhex(case, "seed", "public_key", "ephemeral", "m", "ciphertext", "shared_secret")
    sk = hybrid.SM2MLKEM768PrivateKey.from_private_bytes(seed)
    assert sk.public_key().public_bytes_raw() == pk
    assert sk.private_bytes_raw() == seed
    public = hybrid.SM2MLKEM768PublicKey.from_public_bytes(pk)
    assert public == sk.public_key()
    assert _testing.hybrid_encapsulate(public, eph, m) == (ss, ct)
    assert sk.decapsulate(ct) == ss


@pytest.mark.parametrize("case", cases("seal.json"), ids=lambda c: c["seed"][:8])
def test_seal(case):
    seed, eph, m, pt, ad, sealed = unhex(case, "seed", "ephemeral", "m", "plaintext", "associated_data", "sealed")
    sk = hybrid.SM2MLKEM768PrivateKey.from_private_bytes(seed)
    encapsulation = _testing.hybrid_encapsulate(sk.public_key(), eph, m)
    assert _testing.hybrid_seal(encapsulation, pt, ad) == sealed
    assert hybrid.open(sk, sealed, ad) == pt


@pytest.mark.parametrize("case", cases("stream.json"), ids=lambda c: f"{len(c['plaintext']) // 2}B")
def test_stream(case):
    seed, eph, m, pt, ad, data = unhex(case, "seed", "ephemeral", "m", "plaintext", "associated_data", "stream")
    sk = hybrid.SM2MLKEM768PrivateKey.from_private_bytes(seed)
    encapsulation = _testing.hybrid_encapsulate(sk.public_key(), eph, m)
    sealer = _testing.hybrid_stream_sealer(encapsulation, ad, case["chunk_size"])
    # Fed in uneven pieces, the sealer writes the same bytes as in one go.
    pieces = [pt[i : i + 37] for i in range(0, len(pt), 37)]
    assert b"".join(sealer.update(p) for p in pieces) + sealer.finalize() == data
    opener = hybrid.StreamOpener(sk, ad)
    assert b"".join(opener.update(data[i : i + 50]) for i in range(0, len(data), 50)) + opener.finalize() == pt
    out = io.BytesIO()
    assert hybrid.open_stream(sk, io.BytesIO(data), out, associated_data=ad) == len(pt)
    assert out.getvalue() == pt


@pytest.mark.parametrize("case", cases("curve_sm2_mlkem768.json"), ids=lambda c: c["client_share"][2:10])
def test_curve_sm2_mlkem768(case):
    d, seed, client_share, e, m, server_share, secret = unhex(
        case,
        "client_sm2_private",
        "client_mlkem_seed",
        "client_share",
        "server_sm2_private",
        "server_m",
        "server_share",
        "shared_secret",
    )
    client = _testing.hybrid_client(d, seed)
    assert client.key_share == client_share
    assert _testing.hybrid_server(client_share, e, m) == (server_share, secret)
    assert client.finish(server_share) == secret


def test_files_are_what_the_model_makes():
    # Guards the published files against hand edits: the model regenerates them byte for byte.
    for name, content in hybrid_model.make_vectors().items():
        assert cases(name) == content["cases"], name
