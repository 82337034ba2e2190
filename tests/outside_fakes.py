"""Stand-ins for the outside components Velmora calls: ML-KEM (Kyber), SM2
(pysmx.SM2), SM3 (pysmx.SM3) and SM4 (gmssl.sm4).

Small, deterministic and they round-trip, so a test can tell what the module
did with their results.  The same set serves the tests, the leak check and
bench/bench_velmora.py.  Each is kept as source text as well, for scenarios
that load them as real packages in a fresh interpreter; every stand-in module
counts its own imports in sys._velmora_counts.
"""

import types
from pathlib import Path

_COUNT = 'import sys\n_c = sys.__dict__.setdefault("_velmora_counts", {})\n_c[__name__] = _c.get(__name__, 0) + 1\n'

FAKE_KYBER = (
    _COUNT
    + """
import hashlib
PK, SK, WRONG = b"0123456789abcdef" * 100, b"fedcba9876543210" * 204, None
def CCA_KeyGen():
    return (PK, SK)
def CCA_Enc(pk, m):
    return ("ct:" + m.hex(), hashlib.sha256(b"kyber" + m).digest())
def CCA_Dec(c, sk):
    return WRONG or hashlib.sha256(b"kyber" + bytes.fromhex(c[3:])).digest()
"""
)

FAKE_OUTSIDE = {
    "pysmx/__init__.py": "",
    "pysmx/SM2.py": _COUNT
    + """
SK = bytes(range(200, 232))
def generate_keypair(n):
    return (SK + SK[::-1], SK)
def Encrypt(m, pk, n, z):
    return b"\\x04" + bytes(a ^ b for a, b in zip(m, pk[:32]))
def Decrypt(c, sk, n):
    return bytes(a ^ b for a, b in zip(c[1:], sk))
""",
    "pysmx/SM3.py": _COUNT
    + """
import hashlib
class SM3:
    def __init__(self):
        self._h = hashlib.sha256()
    def update(self, b):
        self._h.update(b)
    def hexdigest(self):
        return self._h.hexdigest()
def hash_msg(m):
    raise AssertionError("hash_msg is never called")
""",
    # gmssl.sm4 is importable but not an attribute of gmssl: the name is found
    # through the module table.
    "gmssl/__init__.py": "import gmssl.sm4\ndel sm4\n",
    "gmssl/sm4.py": _COUNT
    + """
SM4_ENCRYPT, SM4_DECRYPT = 0, 1
class CryptSM4:
    def set_key(self, key, mode):
        self.key, self.mode = key, mode
    def crypt_cbc(self, iv, data):
        if self.mode == SM4_ENCRYPT:
            return iv + self.key + data
        if data[:32] != iv + self.key:
            raise ValueError("bad padding")
        return data[32:]
""",
}


def write_tree(root, files):
    """Writes {relative path: source} below root (for loading as packages)."""
    for rel, src in files.items():
        p = Path(root) / rel
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_text(src, encoding="utf-8")
    return Path(root)


def load_source(name, src):
    m = types.ModuleType(name)
    exec(compile(src, name, "exec"), m.__dict__)
    return m


FAKE = {
    name: load_source(name, src)
    for name, src in [
        ("Kyber", FAKE_KYBER),
        ("SM2", FAKE_OUTSIDE["pysmx/SM2.py"]),
        ("SM3", FAKE_OUTSIDE["pysmx/SM3.py"]),
        ("sm4", FAKE_OUTSIDE["gmssl/sm4.py"]),
    ]
}
SM2_PK, SM2_SK = FAKE["SM2"].generate_keypair(64)
HYBRID_PK = (FAKE["Kyber"].PK + SM2_PK.hex().encode()).decode()
HYBRID_SK = (FAKE["Kyber"].SK + SM2_SK.hex().encode()).decode()

# Velmora's outside names and the stand-in each is bound to.
BINDINGS = {
    "Kyber": FAKE["Kyber"],
    "generate_keypair": FAKE["SM2"].generate_keypair,
    "Encrypt": FAKE["SM2"].Encrypt,
    "Decrypt": FAKE["SM2"].Decrypt,
    "SM3": FAKE["SM3"].SM3,
    "sm4": FAKE["sm4"],
}


def bind(module, namespaces=()):
    """Rebinds the outside names of `module` (and of any extra namespaces) to
    the stand-ins; returns the previous values of `module` for restore()."""
    saved = {name: module.__dict__.get(name) for name in BINDINGS}
    for target in (module, *namespaces):
        for name, value in BINDINGS.items():
            setattr(target, name, value)
    return saved


def restore(module, saved, namespaces=()):
    for target in (module, *namespaces):
        for name, value in saved.items():
            setattr(target, name, value)
