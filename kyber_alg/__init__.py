"""Hybrid ML-KEM-512 + SM2 key exchange with SM4-CBC messages.

The native modules are imported on demand (``from kyber_alg import Velmora``);
nothing is loaded here, so ``python -m kyber_alg`` can run ``Velmora`` as the
main program in a process where it has not been loaded yet.
"""

__version__ = "0.1.0"


# `from kyber_alg import _sm2` (and the like) asks for this attribute when the submodule cannot be
# imported: the failure then says what happened and what to do, rather than "cannot import name
# '_sm2'". The usual cause: Python imported this folder from a source checkout, which has no built
# modules, instead of the installed package. (importlib.util.find_spec is not affected.)
_NATIVE_MODULES = frozenset({"Velmora", "Kyber", "_sm2", "_sm3", "_sm4", "_mlkem"})


def __getattr__(name: str) -> object:
    if name not in _NATIVE_MODULES:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    import importlib

    try:
        return importlib.import_module(f"{__name__}.{name}")
    except ModuleNotFoundError as e:
        if e.name != f"{__name__}.{name}":
            raise
        raise ImportError(_missing_native_module(e.name), name=e.name) from None


def _missing_native_module(name: str) -> str:
    import os

    package = os.path.dirname(os.path.abspath(__file__))
    checkout = os.path.dirname(package)
    if os.path.exists(os.path.join(checkout, "pyproject.toml")):
        return (
            f"{name} is not built: Python imported kyber_alg from the source checkout {checkout}, which "
            "has no built native modules. Install the package (pip install .) and run Python with -P "
            "(python -P -m kyber_alg ...), or from another folder, so that the installed copy is imported"
        )
    return f"{name} is missing from {package}: the installation is incomplete; reinstall kyber_alg"
