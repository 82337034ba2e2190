#!/usr/bin/env bash
# Formats every C++ source of the package and its tests with the repository's
# .clang-format; `--check` only reports files that differ (exit 1 if any).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
if ! command -v clang-format >/dev/null 2>&1; then
  echo "clang-format not found: python -m pip install clang-format" >&2
  exit 2
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.hpp' '*.h' '*.cc')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
