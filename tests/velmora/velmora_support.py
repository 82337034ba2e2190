"""Helpers shared by the Velmora tests.

The extension keeps process-wide records (one module object, one interpreter),
so loading scenarios run in subprocesses against a throwaway package holding a
copy of the built .so.  In-process tests share one module per session.
"""
import glob
import hashlib
import importlib
import importlib.util
import json
import os
import shutil
import subprocess
import sys
import textwrap
import traceback
import types
import uuid
from pathlib import Path

import pytest

SO_GLOB = "Velmora.cpython-311*.so"
SAMPLE_TEXT = r"hello Bellmar![\%tdy se76s66443a5hfd$nnn]"
assert len(SAMPLE_TEXT) == 41 and SAMPLE_TEXT.count("\\") == 1

FUNCS = ("key_gen_hybrid", "enc_hybrid", "dec_hybrid",
         "xor_hex_strings", "sm4_encode", "sm4_decode")


# --------------------------------------------------------------------------
# locating the built extension (without importing it)
# --------------------------------------------------------------------------
def _find_in_pkg_dirs(pattern):
    try:
        spec = importlib.util.find_spec("kyber_alg")
    except ImportError:
        spec = None
    dirs = []
    if spec is not None and spec.submodule_search_locations:
        dirs.extend(spec.submodule_search_locations)
    # The source tree may shadow an installed copy: look at every sys.path entry.
    for entry in sys.path:
        d = os.path.join(entry or os.getcwd(), "kyber_alg")
        if os.path.isdir(d) and d not in dirs:
            dirs.append(d)
    for d in dirs:
        hits = sorted(glob.glob(os.path.join(d, pattern)))
        if hits:
            return hits[0]
    return None


def locate_velmora():
    if os.environ.get("VELMORA_SO"):      # test another build (e.g. a sanitizer one)
        return os.environ["VELMORA_SO"]
    try:
        spec = importlib.util.find_spec("kyber_alg.Velmora")
    except ImportError:
        spec = None
    if spec is not None and spec.origin and spec.origin.endswith(".so"):
        return spec.origin
    return _find_in_pkg_dirs(SO_GLOB)


VELMORA_SO = locate_velmora()


def real_kyber_dir():
    """Directory of a package holding both Velmora and a real Kyber, or None."""
    if VELMORA_SO is None:
        return None
    d = os.path.dirname(VELMORA_SO)
    if glob.glob(os.path.join(d, "Kyber.cpython-311*.so")) or \
            os.path.exists(os.path.join(d, "Kyber.py")):
        return d
    return None


needs_so = pytest.mark.skipif(VELMORA_SO is None,
                              reason="Velmora extension not built yet")
needs_real_kyber = pytest.mark.skipif(real_kyber_dir() is None,
                                      reason="real kyber_alg.Kyber not available yet")


# --------------------------------------------------------------------------
# fake outside modules (sources, written into throwaway dirs)
# --------------------------------------------------------------------------
FAKE_KYBER = '''
import hashlib, sys
_c = sys.__dict__.setdefault("_velmora_counts", {})
_c["Kyber"] = _c.get("Kyber", 0) + 1
PK = (b"0123456789abcdef" * 100)            # 1600 ASCII bytes
SK = (b"fedcba9876543210" * 204)            # 3264 ASCII bytes
def CCA_KeyGen():
    return (PK, SK)
def _secret(m):
    return hashlib.sha256(b"kyber" + m).digest()
def CCA_Enc(pk, m):
    assert isinstance(pk, str) and len(pk) == 1600, (type(pk), len(pk))
    return ("ct:" + m.hex(), _secret(m))
def CCA_Dec(c, sk):
    assert isinstance(sk, str) and len(sk) == 3264, (type(sk), len(sk))
    return WRONG if WRONG is not None else _secret(bytes.fromhex(c[3:]))
WRONG = None
'''

FAKE_KYBER_WRONG = FAKE_KYBER.replace("WRONG = None", "WRONG = bytes(32)")

