"""Hybrid ML-KEM-512 + SM2 key exchange with SM4-CBC messages.

The native modules are imported on demand (``from kyber_alg import Velmora``);
nothing is loaded here, so ``python -m kyber_alg`` can run ``Velmora`` as the
main program in a process where it has not been loaded yet.
"""

__version__ = "0.1.0"
