"""``python -m kyber_alg``: run Velmora as the main program.

The module is created from its spec, named "__main__" before its exec step
runs, and so performs its self-test: one full hybrid exchange, printed.
"""

import importlib.util


def main() -> None:
    spec = importlib.util.find_spec("kyber_alg.Velmora")
    if spec is None or spec.loader is None:
        raise SystemExit("kyber_alg.Velmora is not built; install the package first (see README)")
    module = importlib.util.module_from_spec(spec)
    module.__name__ = "__main__"
    spec.loader.exec_module(module)


if __name__ == "__main__":
    main()
