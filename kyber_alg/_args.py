"""The argument readers of the package's Python modules: one reader of each kind, one wording of errors.

The native modules read their arguments in ``src/common/args.hpp``; these are the Python counterparts, with
the same messages: a value of the wrong type is a ``TypeError``, a value of the right type that cannot be
used a ``ValueError``.
"""

from __future__ import annotations

from collections.abc import Iterable

__all__ = ["check_no_encryption", "check_no_password", "read_bytes", "read_choice", "read_name", "read_optional_bytes"]


def _type_name(value: object) -> str:
    return type(value).__name__


def read_bytes(value: object, name: str) -> bytes:
    """One copy of a bytes-like argument, so that later reads cannot see it change (bytes as it is).

    Anything with the buffer protocol is bytes-like (bytes, bytearray, memoryview of any shape, array, mmap);
    everything else, ``str`` and ``int`` included, is a ``TypeError``.
    """
    if type(value) is bytes:
        return value
    if isinstance(value, str):  # no buffer, but named, as the native readers name it
        raise TypeError(f"{name} must be a bytes-like object, not str")
    try:
        view = memoryview(value)  # type: ignore[arg-type]  # the check is the point
    except TypeError:
        raise TypeError(f"{name} must be a bytes-like object, not {_type_name(value)!r}") from None
    with view:
        return view.tobytes()  # the raw bytes, whatever the view's format and strides


def read_optional_bytes(value: object, name: str) -> bytes:
    """As :func:`read_bytes`, with None read as empty."""
    return b"" if value is None else read_bytes(value, name)


def read_choice(value: object, name: str, allowed: Iterable[str]) -> str:
    """A str argument that must be one of allowed (compared exactly)."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be str, not {_type_name(value)!r}")
    allowed = tuple(allowed)
    if value not in allowed:
        raise ValueError(f"{name} must be one of {', '.join(map(repr, allowed))}, got {value!r}")
    return value


def read_name(value: object, name: str, kinds: tuple[str, ...], allowed: dict[str, str]) -> str:
    """A choice given as a str or as a member of one of cryptography's serialization enums.

    ``kinds`` names the enums (``"Encoding"``, ``"PrivateFormat"``, ``"PublicFormat"``), compared by class
    name so that cryptography stays optional; a member is read by its name (``Encoding.PEM`` is ``"pem"``;
    its str is ``"Encoding.PEM"``, as for a Python enum). ``allowed`` maps each accepted lower-case name
    (and alias) to the name returned.
    """
    if isinstance(value, str):
        key = value.lower()
    elif type(value).__name__ in kinds:
        key = str(value).rpartition(".")[2].lower()
    else:
        raise TypeError(f"{name} must be a str or cryptography's {' or '.join(kinds)}, not {_type_name(value)!r}")
    if key not in allowed:
        names = ", ".join(repr(n) for n in dict.fromkeys(allowed.values()))
        raise ValueError(f"{name} must be one of {names}, got {value!r}")
    return allowed[key]


def check_no_encryption(encryption_algorithm: object) -> None:
    """Only unencrypted private keys are written: None or cryptography's ``NoEncryption()``."""
    if encryption_algorithm is not None and type(encryption_algorithm).__name__ != "NoEncryption":
        raise ValueError("encrypted private keys are not supported: pass encryption_algorithm=None or NoEncryption()")


def check_no_password(password: object) -> None:
    """For a private key read unencrypted: a password is an error, with cryptography's words."""
    if password is not None:
        read_bytes(password, "password")
        raise TypeError("Password was given but private key is not encrypted.")
