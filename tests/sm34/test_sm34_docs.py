"""The examples of docs/api/sm3.md and docs/api/sm4.md run and their assertions hold: every
```python block of a page in order, in one namespace per page."""
import re
from pathlib import Path

import pytest

DOCS = Path(__file__).resolve().parents[2] / "docs" / "api"


@pytest.mark.parametrize("page", ["sm3.md", "sm4.md"])
def test_page_examples_run(page):
    blocks = re.findall(r"^```python\n(.*?)^```", (DOCS / page).read_text(), flags=re.S | re.M)
    assert len(blocks) >= 3
    namespace = {"__name__": f"docs_{page[:-3]}"}
    for i, block in enumerate(blocks):
        exec(compile(block, f"{page} block {i + 1}", "exec"), namespace)
