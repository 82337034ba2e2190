"""The examples of docs/api/mlkem.md run, in order, in one namespace, and their assertions hold."""

from __future__ import annotations

import re
from pathlib import Path

PAGE = Path(__file__).resolve().parents[2] / "docs" / "api" / "mlkem.md"


def test_page_examples_run():
    blocks = re.findall(r"```python\n(.*?)```", PAGE.read_text(encoding="utf-8"), re.S)
    assert len(blocks) >= 6
    namespace: dict[str, object] = {}
    for number, block in enumerate(blocks, 1):
        exec(compile(block, f"{PAGE.name}, example {number}", "exec"), namespace)
