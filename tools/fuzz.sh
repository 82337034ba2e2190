#!/usr/bin/env bash
# Runs every fuzz harness fuzz/fuzz_<name>.py for SECONDS each (default 60),
# starting from the seeds in fuzz/seeds/<name>/. The corpus each run grows is
# kept in build/fuzz/<name>/corpus, so later runs continue from it; inputs
# that fail land in build/fuzz/<name>/ as crash-* files. Exits 1 if any
# harness finds a failure.
#
#   tools/fuzz.sh [SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
python="${PYTHON:-python3}"

if ! "$python" -c "import atheris" 2>/dev/null; then
  "$python" -m pip install -q atheris
fi

status=0
for harness in "$root"/fuzz/fuzz_*.py; do
  name="$(basename "$harness" .py)"
  name="${name#fuzz_}"
  out="$root/build/fuzz/$name"
  mkdir -p "$out/corpus"
  seeds=()
  if [ -d "$root/fuzz/seeds/$name" ]; then seeds=("$root/fuzz/seeds/$name"); fi
  start=$SECONDS
  # -P: the checkout's kyber_alg/ (sources only) stays off sys.path.
  if "$python" -P "$harness" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
      -artifact_prefix="$out/" "$out/corpus" "${seeds[@]}" >"$out/log" 2>&1; then
    echo "fuzz $name: $(grep -o 'Done [0-9]* runs' "$out/log" | tail -1 | cut -d' ' -f2) executions" \
         "in $((SECONDS - start)) s, corpus $(ls "$out/corpus" | wc -l) inputs"
  else
    echo "fuzz $name: FAILED (log: $out/log)"
    tail -40 "$out/log"
    status=1
  fi
done
exit $status
