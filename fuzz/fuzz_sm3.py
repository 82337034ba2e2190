#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.sm.SM3: any message, split into any updates,
on any code path, checked against OpenSSL's SM3 (hashlib) and against the
object's own copy(), digest() and hash_msg().

    python -P fuzz/fuzz_sm3.py -max_total_time=60 [corpus_dir] [fuzz/seeds/sm3]
    python -P fuzz/fuzz_sm3.py --make-seeds      # rewrite fuzz/seeds/sm3 from tests/vectors

Input layout: byte 0 picks the code path, byte 1 the number of cut points,
then one byte per cut point (a position, scaled to the message), then the
message.
"""

import hashlib
import json
import sys
from pathlib import Path

import atheris

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness

with atheris.instrument_imports():
    from kyber_alg.sm import SM3

PATHS = SM3._available_backends()


def openssl_sm3(message):
    return hashlib.new("sm3", message).digest()


@atheris.instrument_func
def test_one_input(data):
    if len(data) < 2:
        return
    SM3._set_backend(PATHS[data[0] % len(PATHS)])
    count = data[1] % 8
    cuts_raw, message = data[2 : 2 + count], data[2 + count :]
    cuts = sorted(c * len(message) // 255 for c in cuts_raw)
    h = SM3.SM3()
    start = 0
    for cut in cuts:
        h.update(message[start:cut])
        start = cut
    snapshot = h.copy()
    h.update(message[start:])
    expected = openssl_sm3(message)
    assert h.digest() == expected, message.hex()
    assert h.hexdigest() == expected.hex() == SM3.hash_msg(message)
    assert snapshot.digest() == openssl_sm3(message[:start])
    assert SM3.SM3(memoryview(message)).digest() == expected
    assert SM3.SM3(msg=message).digest() == SM3.SM3.__new__(SM3.SM3, message).digest() == expected


def make_seeds():
    out = harness.seed_folder("sm3")
    examples = json.loads((harness.VECTORS / "sm" / "sm3_sm4_standard_examples.json").read_text())["sm3"]
    for i, example in enumerate(examples):
        message = bytes.fromhex(example["message_hex"])
        (out / f"standard_{i}").write_bytes(bytes([i, 2, 40, 200]) + message)
    (out / "block_boundaries").write_bytes(bytes([1, 3, 64, 128, 192]) + bytes(range(256)))


if __name__ == "__main__":
    harness.run(test_one_input, make_seeds)
