"""curveSM2 + ML-KEM-768 done soundly: the TLS 1.3 hybrid group curveSM2MLKEM768, a hybrid KEM for
static keys, one-shot sealing (SM4-GCM) and a chunked stream format for data of any size.

The exact byte layouts are in docs/api/hybrid.md; the constants below are their building blocks.
The parts live in private modules (``_tls``, ``_kem``, ``_seal``, ``_stream``); this package is
their one public face.
"""

# The sizes and format bytes are imported "as" themselves: public as hybrid.NAME, though not in __all__.
from kyber_alg.hybrid._common import (
    GCM_TAG_SIZE as GCM_TAG_SIZE,
)
from kyber_alg.hybrid._common import (
    KEM_CIPHERTEXT_SIZE as KEM_CIPHERTEXT_SIZE,
)
from kyber_alg.hybrid._common import (
    KEM_PRIVATE_KEY_SIZE as KEM_PRIVATE_KEY_SIZE,
)
from kyber_alg.hybrid._common import (
    KEM_PUBLIC_KEY_SIZE as KEM_PUBLIC_KEY_SIZE,
)
from kyber_alg.hybrid._common import (
    KEM_SHARED_SECRET_SIZE as KEM_SHARED_SECRET_SIZE,
)
from kyber_alg.hybrid._common import (
    MLKEM768_CIPHERTEXT_SIZE as MLKEM768_CIPHERTEXT_SIZE,
)
from kyber_alg.hybrid._common import (
    MLKEM768_PUBLIC_KEY_SIZE as MLKEM768_PUBLIC_KEY_SIZE,
)
from kyber_alg.hybrid._common import (
    SM2_POINT_SIZE as SM2_POINT_SIZE,
)
from kyber_alg.hybrid._common import (
    TLS_CLIENT_SHARE_SIZE as TLS_CLIENT_SHARE_SIZE,
)
from kyber_alg.hybrid._common import (
    TLS_SERVER_SHARE_SIZE as TLS_SERVER_SHARE_SIZE,
)
from kyber_alg.hybrid._common import (
    TLS_SHARED_SECRET_SIZE as TLS_SHARED_SECRET_SIZE,
)
from kyber_alg.hybrid._kem import (
    SM2MLKEM768PrivateKey,
    SM2MLKEM768PublicKey,
    load_pem_private_key,
    load_pem_public_key,
)
from kyber_alg.hybrid._seal import SEAL_FORMAT as SEAL_FORMAT
from kyber_alg.hybrid._seal import SEAL_OVERHEAD as SEAL_OVERHEAD
from kyber_alg.hybrid._seal import open, seal
from kyber_alg.hybrid._stream import (
    DEFAULT_CHUNK_SIZE as DEFAULT_CHUNK_SIZE,
)
from kyber_alg.hybrid._stream import (
    MAX_CHUNK_SIZE as MAX_CHUNK_SIZE,
)
from kyber_alg.hybrid._stream import (
    MIN_CHUNK_SIZE as MIN_CHUNK_SIZE,
)
from kyber_alg.hybrid._stream import (
    STREAM_FORMAT as STREAM_FORMAT,
)
from kyber_alg.hybrid._stream import (
    STREAM_HEADER_SIZE as STREAM_HEADER_SIZE,
)
from kyber_alg.hybrid._stream import (
    StreamOpener,
    StreamSealer,
    open_stream,
    seal_stream,
)
from kyber_alg.hybrid._tls import CURVE_SM2_MLKEM768, CurveSM2MLKEM768Client, curve_sm2_mlkem768_server

__all__ = [
    "CURVE_SM2_MLKEM768",
    "CurveSM2MLKEM768Client",
    "curve_sm2_mlkem768_server",
    "SM2MLKEM768PrivateKey",
    "SM2MLKEM768PublicKey",
    "load_pem_private_key",
    "load_pem_public_key",
    "seal",
    "open",
    "StreamSealer",
    "StreamOpener",
    "seal_stream",
    "open_stream",
]

# Shown as what they are to users: kyber_alg.hybrid.NAME, wherever the code lives.
for _name in __all__:
    if callable(_public := globals()[_name]):
        _public.__module__ = __name__
