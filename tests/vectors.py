"""Location of the shared third-party test vectors (kept outside the project)."""

from pathlib import Path

VECTORS = Path(__file__).resolve().parents[1].parent / "shared" / "vectors"
