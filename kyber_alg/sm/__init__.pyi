"""Native SM2, SM3 and SM4, and the switch that binds them into kyber_alg.Velmora."""

__all__ = ["use_native", "use_default"]

def use_native() -> None:
    """Bind kyber_alg.Velmora's SM components to the native ones of this package."""

def use_default() -> None:
    """Put back the pure-Python components that kyber_alg.Velmora bound when it loaded."""
