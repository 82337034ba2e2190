"""docs/api/sm2.md: its ```python blocks run in order, in one namespace, and must all pass."""

from __future__ import annotations

import re
from pathlib import Path

PAGE = Path(__file__).resolve().parents[2] / "docs" / "api" / "sm2.md"


def test_every_example_of_the_page_runs():
    blocks = re.findall(r"^```python\n(.*?)^```", PAGE.read_text(encoding="utf-8"), re.S | re.M)
    assert len(blocks) >= 10
    namespace: dict[str, object] = {}
    for number, block in enumerate(blocks, 1):
        exec(compile(block, f"{PAGE.name} block {number}", "exec"), namespace)  # noqa: S102
