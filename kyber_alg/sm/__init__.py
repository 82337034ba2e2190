"""Native SM2, SM3 and SM4, and the switch that binds them into kyber_alg.Velmora.

kyber_alg.sm.SM2, kyber_alg.sm.SM3 and kyber_alg.sm.sm4 are C++ drop-in replacements for pysmx.SM2,
pysmx.SM3 and gmssl.sm4; use_native() makes Velmora use them and use_default() puts back the
pure-Python components it loaded with.
"""

# The switch between these native components and the pure-Python defaults
# (pysmx.SM2, pysmx.SM3, gmssl.sm4) that kyber_alg.Velmora binds when it loads.
# Velmora looks each of these names up in its module namespace at every call,
# so rebinding the module attributes is all it takes.

import importlib as _importlib
import sys as _sys
import threading as _threading

__all__ = ["use_native", "use_default"]

_SWITCHED_NAMES = ("generate_keypair", "Encrypt", "Decrypt", "SM3", "hash_msg", "sm4")

# (Velmora module object, {name: object it held}) from the first switch of that module object.
_defaults: tuple[object, dict[str, object]] | None = None
# Held while a switch records the defaults and rebinds the names: a record taken while another thread
# is halfway through a switch would hold native objects, and use_default() would then keep them.
_switch_lock = _threading.Lock()


def _velmora() -> object:
    """kyber_alg.Velmora, loaded if it is not yet."""
    return _sys.modules.get("kyber_alg.Velmora") or _importlib.import_module("kyber_alg.Velmora")


def _bind(velmora: object, objects: dict[str, object] | None) -> None:
    """Records what velmora holds if this is its first switch, then binds `objects` (None: the record)."""
    global _defaults
    with _switch_lock:
        if _defaults is None or _defaults[0] is not velmora:
            _defaults = (velmora, {name: getattr(velmora, name) for name in _SWITCHED_NAMES})
        for name, value in (objects or _defaults[1]).items():
            setattr(velmora, name, value)


def _native_objects() -> dict[str, object]:
    from kyber_alg.sm import SM2, SM3, sm4

    return {
        "generate_keypair": SM2.generate_keypair,
        "Encrypt": SM2.Encrypt,
        "Decrypt": SM2.Decrypt,
        "SM3": SM3.SM3,
        "hash_msg": SM3.hash_msg,
        "sm4": sm4,
    }


def use_native() -> None:
    """Bind kyber_alg.Velmora's SM components to the native ones of this package.

    Rebinds Velmora's module globals generate_keypair, Encrypt and Decrypt
    (kyber_alg.sm.SM2), SM3 and hash_msg (kyber_alg.sm.SM3) and sm4 (the module
    kyber_alg.sm.sm4), and nothing else. Velmora's functions use them from their
    next call on. Loads kyber_alg.Velmora if needed; calling it again changes
    nothing. This is the recommended setting: constant-time SM2, SM3 and SM4
    that are far faster than the pure-Python defaults.
    """
    _bind(_velmora(), _native_objects())


def use_default() -> None:
    """Put back the pure-Python components that kyber_alg.Velmora bound when it loaded.

    Restores exactly the objects Velmora held for the six switched names before
    this module first switched it (the ones its load bound, pysmx's and gmssl's).
    Loads kyber_alg.Velmora if needed; idempotent.
    """
    _bind(_velmora(), None)
