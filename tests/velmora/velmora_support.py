"""Helpers shared by the Velmora tests.

The extension keeps process-wide records (one module object, one interpreter),
so loading scenarios run in subprocesses against a throwaway package holding a
copy of the built .so; in-process tests share one module per session.
"""

import glob
import importlib
import importlib.machinery
import importlib.util
import json
import os
import shutil
import subprocess
import sys
import sysconfig
import textwrap
import traceback
import types
import uuid
from pathlib import Path

import pytest

SAMPLE_TEXT = r"hello Bellmar![\%tdy se76s66443a5hfd$nnn]"
FUNCS = ("key_gen_hybrid", "enc_hybrid", "dec_hybrid", "xor_hex_strings", "sm4_encode", "sm4_decode")


def locate_velmora():
    """The built extension, found without importing it (VELMORA_SO overrides)."""
    if os.environ.get("VELMORA_SO"):
        return os.environ["VELMORA_SO"]
    try:
        spec = importlib.util.find_spec("kyber_alg.Velmora")
    except ImportError:
        spec = None
    if spec is not None and (spec.origin or "").endswith(".so"):
        return spec.origin
    hits = [
        h
        for entry in sys.path
        for h in glob.glob(os.path.join(entry or ".", "kyber_alg", "Velmora" + sysconfig.get_config_var("EXT_SUFFIX")))
    ]
    return hits[0] if hits else None


VELMORA_SO = locate_velmora()
PKG_DIR = Path(VELMORA_SO).parent if VELMORA_SO else None
HAS_REAL_KYBER = bool(
    PKG_DIR and any((PKG_DIR / ("Kyber" + suffix)).exists() for suffix in importlib.machinery.EXTENSION_SUFFIXES)
)
needs_so = pytest.mark.skipif(VELMORA_SO is None, reason="Velmora extension not built yet")

# The stand-ins for the outside modules live in tests/outside_fakes.py.
# Re-exported for the velmora tests, which import them from here.
from outside_fakes import (  # noqa: E402, F401
    FAKE,
    FAKE_KYBER,
    FAKE_OUTSIDE,
    HYBRID_PK,
    HYBRID_SK,
    SM2_PK,
    SM2_SK,
    load_source,
    write_tree,
)


def make_package(root, name="pkg", kyber=FAKE_KYBER):
    """A throwaway package holding a copy of the Velmora .so and a Kyber."""
    files = {f"{name}/__init__.py": ""}
    if kyber is not None:
        files[f"{name}/Kyber.py"] = kyber
    write_tree(root, files)
    shutil.copy2(VELMORA_SO, Path(root) / name / os.path.basename(VELMORA_SO))
    return Path(root)


PRELUDE = """
import sys, json, traceback, importlib, importlib.util
def tb_names(e):
    return [f.name for f in traceback.extract_tb(e.__traceback__)]
def emit(**kw):
    sys.stdout.flush()
    sys.stdout.write("RESULT:" + json.dumps(kw) + chr(10)); sys.stdout.flush()
"""


def run_python(script, pythonpath=(), site=False, cwd=None, args=None):
    """Run a script (or `args`) in a fresh interpreter; -S keeps the installed
    pysmx/gmssl out of reach unless `site`.  Returns (rc, printed lines, result, proc)."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("PYTHON")}
    env.update(PYTHONPATH=os.pathsep.join(map(str, pythonpath)), PYTHONIOENCODING="utf-8", PYTHONDONTWRITEBYTECODE="1")
    cmd = [sys.executable] + ([] if site else ["-S"])
    cmd += args or ["-c", PRELUDE + textwrap.dedent(script)]
    proc = subprocess.run(cmd, capture_output=True, text=True, encoding="utf-8", env=env, cwd=cwd, timeout=300)
    lines = [ln for ln in proc.stdout.splitlines() if not ln.startswith("RESULT:")]
    results = [json.loads(ln[7:]) for ln in proc.stdout.splitlines() if ln.startswith("RESULT:")]
    assert results or args, f"rc={proc.returncode}\n{proc.stdout}\n{proc.stderr}"
    return proc.returncode, lines, (results[-1] if results else None), proc


def tb_names(exc):
    return [f.name for f in traceback.extract_tb(exc.__traceback__)]


@pytest.fixture(scope="session")
def mod(tmp_path_factory):
    """The package's own Velmora when the real Kyber sits beside it, otherwise
    a copy in a throwaway package with a stand-in Kyber (real pysmx/gmssl)."""
    if VELMORA_SO is None:
        pytest.skip("Velmora extension not built yet")
    if HAS_REAL_KYBER and not os.environ.get("VELMORA_SO"):
        return importlib.import_module("kyber_alg.Velmora")
    root = tmp_path_factory.mktemp("velmora_session")
    name = "velmora_session_" + uuid.uuid4().hex[:8]
    make_package(root, name=name)
    sys.path.insert(0, str(root))
    return importlib.import_module(name + ".Velmora")


class Recorder(list):
    """Logs (name, args, kwargs) of every call made through its wrappers."""

    def wrap(self, name, fn, methods=()):
        def w(*a, **k):
            self.append((name, a, k))
            out = fn(*a, **k)
            for m in methods:  # record the methods of the object made
                setattr(out, m, self.wrap(m, getattr(out, m)))
            return out

        return w

    def of(self, name):
        return [c[1] for c in self if c[0] == name]


@pytest.fixture
def rec():
    return Recorder()


@pytest.fixture
def world(mod, monkeypatch, rec):
    """Recording stand-ins bound as the module's outside names; os.urandom
    returns 0x00.., 0x20.., 0x40.., ... in turn."""
    starts = iter(range(0, 10**6, 32))
    w = types.SimpleNamespace(rec=rec, digest=lambda d: d, draws=[])

    def urandom(n):
        start = next(starts)
        w.draws.append(bytes((start + j) % 256 for j in range(n)))
        return w.draws[-1]

    class SM3(FAKE["SM3"].SM3):
        def hexdigest(self):
            return w.digest(super().hexdigest())

    k = FAKE["Kyber"]
    w.Kyber = types.SimpleNamespace(**{n: rec.wrap(n, getattr(k, n)) for n in ("CCA_KeyGen", "CCA_Enc", "CCA_Dec")})
    w.sm4 = types.SimpleNamespace(
        CryptSM4=rec.wrap("CryptSM4", FAKE["sm4"].CryptSM4, ("set_key", "crypt_cbc")), SM4_ENCRYPT=0, SM4_DECRYPT="DEC"
    )
    for name, value in [
        ("os", types.SimpleNamespace(urandom=rec.wrap("urandom", urandom))),
        ("Kyber", w.Kyber),
        ("SM3", rec.wrap("SM3", SM3, ("update", "hexdigest"))),
        ("sm4", w.sm4),
    ] + [(n, rec.wrap(n, getattr(FAKE["SM2"], n))) for n in ("generate_keypair", "Encrypt", "Decrypt")]:
        monkeypatch.setattr(mod, name, value)
    return w


def xor_ref(a, b):
    return bytes(x ^ y for x, y in zip(bytes.fromhex(a), bytes.fromhex(b))).hex()
