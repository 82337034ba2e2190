#!/usr/bin/env bash
# Formats the sources of the package and its tests: C++ with the repository's
# .clang-format, Python with ruff (the [tool.ruff] settings of pyproject.toml).
#
#   tools/format.sh [--check] [--cpp | --python | --all]
#
# --check only reports what differs (exit 1 if anything does); for Python it
# also runs `ruff check`. Without a language option only the C++ is handled.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

check=0
cpp=1
python=0
for arg in "$@"; do
  case "$arg" in
    --check) check=1 ;;
    --cpp) cpp=1 python=0 ;;
    --python) cpp=0 python=1 ;;
    --all) cpp=1 python=1 ;;
    *) echo "usage: tools/format.sh [--check] [--cpp | --python | --all]" >&2; exit 2 ;;
  esac
done

if [ "$cpp" = 1 ]; then
  if ! command -v clang-format >/dev/null 2>&1; then
    echo "clang-format not found: python -m pip install clang-format" >&2
    exit 2
  fi
  mapfile -t files < <(git ls-files -- '*.cpp' '*.hpp' '*.h' '*.cc')
  if [ "$check" = 1 ]; then
    clang-format --dry-run --Werror "${files[@]}"
  else
    clang-format -i "${files[@]}"
  fi
fi

if [ "$python" = 1 ]; then
  if ! command -v ruff >/dev/null 2>&1; then
    echo "ruff not found: python -m pip install ruff" >&2
    exit 2
  fi
  mapfile -t files < <(git ls-files -- '*.py' '*.pyi')
  if [ "$check" = 1 ]; then
    ruff format --check "${files[@]}"
    ruff check "${files[@]}"
  else
    ruff format "${files[@]}"
    ruff check --fix "${files[@]}"
  fi
fi
