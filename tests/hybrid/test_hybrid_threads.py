"""Several threads sealing, opening, encapsulating and exchanging with shared key objects at once."""

import io
import os
import threading

from kyber_alg import hybrid

THREADS = 4
ROUNDS = 3


def test_shared_keys_in_threads():
    sk = hybrid.SM2MLKEM768PrivateKey.generate()
    pk = sk.public_key()
    client = hybrid.CurveSM2MLKEM768Client()
    big = os.urandom(300_000)  # long enough for the native calls to let go of the GIL
    errors = []

    def work(i):
        try:
            for r in range(ROUNDS):
                message = bytes([i, r]) * 1000
                assert hybrid.open(sk, hybrid.seal(pk, message, b"%d" % i), b"%d" % i) == message
                ss, ct = pk.encapsulate()
                assert sk.decapsulate(ct) == ss
                share, secret = hybrid.curve_sm2_mlkem768_server(client.key_share)
                assert client.finish(share) == secret
                sealed, opened = io.BytesIO(), io.BytesIO()
                hybrid.seal_stream(pk, io.BytesIO(big), sealed, chunk_size=1 << 14)
                hybrid.open_stream(sk, io.BytesIO(sealed.getvalue()), opened)
                assert opened.getvalue() == big
        except BaseException as e:  # reported by the main thread
            errors.append(e)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors
