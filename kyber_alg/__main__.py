"""``python -m kyber_alg``: run Velmora as the main program, or one of the
``kyber-alg`` commands (keygen, pubkey, seal, open) when it is given first.

For the self-test the module is created from its spec, named "__main__"
before its exec step runs, and so performs one full hybrid exchange, printed.
"""

from __future__ import annotations

import argparse
import importlib.util
import sys

from kyber_alg import __version__, _missing_native_module

COMMANDS = ("keygen", "pubkey", "seal", "open")  # kyber_alg._cli's; that module loads the native ones, so only on use

DESCRIPTION = (
    "Run one full hybrid ML-KEM-512 + SM2 exchange and print its ten values: the key pair, "
    "both ciphertexts, the SM4 key and IV as the sender and the receiver derived them "
    "(the two pairs match when the exchange worked), an SM4-CBC ciphertext and its decryption."
)


def handle_options(argv: list[str] | None = None) -> None:
    """Prints the usage and exits 0 for -h/--help; exits 2 on anything else that is given."""
    # Help is a plain flag, acted on only after every argument was accepted,
    # so that "-h extra" is refused like any other unknown argument.
    parser = argparse.ArgumentParser(
        prog="python -m kyber_alg",
        description=DESCRIPTION,
        add_help=False,
        epilog="Also: python -m kyber_alg {keygen,pubkey,seal,open} ... does what the kyber-alg command does "
        "(python -m kyber_alg COMMAND --help).",
    )
    parser.add_argument("-h", "--help", action="store_true", help="show this message and exit")
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    if parser.parse_args(argv).help:
        parser.print_help()
        raise SystemExit(0)


def main(argv: list[str] | None = None) -> None:
    """Runs a command, the self-test, or prints the usage for -h/--help."""
    args = sys.argv[1:] if argv is None else argv
    if args and args[0] in COMMANDS:
        try:
            from kyber_alg import _cli
        except ImportError as e:  # the native modules are missing: kyber_alg/__init__.py says why
            raise SystemExit(f"python -m kyber_alg: error: {e}") from None

        raise SystemExit(_cli.main(args, prog="python -m kyber_alg"))
    handle_options(argv)
    spec = importlib.util.find_spec("kyber_alg.Velmora")
    if spec is None or spec.loader is None:
        raise SystemExit(f"python -m kyber_alg: error: {_missing_native_module('kyber_alg.Velmora')}")
    module = importlib.util.module_from_spec(spec)
    module.__name__ = "__main__"
    spec.loader.exec_module(module)


if __name__ == "__main__":
    main()
