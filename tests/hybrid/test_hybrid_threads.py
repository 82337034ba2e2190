"""Several threads sealing, opening, encapsulating and exchanging with shared key objects at once."""

import io
import os
from concurrent.futures import ThreadPoolExecutor

from kyber_alg import hybrid

THREADS = 4
ROUNDS = 3


def test_shared_keys_in_threads():
    sk = hybrid.SM2MLKEM768PrivateKey.generate()
    pk = sk.public_key()
    big = os.urandom(300_000)  # long enough for the native calls to let go of the GIL

    def work(i):
        for r in range(ROUNDS):
            message = bytes([i, r]) * 1000
            assert hybrid.open(sk, hybrid.seal(pk, message, b"%d" % i), b"%d" % i) == message
            ss, ct = pk.encapsulate()
            assert sk.decapsulate(ct) == ss
            client = hybrid.CurveSM2MLKEM768Client()  # one per handshake
            share, secret = hybrid.curve_sm2_mlkem768_server(client.key_share)
            assert client.finish(share) == secret
            sealed, opened = io.BytesIO(), io.BytesIO()
            hybrid.seal_stream(pk, io.BytesIO(big), sealed, chunk_size=1 << 14)
            hybrid.open_stream(sk, io.BytesIO(sealed.getvalue()), opened)
            assert opened.getvalue() == big

    with ThreadPoolExecutor(THREADS) as pool:
        for done in [pool.submit(work, i) for i in range(THREADS)]:
            done.result()  # re-raises a thread's failure here
