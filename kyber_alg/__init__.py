"""Hybrid ML-KEM-512 + SM2 key exchange with SM4-CBC messages.

The native modules are imported on demand (``from kyber_alg import Velmora``);
nothing is loaded here, so ``python -m kyber_alg`` can run ``Velmora`` as the
main program in a process where it has not been loaded yet.
"""

__version__ = "0.1.0"


# A native module that no finder found (the last finder on sys.meta_path is asked only then) is
# reported with what happened and what to do, rather than as "cannot import name '_sm2'". The
# usual cause: Python imported this folder from a source checkout, which has no built modules,
# instead of the installed package.
_NATIVE_MODULES = frozenset({"Velmora", "Kyber", "_sm2", "_sm3", "_sm4", "_mlkem", "sm.SM2", "sm.SM3", "sm.sm4"})


class _ExplainMissingNativeModule:
    @staticmethod
    def find_spec(name: str, path: object = None, target: object = None) -> None:
        if name.startswith(__name__ + ".") and name[len(__name__) + 1 :] in _NATIVE_MODULES:
            raise ImportError(_missing_native_module(name), name=name)


def _missing_native_module(name: str) -> str:
    import os

    package = os.path.dirname(os.path.abspath(__file__))
    checkout = os.path.dirname(package)
    if os.path.exists(os.path.join(checkout, "pyproject.toml")):
        return (f"{name} is not built: Python imported kyber_alg from the source checkout {checkout}, which "
                "has no built native modules. Install the package (pip install .) and run Python with -P "
                "(python -P -m kyber_alg ...), or from another folder, so that the installed copy is imported")
    return f"{name} is missing from {package}: the installation is incomplete; reinstall kyber_alg"


def _install_explainer() -> None:
    import sys

    if not any(isinstance(f, _ExplainMissingNativeModule) for f in sys.meta_path):
        sys.meta_path.append(_ExplainMissingNativeModule())


_install_explainer()