FAKE_PYSMX = {
    "pysmx/__init__.py": "",
    "pysmx/SM2.py": '''
import os, sys
_c = sys.__dict__.setdefault("_velmora_counts", {})
_c["SM2"] = _c.get("SM2", 0) + 1
def generate_keypair(n):
    sk = os.urandom(32)
    return (sk + sk[::-1], sk)
def Encrypt(m, pk, n, z):
    return b"\\x04" + bytes(a ^ b for a, b in zip(m, pk[:32])) + b"tail"
def Decrypt(c, sk, n):
    if c[:1] != b"\\x04" or c[-4:] != b"tail":
        raise ValueError("bad sm2 ciphertext")
    return bytes(a ^ b for a, b in zip(c[1:-4], sk))
''',
    "pysmx/SM3.py": '''
import hashlib, sys
_c = sys.__dict__.setdefault("_velmora_counts", {})
_c["SM3"] = _c.get("SM3", 0) + 1
class SM3:
    def __init__(self):
        self._h = hashlib.sha256()
    def update(self, b):
        self._h.update(b)
    def hexdigest(self):
        return self._h.hexdigest()
def hash_msg(m):
    return hashlib.sha256(m).hexdigest()
''',
    "gmssl/__init__.py": "",
    "gmssl/sm4.py": '''
import hashlib, sys
_c = sys.__dict__.setdefault("_velmora_counts", {})
_c["sm4"] = _c.get("sm4", 0) + 1
SM4_ENCRYPT = 0
SM4_DECRYPT = 1
class CryptSM4:
    def set_key(self, key, mode):
        assert len(key) == 16
        self.key, self.mode = key, mode
    def _stream(self, iv, n):
        out = b""
        i = 0
        while len(out) < n:
            out += hashlib.sha256(self.key + iv + i.to_bytes(4, "big")).digest()
            i += 1
        return out[:n]
    def crypt_cbc(self, iv, data):
        assert len(iv) == 16
        if self.mode == SM4_ENCRYPT:
            p = 16 - len(data) % 16
            data = data + bytes([p]) * p
            return bytes(a ^ b for a, b in zip(data, self._stream(iv, len(data))))
        out = bytes(a ^ b for a, b in zip(data, self._stream(iv, len(data))))
        p = out[-1] if out else 0
        if not 1 <= p <= 16 or out[-p:] != bytes([p]) * p:
            raise ValueError("bad padding")
        return out[:-p]
''',
}


def write_tree(root, files):
    root = Path(root)
    for rel, src in files.items():
        p = root / rel
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_text(textwrap.dedent(src), encoding="utf-8")
    return root


def make_package(root, name="pkg", kyber=FAKE_KYBER, so=None):
    """A throwaway package `name` holding a copy of the Velmora .so and a Kyber."""
    so = so or VELMORA_SO
    d = Path(root) / name
    d.mkdir(parents=True, exist_ok=True)
    (d / "__init__.py").write_text("", encoding="utf-8")
    if kyber is not None:
        (d / "Kyber.py").write_text(kyber, encoding="utf-8")
    shutil.copy2(so, d / os.path.basename(so))
    return d


def make_fakes(root, files=None):
    return write_tree(root, FAKE_PYSMX if files is None else files)


# --------------------------------------------------------------------------
# subprocess runner
# --------------------------------------------------------------------------
SCRIPT_PRELUDE = '''
import sys, json, traceback, importlib, importlib.util
def tb_names(e):
    return [f.name for f in traceback.extract_tb(e.__traceback__)]
def emit(**kw):
    sys.stdout.flush()
    sys.stdout.write("RESULT:" + json.dumps(kw) + chr(10)); sys.stdout.flush()
'''


class Run:
    def __init__(self, proc):
        self.proc = proc
        self.rc = proc.returncode
        self.stdout = proc.stdout
        self.stderr = proc.stderr
        self.results = []
        self.lines = []
        for line in proc.stdout.splitlines():
            if line.startswith("RESULT:"):
                self.results.append(json.loads(line[len("RESULT:"):]))
            else:
                self.lines.append(line)

    @property
    def result(self):
        assert self.results, f"no result; rc={self.rc}\nstdout:\n{self.stdout}\nstderr:\n{self.stderr}"
        return self.results[-1]

    def __repr__(self):
        return f"<Run rc={self.rc}\nstdout:\n{self.stdout}\nstderr:\n{self.stderr}>"


def run_python(script, pythonpath=(), site=False, cwd=None, args=None, timeout=300):
    env = {k: v for k, v in os.environ.items() if not k.startswith("PYTHON")}
    env["PYTHONPATH"] = os.pathsep.join(str(p) for p in pythonpath)
    env["PYTHONIOENCODING"] = "utf-8"
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    cmd = [sys.executable]
    if not site:
        cmd.append("-S")     # keep the real pysmx/gmssl out of reach
    if args is not None:
        cmd += args
    else:
        cmd += ["-c", SCRIPT_PRELUDE + textwrap.dedent(script)]
    proc = subprocess.run(cmd, capture_output=True, text=True, encoding="utf-8",
                          env=env, cwd=cwd or os.getcwd(), timeout=timeout)
    return Run(proc)


# --------------------------------------------------------------------------
# in-process module for the session
# --------------------------------------------------------------------------
def tb_names(exc):
    return [f.name for f in traceback.extract_tb(exc.__traceback__)]


_SESSION = {}


@pytest.fixture(scope="session")
def mod(tmp_path_factory):
    """One Velmora per test session: the package's own when the real Kyber is
    importable next to it, otherwise a copy in a throwaway package with a fake
    Kyber (the real pysmx/gmssl are used either way)."""
    if VELMORA_SO is None:
        pytest.skip("Velmora extension not built yet")
    if real_kyber_dir() is not None:
        try:
            importlib.import_module("kyber_alg.Kyber")
            have_kyber = True
        except ImportError:
            have_kyber = False
        if have_kyber:
            _SESSION["real_kyber"] = True
            return importlib.import_module("kyber_alg.Velmora")
    root = tmp_path_factory.mktemp("velmora_session")
    name = "velmora_session_" + uuid.uuid4().hex[:8]
    make_package(root, name=name)
    sys.path.insert(0, str(root))
    importlib.invalidate_caches()
    _SESSION["real_kyber"] = False
    return importlib.import_module(name + ".Velmora")


