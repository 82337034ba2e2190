"""Where the third-party test vectors live: tests/vectors/ inside the repository (see its README)."""

from pathlib import Path

VECTORS = Path(__file__).resolve().parent / "vectors"
