#!/usr/bin/env python3
"""Writes the seed corpora fuzz/seeds/<name>/ from the test vectors.

    python fuzz/make_seeds.py [VECTORS_DIR]

VECTORS_DIR defaults to tests/vectors (the repository's copy of the third-party
vectors).  The seeds are committed; run this again only when the vectors or a
harness's input layout change.  Input layouts: see the harnesses.
"""

import gzip
import hashlib
import json
import shutil
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

import outside_fakes  # noqa: E402


def cctv_records(path):
    records, current = [], {}
    for line in path.read_text().splitlines() + [""]:
        name, _, value = line.partition("=")
        if not line.strip():
            if current:
                records.append(current)
            current = {}
        else:
            current[name.strip()] = value.strip()
    return records


def kyber_seeds(vectors):
    """op byte (0 CCA_Enc, 1 CCA_Dec, 2 CCA_KeyGen_derand), form byte, payload."""
    seeds = []
    encap = json.loads((vectors / "acvp/ML-KEM-512-encapDecap-FIPS203.json").read_text())
    for group in encap["testGroups"]:
        for i, t in enumerate(group["tests"]):
            if group["function"] == "encapsulation":
                form = i % 8
                seeds.append(bytes([0, form]) + bytes.fromhex(t["m"]) + t["ek"].encode())
            else:
                seeds.append(bytes([1, i % 8]) + t["c"].encode() + group["dk"].lower().encode())
    keygen = json.loads((vectors / "acvp/ML-KEM-512-keyGen-FIPS203.json").read_text())
    for i, t in enumerate(keygen["testGroups"][0]["tests"][:8]):
        seeds.append(bytes([2, i % 8]) + bytes.fromhex(t["d"]) + bytes.fromhex(t["z"]))
    for record in cctv_records(vectors / "cctv/strcmp/ML-KEM-512.txt"):
        seeds.append(bytes([1, 0]) + record["c"].encode() + record["dk"].encode())
    for record in cctv_records(vectors / "cctv/unluckysample/ML-KEM-512.txt"):
        seeds.append(bytes([0, 1]) + bytes.fromhex(record["m"]) + record["ek"].encode())
        seeds.append(bytes([1, 1]) + record["c"].encode() + record["dk"].encode())
    with gzip.open(vectors / "cctv/modulus/ML-KEM-512.txt.gz", "rt") as f:
        keys = [line.strip() for line in f if line.strip()]
    for i in range(0, len(keys), 97):  # 8 keys spread over the file
        seeds.append(bytes([0, i % 8]) + bytes(32) + keys[i].encode())
    wycheproof = json.loads((vectors / "wycheproof/mlkem_512_encaps_test.json").read_text())
    for i, t in enumerate(wycheproof["testGroups"][0]["tests"]):
        seeds.append(bytes([0, i % 8]) + bytes.fromhex(t["m"])[:32].ljust(32, b"\0") + t["ek"].encode())
    return seeds


def velmora_seeds(vectors):
    """op byte (index into velmora_model.FUNCS), form byte, arguments joined by NUL."""

    def seed(op, *args, form=0):
        return bytes([op, form]) + b"\0".join(a if isinstance(a, bytes) else a.encode() for a in args)

    seeds = [seed(0)]
    encap = json.loads((vectors / "acvp/ML-KEM-512-encapDecap-FIPS203.json").read_text())
    sm2 = json.loads((vectors / "sm/sm2_examples.json").read_text())["encryption"][0]
    sm2_pk = sm2["derived_PB_x"] + sm2["derived_PB_y"]
    ek = encap["testGroups"][0]["tests"][0]["ek"]
    dk = encap["testGroups"][1]["dk"]
    seeds.append(seed(1, ek + sm2_pk))
    seeds.append(seed(1, ek.lower() + sm2_pk.lower()))
    seeds.append(seed(1, ek[:1599] + sm2_pk))
    fake_c2 = outside_fakes.FAKE["SM2"].Encrypt(bytes(32), outside_fakes.SM2_PK, 64, 0).hex()
    c1 = "ct:" + bytes(range(32)).hex()
    seeds.append(seed(2, c1, fake_c2, dk + sm2["dB"]))
    seeds.append(seed(2, c1, fake_c2, outside_fakes.HYBRID_SK))
    standard = json.loads((vectors / "sm/sm3_sm4_standard_examples.json").read_text())
    for example in standard["sm3"]:
        seeds.append(seed(3, example["digest"][:32], example["digest"][32:]))
    sm4 = standard["sm4"]
    seeds.append(seed(3, sm4["key"], sm4["ciphertext"]))
    padding = json.loads((vectors / "sm/gmssl_sm4_cbc_pkcs7_padding.json").read_text())
    for i, t in enumerate(padding[:6]):
        seeds.append(seed(4, t["key"], t["iv"], bytes.fromhex(t["msg"]).decode("latin-1"), form=i % 4))
        own = (bytes.fromhex(t["iv"]) + bytes.fromhex(t["key"]) + bytes.fromhex(t["msg"])).hex()
        seeds.append(seed(5, t["key"], t["iv"], own, form=i % 4))
        seeds.append(seed(5, t["key"], t["iv"], t["ct"], form=i % 4))
    return seeds


def write(name, seeds):
    folder = HERE / "seeds" / name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for data in seeds:
        (folder / hashlib.sha1(data).hexdigest()).write_bytes(data)
    print(f"{name}: {len(seeds)} seeds")


def main():
    vectors = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE.parent / "tests" / "vectors"
    write("kyber", kyber_seeds(vectors))
    write("velmora", velmora_seeds(vectors))


if __name__ == "__main__":
    main()