@pytest.fixture(scope="session")
def real_kyber(mod):
    """The module's Kyber when it is the real component, else skip."""
    if not _SESSION.get("real_kyber"):
        pytest.skip("real kyber_alg.Kyber not available yet")
    return mod.Kyber


# --------------------------------------------------------------------------
# recording fakes for in-process body tests
# --------------------------------------------------------------------------
class Recorder:
    def __init__(self):
        self.calls = []

    def log(self, name, args, kwargs):
        self.calls.append((name, args, kwargs))

    def names(self):
        return [c[0] for c in self.calls]

    def of(self, name):
        return [c for c in self.calls if c[0] == name]

    def wrap(self, name, fn):
        def w(*a, **k):
            self.log(name, a, k)
            return fn(*a, **k)
        w.__name__ = name
        return w


KY_PK = b"0123456789abcdef" * 100
KY_SK = b"fedcba9876543210" * 204


def kyber_secret(m):
    return hashlib.sha256(b"kyber" + m).digest()


class FakeWorld:
    """Recording stand-ins for every outside name the bodies look up."""

    def __init__(self, rec):
        self.rec = rec
        self.random = [bytes(range(i * 32, i * 32 + 32)) for i in range(4)] + \
                      [bytes((i * 7 + 1) % 256 for i in range(32))] * 100
        self.draws = 0
        self.keygen_result = (KY_PK, KY_SK)
        self.sm2_pk = bytes(range(100, 164))
        self.sm2_sk = bytes(range(200, 232))
        self.digest_case = str.lower

        world = self

        def urandom(n):
            world.rec.log("urandom", (n,), {})
            v = world.random[world.draws]
            world.draws += 1
            return v

        def CCA_KeyGen(*a, **k):
            rec.log("CCA_KeyGen", a, k)
            return world.keygen_result

        def CCA_Enc(*a, **k):
            rec.log("CCA_Enc", a, k)
            return ("ct:" + a[1].hex(), kyber_secret(a[1]))

        def CCA_Dec(*a, **k):
            rec.log("CCA_Dec", a, k)
            return kyber_secret(bytes.fromhex(a[0][3:]))

        def generate_keypair(*a, **k):
            rec.log("generate_keypair", a, k)
            return (world.sm2_pk, world.sm2_sk)

        def Encrypt(*a, **k):
            rec.log("Encrypt", a, k)
            m, pk = a[0], a[1]
            return b"\x04" + bytes(x ^ y for x, y in zip(m, pk[:32]))

        def Decrypt(*a, **k):
            rec.log("Decrypt", a, k)
            c, sk = a[0], a[1]
            return bytes(x ^ y for x, y in zip(c[1:], world.sm2_pk[:32]))

        class SM3:
            def __init__(self, *a, **k):
                rec.log("SM3", a, k)
                self._h = hashlib.sha256()

            def update(self, *a, **k):
                rec.log("update", a, k)
                self._h.update(a[0])
                return "ignored"

            def hexdigest(self, *a, **k):
                rec.log("hexdigest", a, k)
                return world.digest_case(self._h.hexdigest())

        class CryptSM4:
            def __init__(self, *a, **k):
                rec.log("CryptSM4", a, k)

            def set_key(self, *a, **k):
                rec.log("set_key", a, k)
                self.key = a[0]
                return "ignored"

            def crypt_cbc(self, *a, **k):
                rec.log("crypt_cbc", a, k)
                return bytes(x ^ self.key[i % len(self.key)] for i, x in enumerate(a[1]))

        self.os = types.SimpleNamespace(urandom=urandom)
        self.Kyber = types.SimpleNamespace(CCA_KeyGen=CCA_KeyGen, CCA_Enc=CCA_Enc,
                                           CCA_Dec=CCA_Dec)
        self.generate_keypair = generate_keypair
        self.Encrypt = Encrypt
        self.Decrypt = Decrypt
        self.SM3 = SM3
        self.sm4 = types.SimpleNamespace(CryptSM4=CryptSM4, SM4_ENCRYPT="ENC",
                                         SM4_DECRYPT="DEC")

    def install(self, monkeypatch, mod):
        for name in ("os", "Kyber", "generate_keypair", "Encrypt", "Decrypt", "SM3", "sm4"):
            monkeypatch.setattr(mod, name, getattr(self, name))


@pytest.fixture
def rec():
    return Recorder()


@pytest.fixture
def world(mod, monkeypatch, rec):
    w = FakeWorld(rec)
    w.install(monkeypatch, mod)
    return w


def xor_ref(a, b):
    return bytes(x ^ y for x, y in zip(bytes.fromhex(a), bytes.fromhex(b))).hex()


def hybrid_pk(world):
    return (KY_PK + world.sm2_pk.hex().encode()).decode()


def hybrid_sk(world):
    return (KY_SK + world.sm2_sk.hex().encode()).decode()
