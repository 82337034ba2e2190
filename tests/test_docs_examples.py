"""Every Python example in the documentation runs and holds: the ```python blocks of each page under
docs/ (and of the README), in order, in one fresh interpreter per page, against the installed package.

A page added to docs/ is picked up by itself. Blocks fenced as text, sh, console (or any other
language) are not run."""

from __future__ import annotations

import json
import re
import subprocess
import sys
import textwrap
from dataclasses import dataclass
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]
DOCS = ROOT / "docs"
PAGES = sorted(DOCS.rglob("*.md")) + [ROOT / "README.md"]

# The fence languages that run; a MyST code directive (```{code-block} python) counts as well.
RUN = {"python", "py", "python3"}
_OPENING = re.compile(r"^(?P<indent> {0,3})(?P<fence>`{3,}|~{3,})\s*(?P<info>[^`]*?)\s*$")
_DIRECTIVE = re.compile(r"^\{(?P<name>[\w-]+)\}\s*(?P<argument>.*)$")


@dataclass(frozen=True)
class Block:
    line: int  # 1-based number of the block's first code line in its page
    code: str


def _runs(info: str) -> bool:
    directive = _DIRECTIVE.match(info)
    if directive:
        return directive["name"] in {"code", "code-block", "sourcecode"} and directive["argument"] in RUN
    return info.split(maxsplit=1)[0] in RUN if info else False


def python_blocks(text: str) -> list[Block]:
    """The runnable blocks of a Markdown page, in order. Fences follow CommonMark (``` or ~~~, at
    least three, closed by the same character at least as long); the body of a MyST directive
    (```{note}) is Markdown again and is searched too, except for {eval-rst}, which is not Markdown."""
    blocks: list[Block] = []
    lines = text.splitlines()
    open_fences: list[tuple[str, bool]] = []  # (fence, body is Markdown) of each enclosing fence
    body: list[str] = []
    start = 0
    running = False
    for number, line in enumerate(lines, 1):
        inside_code = bool(open_fences) and not open_fences[-1][1]
        match = _OPENING.match(line)
        if inside_code:
            fence = open_fences[-1][0]
            if match and not match["info"] and match["fence"][0] == fence[0] and len(match["fence"]) >= len(fence):
                open_fences.pop()
                if running:
                    blocks.append(Block(start, textwrap.dedent("\n".join(body))))
                running = False
            elif running:
                body.append(line)
            continue
        if not match:
            continue
        fence, info = match["fence"], match["info"]
        if open_fences and not info and fence[0] == open_fences[-1][0][0] and len(fence) >= len(open_fences[-1][0]):
            open_fences.pop()  # the end of a directive whose body was Markdown
            continue
        directive = _DIRECTIVE.match(info)
        markdown_body = bool(directive) and directive["name"] != "eval-rst" and not _runs(info)
        open_fences.append((fence, markdown_body))
        running = _runs(info)
        body, start = [], number + 1
    assert not open_fences, "a fence is never closed"
    return blocks


# Runs the blocks of one page in one namespace; each block is compiled under the page's name with
# its own line numbers, so a traceback points at the page and line of the failing statement.
_RUNNER = r"""
import json, sys, traceback
page, blocks = json.load(sys.stdin)
namespace = {"__name__": "__main__"}
for line, code in blocks:
    try:
        exec(compile("\n" * (line - 1) + code, page, "exec"), namespace)
    except BaseException:
        print(f"{page}: the block at line {line} failed:", file=sys.stderr)
        traceback.print_exc()
        sys.exit(1)
"""


def run_page(page: str, blocks: list[Block], cwd: Path) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        [sys.executable, "-P", "-c", _RUNNER],
        input=json.dumps([page, [(b.line, b.code) for b in blocks]]),
        capture_output=True,
        text=True,
        encoding="utf-8",
        cwd=cwd,
        timeout=300,
    )


def _name(page: Path) -> str:
    return page.relative_to(ROOT).as_posix()


def _pages_with_examples() -> list[object]:
    found = [(page, python_blocks(page.read_text(encoding="utf-8"))) for page in PAGES]
    return [pytest.param(page, blocks, id=_name(page)) for page, blocks in found if blocks]


@pytest.mark.parametrize("page, blocks", _pages_with_examples())
def test_page_examples_run(page, blocks, tmp_path):
    result = run_page(_name(page), blocks, tmp_path)
    assert result.returncode == 0, result.stderr[-6000:]


def test_the_module_pages_have_examples():
    # The pages users come to for an example; a parser that missed every block would skip them all.
    for name in ("quickstart.md", "api/velmora.md", "api/kyber.md", "api/sm.md"):
        assert python_blocks((DOCS / name).read_text(encoding="utf-8")), name


_SAMPLE = """\
# A page

```python
a = 1
```

```sh
exit 1
```

~~~~python
b = a + 1
```
still inside
~~~~

````{note}
```py
c = b + 1
```
````

```{eval-rst}
.. code-block:: python

   never = run
```

```{code-block} python
d = c + 1
```

- a list item

  ```python
  e = d + 1
  ```

```text
```python
is text
```
"""


def test_blocks_are_found_in_order_with_their_lines():
    found = python_blocks(_SAMPLE)
    assert [(b.line, b.code.strip()) for b in found] == [
        (4, "a = 1"),
        (12, "b = a + 1\n```\nstill inside"),
        (19, "c = b + 1"),
        (30, "d = c + 1"),
        (36, "e = d + 1"),
    ]


@pytest.mark.parametrize("broken", ["assert 1 + 1 == 3", "import no_such_module_anywhere", "undefined_name"])
def test_a_failing_block_names_its_page_and_line(tmp_path, broken):
    page = f"# A page\n\n```python\nvalue = 2\n```\n\n```python\n\n{broken}\n```\n"
    assert python_blocks(page)[1].line == 8
    result = run_page("docs/sample.md", python_blocks(page), tmp_path)
    assert result.returncode == 1
    assert "docs/sample.md: the block at line 8 failed" in result.stderr
    assert 'File "docs/sample.md", line 9' in result.stderr


def test_blocks_of_a_page_share_one_namespace(tmp_path):
    page = "```python\nvalue = 41\n```\n\n```python\nassert value + 1 == 42\n```\n"
    assert run_page("docs/sample.md", python_blocks(page), tmp_path).returncode == 0
