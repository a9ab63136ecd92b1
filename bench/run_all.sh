#!/usr/bin/env bash
# Runs every benchmark program in $1 and ends with all figures, one a line.
set -uo pipefail
bin=$1
figures=$(mktemp)
for program in "$bin"/*_bench; do
  echo "== $(basename "$program")"
  "$program" | tee -a "$figures"
done
echo "== figures"
grep -E '^[a-z0-9_]+: [-0-9.]+ ' "$figures"
rm -f "$figures"
